#!/usr/bin/env bash
# Makes the desktop icons in cmake/desktop/ from a still of the production: flight at 140 s,
# its ribbon curling into the tunnel of sparks. The curl is cropped from a 512x512 still and
# set on a see-through surround, so that it reads at 16 to 48 px on a light menu or a dark
# panel: each pixel keeps its hue at full brightness, its alpha rises with its brightness (the
# black and the faint sparks vanish), and an opening (erosion, then dilation) drops the lone
# sparks and widens the ribbon. Run after tools/build.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
still=$(mktemp -d)
trap 'rm -rf "$still"' EXIT
(cd build && ../tools/with-display.sh ./quellspire-capture --size 512x512 --from 140 --frames 1 \
    -o "$still/flight%d.png" >/dev/null)
peak='max(max(r(X,Y),g(X,Y)),b(X,Y))'
full() { printf "min(255,%s(X,Y)*255/max(1,%s))" "$1" "$peak"; }
ffmpeg -loglevel error -y -i "$still/flight0.png" -vf "crop=260:260:110:150,format=rgba,\
geq=r='$(full r)':g='$(full g)':b='$(full b)':a='clip(($peak-100)*4,0,255)',erosion,dilation,dilation" \
    "$still/curl.png"
for size in 16 24 32 48 64 128 256 512; do
    ffmpeg -loglevel error -y -i "$still/curl.png" -vf "scale=$size:$size:flags=lanczos" \
        "cmake/desktop/quellspire-$size.png"
done
