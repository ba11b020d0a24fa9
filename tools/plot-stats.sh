#!/usr/bin/env bash
# Draws a capture's statistics along the production: each drawn frame's display and the mean of
# the update steps run for it, against production time, with the scenes' starts marked.
#   tools/plot-stats.sh STATS.json OUT.png      (STATS.json from quellspire-capture --stats)
set -euo pipefail
if [[ $# -ne 2 || ! -r $1 ]]; then
    echo "Usage: tools/plot-stats.sh STATS.json OUT.png" >&2
    exit 2
fi
bash "$(dirname "$0")/install-deps.sh" gnuplot-nox python3 >/dev/null
data=$(mktemp)
trap 'rm -f "$data"' EXIT
python3 -c '
import json, sys
for t, update, display in json.load(open(sys.argv[1]))["timeline"]:
    print(t, update, display)
' "$1" >"$data"
gnuplot <<END
set terminal pngcairo size 1200,520 font ",10"
set output "$2"
set xlabel "production time (s)"
set ylabel "milliseconds (log scale)"
set logscale y
set xrange [0:194]
set grid ytics
set key outside top center horizontal
# The scenes' starts, and the 25 ms a step may take to keep real time.
do for [s in "56 88 136 160"] { set arrow from s+0, graph 0 to s+0, graph 1 nohead lc "gray" }
set arrow from 0, 25 to 194, 25 nohead dt 2 lc "gray"
set label "25 ms: one step of the clock" at 92, 19 tc "gray"
set label "opening" at 2, graph 0.95
set label "entryway" at 58, graph 0.95
set label "dreamscape" at 90, graph 0.95
set label "flight" at 138, graph 0.95
set label "credits" at 162, graph 0.95
plot "$data" using 1:3 with points pt 7 ps 0.3 lc rgb "#d08030" title "frame (display)", \
     "$data" using 1:(\$2 > 0 ? \$2 : 1/0) with points pt 7 ps 0.3 lc rgb "#3070c0" title "update step (mean of the frame's steps)"
END
echo "wrote $2"
