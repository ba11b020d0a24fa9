#!/usr/bin/env bash
# Runs a capture in N parts at once with GNU Parallel, here or on several machines, and puts
# the pieces together. Installed as quellspire-capture-parallel, it runs the programs beside
# it; in the source tree, those of build/. --help says how it is used.
set -euo pipefail
here=$PWD
me="capture-parallel"
# The programs and the display script: beside this script once installed, else in the
# source tree's build/ and tools/.
self=$(dirname "$(readlink -f "$0")")
if [[ -x "$self/quellspire-capture" ]]; then
    bin=$self withdisplay=$(cd "$self/../libexec/quellspire" 2>/dev/null && pwd)/with-display
    build="the package"
else
    bin=$(cd "$self/.." && pwd)/build withdisplay=$(cd "$self" && pwd)/with-display.sh
    build="tools/build.sh"
fi

helptext() {
    cat <<'END'
Usage: quellspire-capture-parallel -j N [--sshlogin HOSTS] -- CAPTURE OPTIONS

Runs a capture in N parts at once with GNU Parallel, here or on several machines, and puts the
pieces together. CAPTURE OPTIONS are quellspire-capture's (quellspire-capture --help) for the
whole capture; each part gets them with --part K/N. A video's parts are segments that
quellspire-join joins into the -o file, with the music; a PNG pattern's parts write the files
of their frames, numbered as one capture numbers them. In the source tree it is
tools/capture-parallel.sh, with the same arguments.

  -j, --jobs N          the number of parts
  -S, --sshlogin HOSTS  GNU Parallel's --sshlogin list: "host1,host2", ":" for this machine,
                        "1/host" to run one part at a time there (otherwise a host runs one
                        part per CPU core)
  -h, --help            this text
      --version         the program's name and version

Without --sshlogin the N parts run at once on this machine. With it, each machine needs the
programs at the same path as here (the package installed, or the project built at this same
path), ssh without a password and rsync. There the parts write where they would here (a PNG
pattern's parts into a directory of their own beside the output), and rsync brings their
files back. Paths are taken relative to where it is called.

Progress: each part's lines, marked "part K/N", and after them now and then a summary of the
parts done and the time left.

Exit status: 0 done; 1 a part (named with its host when it ran on another machine, or ssh
could not reach that host), the join or a transfer failed (nothing is joined then: the -o file
is written only once every part is in); 2 bad arguments, its own or the capture options
(checked once, with quellspire-capture --dry-run, before any part starts). A signal (SIGINT,
SIGTERM, SIGHUP) to the runner, or one that ends a part, ends every part and the join, removes
the segments and says "interrupted"; the runner then ends by that signal (status 130, 143 or
129).
END
}

usage() {
    echo "$me: $1" >&2
    echo "Usage: quellspire-capture-parallel -j N [--sshlogin HOSTS] -- CAPTURE OPTIONS (--help says more)" >&2
    exit 2
}
absolute() { if [[ "$1" == /* ]]; then printf '%s' "$1"; else printf '%s' "$here/$1"; fi; }

parts= hosts=
while (($#)); do
    case "$1" in
        -j | --jobs) parts=${2:-}; shift 2 || usage "$1 needs a number of parts" ;;
        -S | --sshlogin) hosts=${2:-}; shift 2 || usage "$1 needs a list of hosts" ;;
        -h | --help) helptext; exit 0 ;;
        --version) "$bin/quellspire-capture" --version | sed 's/^quellspire-capture/quellspire-capture-parallel/'; exit ;;
        --) shift; break ;;
        *) usage "unexpected '$1' before --" ;;
    esac
done
[[ "$parts" =~ ^[1-9][0-9]{0,5}$ ]] || usage "-j needs a number of parts from 1 to 999999"
[[ -z "$hosts" || -n "${hosts// /}" ]] || usage "--sshlogin needs a list of hosts"

# Whether the word $1 is the capture's option $2, in full or by a prefix that names only it
# (at least $3 characters), with or without "=value".
names() { local word=${1%%=*}; ((${#word} >= $3)) && [[ "$2" == "$word"* ]]; }

# The capture's options, with -o and its path taken out and the screen size noted.
output= size= dryrun=
options=()
while (($#)); do
    if [[ "$1" == -o* ]] || names "$1" --output 3; then
        [[ -z "$output" ]] || usage "-o is given twice"
        if [[ "$1" == -o?* ]]; then output=${1#-o}; shift; continue; fi
        if [[ "$1" == --*=* ]]; then output=${1#*=}; shift; continue; fi
        (($# > 1)) || usage "$1 needs a value"; output=$2; shift 2; continue
    fi
    # The runner checks the options so anyway; asked for, that check is all it does.
    if names "$1" --dry-run 3; then dryrun=1; shift; continue; fi
    names "$1" --part 3 && usage "--part is given to each part by the runner"
    names "$1" --stats 5 && usage "--stats is for one capture: the parts' figures would overwrite each other"
    names "$1" --join 3 && usage "--join is done by the runner"
    if [[ "$1" == -h ]] || names "$1" --help 3; then exec "$bin/quellspire-capture" --help; fi
    if names "$1" --size 4; then
        if [[ "$1" == *=* ]]; then size=${1#*=}; else size=${2:-}; fi
    fi
    options+=("$1")
    shift
done
[[ -n "$output" ]] || usage "no output: give -o with a .png pattern or an .mp4 or .mkv file"
output=$(absolute "$output")
case "${output,,}" in
    *.mp4 | *.mkv) kind=video ;;
    *.png)
        kind=png
        [[ "$(dirname "$output")" != *%* ]] || usage "-o: the frame number of a PNG pattern belongs in the file name"
        ;;
    *) usage "-o: '$output' is neither a .png pattern nor an .mp4 or .mkv video" ;;
esac
outdir=$(dirname "$output")
[[ -d "$outdir" && -w "$outdir" ]] || usage "-o: cannot write into '$outdir'"
for program in quellspire-capture quellspire-join; do
    [[ -x "$bin/$program" ]] || { echo "$me: $bin/$program is not built: run $build first" >&2; exit 1; }
done
command -v parallel >/dev/null || { echo "$me: GNU Parallel not found (Debian's package parallel)" >&2; exit 1; }
# The capture's options checked once, as the last part takes them, before any part starts.
# The runner's own options first: an option given last without its value is then named as such.
if ! refused=$(cd "$here" && "$bin/quellspire-capture" --dry-run --part "$parts/$parts" -o "$output" "${options[@]}" 2>&1 >/dev/null); then
    refused=$(head -n 1 <<<"$refused")
    usage "${refused#quellspire-capture: }"
fi
[[ -z "$dryrun" ]] || exit 0

# Where each part writes: a video's parts write segments beside the output, on its disk (they
# are as big as it is); a PNG pattern's parts write its files, on another machine into a
# directory of their own beside the output, which comes back to be emptied into it.
# A segment is of the output's own kind: an .mp4 segment counts time in the rate's own ticks,
# which the join keeps exact (an .mkv one counts milliseconds).
stem=${output%.*}
segment() { printf '%s.part-%s-of-%s.%s' "$stem" "$1" "$parts" "${output##*.}"; }
partdir() { printf '%s/.%s.part-%s-of-%s' "$outdir" "$(basename "$stem")" "$1" "$parts"; }
work=$(mktemp -d)
joblog=$work/joblog
cleanup() {
    rm -rf "$work"
    for k in $(seq "$parts"); do
        [[ ! -f "$(segment "$k")" ]] || rm -f "$(segment "$k")"
        if [[ -n "$hosts" && $kind == png ]]; then rm -rf "$(partdir "$k")"; fi
    done
    # What the parts made on other machines.
    if [[ -n "$hosts" ]]; then
        local made=()
        for k in $(seq "$parts"); do made+=("$([[ $kind == video ]] && segment "$k" || partdir "$k")"); done
        parallel --nonall --sshlogin "$hosts" rm -rf "${made[@]}" >/dev/null 2>&1 || true
    fi
}
trap cleanup EXIT

# A signal is taken at once: what runs (GNU Parallel with the parts, or the join) runs in the
# background and is waited for, and the signal is passed on to it as SIGTERM. GNU Parallel
# then ends every part, and each part its ffmpeg and its unfinished segment. Once it has ended,
# the run ends by the signal it was given.
child= stopped=
stop() {
    stopped=$1
    [[ -z "$child" ]] || kill -TERM "$child" 2>/dev/null || true
}
# shellcheck disable=SC2064  # each trap names its own signal
for signal in INT TERM HUP; do trap "stop $signal" "$signal"; done
interrupted() {
    echo "$me: interrupted" >&2
    cleanup
    trap - EXIT "$1"
    kill -s "$1" $$
    # Not reached, unless the runner was started with that signal ignored.
    exit $((128 + $(kill -l "$1")))
}
# Waits until the child $1 has ended, through any signal (which ends `wait` early); its status.
reap() {
    local status=0
    while wait "$1"; status=$?; kill -0 "$1" 2>/dev/null; do :; done
    return "$status"
}
# Runs "$@" in the background, the child the signals go to, and reaps it; its status.
waitfor() {
    "$@" &
    child=$!
    [[ -z "$stopped" ]] || kill -TERM "$child" 2>/dev/null || true
    local status=0
    reap "$child" || status=$?
    child=
    return "$status"
}

if [[ $kind == video ]]; then
    partoutput=$(segment "{}") made=$partoutput
elif [[ -z "$hosts" ]]; then
    partoutput=$output made=$outdir
else
    made=$(partdir "{}") partoutput="$made/$(basename "$output")"
fi
spread=(--jobs "$parts")
[[ -z "$hosts" ]] || spread=(--jobs 100% --sshlogin "$hosts" --return "$made")

# A part: in the programs' directory, whose resources it reads, and the capture on a display.
# shellcheck disable=SC2016
part=(bash -c 'cd "$1" && mkdir -p "$2" && shift 2 && exec "$@"' part
      "$bin" "$(dirname "$partoutput")" "$withdisplay" --fit "$size" ./quellspire-capture "${options[@]}"
      --part "{}/$parts" -o "$partoutput")

# Passes every line on and adds, now and then and whenever a part ends, how far the whole
# capture is: parts done, frames made, and the time left at the rate so far.
summarise() {
    local line text k done=0 last=0 ended
    local -a made=() total=()
    local tab=$'\t'
    while IFS= read -r line; do
        [[ "$line" =~ ^part\ ([0-9]+)/[0-9]+"$tab"(.*)$ ]] || { printf '%s\n' "$line" >&2; continue; }
        k=${BASH_REMATCH[1]} text=${BASH_REMATCH[2]} ended=0
        printf '%s\n' "$line" >&2
        line=$text
        if [[ "$line" =~ ^frame\ ([0-9]+)\ of\ ([0-9]+) ]]; then
            made[k]=${BASH_REMATCH[1]} total[k]=${BASH_REMATCH[2]}
        elif [[ "$line" =~ ^captured\ ([0-9]+)\ frame ]]; then
            made[k]=${BASH_REMATCH[1]} total[k]=${BASH_REMATCH[1]}
            done=$((done + 1)) ended=1
        else
            continue
        fi
        ((ended || SECONDS - last >= 5)) || continue
        last=$SECONDS
        local sum=0 known=0 count=0
        for k in "${!total[@]}"; do sum=$((sum + made[k])) known=$((known + total[k])) count=$((count + 1)); done
        # Parts not started yet count as long as the average of those that have.
        local all=$((known + (parts - count) * known / count))
        local left="no estimate yet"
        if ((sum > 0)); then
            local seconds=$(((all - sum) * SECONDS / sum))
            left=$(printf 'about %d:%02d left' $((seconds / 60)) $((seconds % 60)))
        fi
        printf '%s: %d of %d parts done, %d of %d frames, %s\n' "$me" "$done" "$parts" "$sum" "$all" "$left" >&2
    done
}

echo "$me: $parts parts${hosts:+ on $hosts}" >&2
SECONDS=0
status=0
# The lines pass through a pipe of their own, so that GNU Parallel is the child the signals go
# to; the summary reads on, whatever signal comes, until GNU Parallel has ended.
mkfifo "$work/lines"
(trap '' INT TERM HUP; summarise) <"$work/lines" &
summary=$!
waitfor parallel --quote --line-buffer --tagstring "part {}/$parts" --halt now,fail=1 --joblog "$joblog" \
    "${spread[@]}" "${part[@]}" ::: $(seq "$parts") >"$work/lines" 2>&1 || status=$?
reap "$summary" || true
[[ -z "$stopped" ]] || interrupted "$stopped"
if ((status != 0)); then
    # The first part to end, from the log of jobs in the order they ended: one that a signal
    # to end ended means the run was interrupted.
    # The host is named unless it is this machine: ssh's own line names only its address.
    read -r index signal exitval host < <(awk -F '\t' 'NR > 1 && ($7 != 0 || $8 != 0) { print $1, $8, $7, $2; exit }' "$joblog") || true
    [[ "${host:-:}" != : ]] || host=
    case "${signal:-}" in
        1) interrupted HUP ;;
        2) interrupted INT ;;
        15) interrupted TERM ;;
    esac
    failed="a part failed"
    if [[ -n "${index:-}" ]]; then
        failed="part $index/$parts${host:+ on $host} $( ((signal != 0)) && echo "was ended by signal $signal" || echo "ended with status $exitval")"
    fi
    echo "$me: $failed (its messages are above); nothing was joined" >&2
    exit 1
fi

if [[ $kind == video ]]; then
    segments=()
    for k in $(seq "$parts"); do segments+=("$(segment "$k")"); done
    # From the programs' directory, whose music it reads. The join writes the output under
    # another name and moves it into place once complete.
    cd "$bin"
    waitfor ./quellspire-join "$output" "${segments[@]}" || status=$?
    [[ -z "$stopped" ]] || interrupted "$stopped"
    if ((status != 0)); then
        echo "$me: the join failed; nothing was written to $output" >&2
        exit 1
    fi
elif [[ -n "$hosts" ]]; then
    for k in $(seq "$parts"); do
        find "$(partdir "$k")" -maxdepth 1 -type f -exec mv -f -t "$outdir" {} +
    done
fi
echo "$me: done in $((SECONDS / 60)):$(printf '%02d' $((SECONDS % 60))): $output" >&2
