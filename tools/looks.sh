#!/usr/bin/env bash
# Whether the production shows one picture at every size and on every GL driver: renders each
# moment at several sizes on llvmpipe, and at 1280x720 under zink (GL over Vulkan, drawn the
# way a GPU's Vulkan-based GL draws) and softpipe; box-filters every frame to 320x180 and
# compares it with the 1280x720 llvmpipe frame of its moment, box-filtered alike
# (tools/looks.py): the mean grey levels' ratio and the PSNR, each against its goal. Writes a
# sheet of the frames side by side, one moment a row, for a person to look at. Exits with
# status 1 when a frame misses its goal. Wants the build made (tools/build.sh).
#
# Usage: tools/looks.sh [--tier] [--large] [--moments "S S ..."] [-o SHEET] [--build DIR] [--keep DIR]
#   (none)        every 4 s from 0 to 192 and both sides of every cut; 320x180, 640x360 and
#                 1920x1080 against 1280x720; zink and softpipe at 1280x720
#   --tier        the CI tier's subset: 12 moments, one or more in every scene, and 320x180 and
#                 640x360 against 1280x720; zink and softpipe at 1280x720
#   --large       3840x2160 as well
#   --moments     these moments (seconds) instead
#   -o SHEET      the sheet's file (default looks.png)
#   --build DIR   the capture of that build directory, run there beside its resources/ (default
#                 build/): an older build gives the numbers from before a change
#   --keep DIR    leaves the frames in DIR (<moment>-<column>.png), to compare them otherwise
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
args=("$@")
moments=""
sizes="320x180 640x360 1920x1080"
sheet=looks.png
build=""
keep=""
while (($#)); do
    case "$1" in
        --tier)
            moments="5 20 33 45 62 82 100 120 140 150 170 185"
            sizes="320x180 640x360"
            ;;
        --large) sizes="$sizes 3840x2160" ;;
        --moments)
            moments=$2
            shift
            ;;
        -o)
            sheet=$2
            shift
            ;;
        --build)
            build=$(cd "$2" && pwd)
            shift
            ;;
        --keep)
            mkdir -p "$2"
            keep=$(cd "$2" && pwd)
            shift
            ;;
        *)
            echo "usage: tools/looks.sh [--tier] [--large] [--moments \"S S ...\"] [-o SHEET] [--build DIR] [--keep DIR]" >&2
            exit 2
            ;;
    esac
    shift
done
if [[ -z "$moments" ]]; then
    # Both sides of every cut (12, 28, 56, 74, 88, 136, 160 s), the nested scenes' included.
    moments=$( (seq 0 4 192; printf '%s\n' 11.9 12.1 27.9 28.1 55.9 56.1 73.9 74.1 87.9 88.1 135.9 136.1 159.9 160.1) |
        sort -g | tr '\n' ' ')
fi
build=${build:-$root/build}
capture=$build/quellspire-capture
if [[ ! -x "$capture" ]]; then
    echo "tools/looks.sh: no $capture; build first (bash tools/build.sh)." >&2
    exit 1
fi
if [[ -z "${DISPLAY:-}" ]]; then exec "$root/tools/with-display.sh" "$0" "${args[@]}"; fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
frames=${keep:-$scratch}
# zink asks for a private runtime directory.
mkdir -m 700 "$scratch/runtime"

# One frame of the moment: render <moment> <column> <size> [environment...]
render() {
    local at=$1 column=$2 size=$3
    shift 3
    if ! (cd "$build" && env "$@" ./quellspire-capture --size "$size" --from "$at" --frames 1 \
        -o "$frames/$at-$column-%d.png" >"$scratch/log" 2>&1); then
        echo "tools/looks.sh: the capture at $at s, $column, failed:" >&2
        cat "$scratch/log" >&2
        exit 1
    fi
    mv "$frames/$at-$column-0.png" "$frames/$at-$column.png"
}

for at in $moments; do
    render "$at" 1280x720 1280x720
    for size in $sizes; do render "$at" "$size" "$size"; done
    render "$at" zink 1280x720 GALLIUM_DRIVER=zink LIBGL_ALWAYS_SOFTWARE=1 XDG_RUNTIME_DIR="$scratch/runtime"
    render "$at" softpipe 1280x720 GALLIUM_DRIVER=softpipe
    echo "rendered $at s" >&2
done
# shellcheck disable=SC2086
# Debian's python3, which python3-pil serves (another python3 on the PATH may lack PIL).
/usr/bin/python3 "$root/tools/looks.py" "$frames" "$sheet" $moments
