#!/usr/bin/env bash
# Runs every command the README and docs/ give in ```sh blocks, as a reader types them: each
# block in one shell from the top of the tree, stopping at its first failure. What cannot run
# here as written runs in the nearest form that can, so that the whole check costs minutes:
#   - the player starts 0.5 s before the end (--from 193.5), once (no --loop), with no Enter to
#     wait for; a capture of the whole production renders 8 frames (--frames 8) in at most two
#     parts (-j 2), and other machines (--sshlogin) are this one;
#   - an install goes into a scratch prefix, apt only simulates, and tools/test.sh, which CI
#     runs before this, is skipped.
# Files the commands write outside build/ are removed afterwards, and tracked ones put back as
# they were when it started (so an edit made while it runs is undone too).
# Without a display it runs on a virtual one. Run after tools/test.sh. Exit status: 0 when
# every block ran, 1 otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
# The docs' player commands assume a display, as a reader at a desktop has.
[[ -n "${DISPLAY:-}" ]] || exec tools/with-display.sh bash tools/doc-commands.sh "$@"
scratch=$(mktemp -d)
stamp=$scratch/stamp
touch "$stamp"
# What is there now: the tracked files with their uncommitted changes, and every other file and
# directory outside the build directories.
before=$(git stash create)
before=${before:-HEAD}
outside() { find . \( -path ./.git -o -path ./build -o -path './build-*' \) -prune -o "$@" -print; }
outside -type f | sort >"$scratch/files"
outside -type d | sort >"$scratch/dirs"
# The README's install goes into a scratch prefix, but writes the build's record of an install,
# which is the user's own.
manifest=build/install_manifest.txt
[[ -e $manifest ]] && cp -p "$manifest" "$scratch/manifest"
restore() {
    if [[ -e $scratch/manifest ]]; then cp -p "$scratch/manifest" "$manifest"; else rm -f "$manifest"; fi
    outside -type f -newer "$stamp" | while read -r file; do
        if git ls-files --error-unmatch "$file" >/dev/null 2>&1; then
            git restore --source="$before" --worktree -- "$file"
        elif ! grep -qxF "$file" "$scratch/files"; then
            rm -f "$file"
        fi
    done
    outside -type d | sort -r | while read -r dir; do
        grep -qxF "$dir" "$scratch/dirs" || rmdir "$dir" 2>/dev/null || true
    done
    rm -rf "$scratch"
}
trap restore EXIT

# One command line in the form that runs here.
shorten() {
    local line=$1
    case "$line" in
        *tools/test.sh*) echo ": skipped, CI runs it: $line"; return ;;
    esac
    line=${line//\~\/.local/$scratch/prefix}
    line=${line//sudo apt install/apt-get install --simulate}
    if [[ "$line" =~ (tools/run\.sh|\./quellspire( |$)) ]]; then
        line=$(sed -E 's/ --loop( |$)/\1/; s/--from [0-9.]+/--from 193.5/' <<<"$line")
        [[ "$line" == *--from* ]] || line=$(sed -E 's#(tools/run\.sh|\./quellspire)( |$)#\1 --from 193.5\2#' <<<"$line")
    elif [[ "$line" =~ (tools/capture\.sh|quellspire-capture|capture-parallel\.sh) && "$line" != *--join* ]]; then
        line=$(sed -E 's/ -j [0-9]+/ -j 2/; s/--sshlogin [^ ]+/--sshlogin :/' <<<"$line")
        [[ "$line" =~ --to|--frames ]] || line=$(sed -E 's/ -o / --frames 8 -o /' <<<"$line")
    fi
    printf '%s\n' "$line"
}

failed=0
for doc in README.md docs/*.md; do
    block=() start=0 number=0
    while IFS= read -r text; do
        number=$((number + 1))
        if ((start)); then
            if [[ "$text" == '```'* ]]; then
                echo "== $doc:$start"
                printf '  %s\n' "${block[@]}"
                if ! bash -euo pipefail -c "$(printf '%s\n' "${block[@]}")" </dev/null >"$scratch/log" 2>&1; then
                    echo "FAILED: $doc:$start"
                    tail -n 20 "$scratch/log"
                    failed=1
                fi
                block=() start=0
            else
                block+=("$(shorten "$text")")
            fi
        elif [[ "$text" == '```sh' ]]; then
            start=$number
        fi
    done <"$doc"
done
exit "$failed"
