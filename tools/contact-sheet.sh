#!/usr/bin/env bash
# Makes docs/contact-sheet.png, the picture of the production the README shows: one still every
# 4 s of the whole production (1 to 193 s, 49 stills) rendered at 1280x720, the picture every
# other size is judged against (tools/looks.sh), from a single start, each box-filtered to
# 160x90 and tiled seven by seven in order of play.
set -euo pipefail
cd "$(dirname "$0")/.."
stills=$(mktemp -d)
trap 'rm -rf "$stills"' EXIT
# The production's end, from the schedule (build/tools/scenetimes, which the build makes).
bash tools/build.sh >&2
end=$(build/tools/scenetimes | awk '$1 == "end" { print $2 }')
bash tools/capture.sh -o "$stills/still%02d.png" --size 1280x720 --fps 1/4 --from 1 --to "$end"
ffmpeg -loglevel error -y -i "$stills/still%02d.png" -vf "scale=160:90:flags=area,tile=7x7" -frames:v 1 \
    docs/contact-sheet.png
echo "Wrote docs/contact-sheet.png."
