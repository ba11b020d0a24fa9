#!/usr/bin/env bash
# Makes the desktop icons in cmake/desktop/ from a still of the production: flight at 140 s,
# its ribbon curling into the tunnel of sparks, rendered square at 512x512 and scaled down.
# Run after tools/build.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
still=$(mktemp -d)
trap 'rm -rf "$still"' EXIT
(cd build && ../tools/with-display.sh ./quellspire-capture --size 512x512 --from 140 --frames 1 \
    -o "$still/flight%d.png" >/dev/null)
for size in 48 128 256 512; do
    ffmpeg -loglevel error -y -i "$still/flight0.png" -vf "scale=$size:$size:flags=lanczos" \
        "cmake/desktop/quellspire-$size.png"
done
