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
# A screen at least 1280x720 and as big as the capture (sizes the tool refuses get the default).
width=1280 height=720
if [[ "$size" =~ ^([0-9]{1,5})x([0-9]{1,5})$ ]]; then
    w=$((10#${BASH_REMATCH[1]})) h=$((10#${BASH_REMATCH[2]}))
    if ((w <= 16384 && h <= 16384)); then
        width=$((w > width ? w : width))
        height=$((h > height ? h : height))
    fi
fi

cd build
exec ../tools/with-display.sh --size "${width}x${height}" ./quellspire-capture "${args[@]}"
