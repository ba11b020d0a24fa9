#!/usr/bin/env bash
# Runs a command with an X display. Without one (a headless machine) it starts a virtual
# display (Xvfb) for the command, says so, and stops it afterwards.
# Usage: with-display.sh [--size WxH] command [args...]
set -euo pipefail
size=1280x720
if [[ "${1:-}" == "--size" ]]; then size=$2; shift 2; fi
if [[ -n "${DISPLAY:-}" ]]; then exec "$@"; fi

number=90
while [[ -e /tmp/.X${number}-lock || -e /tmp/.X11-unix/X${number} ]]; do number=$((number + 1)); done
Xvfb ":${number}" -screen 0 "${size}x24" -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
    [[ -e /tmp/.X11-unix/X${number} ]] && break
    sleep 0.05
done
echo "No display found: started a virtual display (Xvfb :${number}, ${size})." >&2
export DISPLAY=":${number}"
status=0
"$@" || status=$?
exit "$status"
