#!/usr/bin/env bash
# Sets up, builds and runs the capture tool: tools/capture.sh -o PATH [options]
# (tools/capture.sh --help lists them). It runs from build/, where resources/ is, on a virtual
# display of the capture's size when there is no display; output paths are taken relative to
# where it was called from.
set -euo pipefail
here=$PWD
cd "$(dirname "$0")/.."
bash tools/build.sh >&2

size=
args=()
absolute() { if [[ "$1" == /* || -z "$1" ]]; then printf '%s' "$1"; else printf '%s' "$here/$1"; fi; }
if [[ "${1:-}" == --join ]]; then
    # --join OUT SEGMENTS...: every argument after it is a file. The join draws nothing, so it
    # runs without a display.
    args+=("$1")
    shift
    for file in "$@"; do args+=("$(absolute "$file")"); done
    cd build
    exec ./quellspire-capture "${args[@]}"
fi
while (($#)); do
    case "$1" in
        -o | --output | --stats)
            args+=("$1")
            shift
            if (($#)); then args+=("$(absolute "$1")"); shift; fi
            continue
            ;;
        --output=* | --stats=*)
            args+=("${1%%=*}=$(absolute "${1#*=}")")
            shift
            continue
            ;;
        --size) size=${2:-} ;;
        --size=*) size=${1#*=} ;;
    esac
    args+=("$1")
    shift
done
cd build
exec ../tools/with-display.sh --fit "$size" ./quellspire-capture "${args[@]}"
