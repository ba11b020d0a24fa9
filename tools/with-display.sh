#!/usr/bin/env bash
# Runs a command with an X display. Without one (a headless machine) it starts a virtual
# display (Xvfb) for the command, says so, and stops it afterwards.
# Usage: with-display.sh [--size WxH | --fit WxH] command [args...]
#   --size WxH  the virtual screen's size (default 1280x720)
#   --fit WxH   a screen of at least 1280x720 that holds a WxH window (a size it cannot read
#               gives the default)
set -euo pipefail
width=1280 height=720
case "${1:-}" in
    --size)
        size=$2
        shift 2
        ;;
    --fit)
        if [[ "$2" =~ ^([0-9]{1,5})x([0-9]{1,5})$ ]]; then
            w=$((10#${BASH_REMATCH[1]})) h=$((10#${BASH_REMATCH[2]}))
            if ((w <= 16384 && h <= 16384)); then
                width=$((w > width ? w : width))
                height=$((h > height ? h : height))
            fi
        fi
        size=${width}x${height}
        shift 2
        ;;
    *) size=${width}x${height} ;;
esac
if [[ -n "${DISPLAY:-}" ]]; then exec "$@"; fi

# Xvfb picks a free display number itself and writes it out once it is ready, so that
# several of these started at once never take the same one.
numberfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$numberfile" >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; rm -f "$numberfile"' EXIT
for _ in $(seq 200); do
    [[ -s "$numberfile" ]] && break
    kill -0 "$xvfb" 2>/dev/null || break
    sleep 0.05
done
number=$(tr -d '[:space:]' <"$numberfile")
if [[ -z "$number" ]]; then
    echo "No display found, and a virtual display (Xvfb, ${size}) did not start." >&2
    exit 1
fi
echo "No display found: started a virtual display (Xvfb :${number}, ${size})." >&2
export DISPLAY=":${number}"
status=0
"$@" || status=$?
exit "$status"
