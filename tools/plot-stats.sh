#!/usr/bin/env bash
# Draws a capture's statistics along the production: each drawn frame's display and the mean of
# the update steps run for it, against production time, with the scenes' starts marked.
#   tools/plot-stats.sh STATS.json OUT.png      (STATS.json from quellspire-capture --stats)
set -euo pipefail
if [[ $# -ne 2 || ! -r $1 ]]; then
    echo "Usage: tools/plot-stats.sh STATS.json OUT.png" >&2
    exit 2
fi
scenetimes=$(dirname "$0")/../build/tools/scenetimes
[[ -x $scenetimes ]] || { echo "tools/plot-stats.sh: $scenetimes is not built: run tools/build.sh first" >&2; exit 1; }
bash "$(dirname "$0")/install-deps.sh" gnuplot-nox python3 >/dev/null
# The scenes demostart switches to, with their starts, and the end, from the schedule.
end=$("$scenetimes" | awk '$1 == "end" { print $2 }')
marks=$("$scenetimes" | awk -v end="$end" '$1 != "end" && $3 != "nested" {
    if ($2 > 0) printf "set arrow from %s, graph 0 to %s, graph 1 nohead lc \"gray\"\n", $2, $2
    printf "set label \"%s\" at %s, graph 0.95\n", $1, $2 + end / 97 }')
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
set xrange [0:$end]
set grid ytics
set key outside top center horizontal
# The scenes' starts, and the 25 ms a step may take to keep real time.
$marks
set arrow from 0, 25 to $end, 25 nohead dt 2 lc "gray"
set label "25 ms: one step of the clock" at $end * 0.47, 19 tc "gray"
plot "$data" using 1:3 with points pt 7 ps 0.3 lc rgb "#d08030" title "frame (display)", \
     "$data" using 1:(\$2 > 0 ? \$2 : 1/0) with points pt 7 ps 0.3 lc rgb "#3070c0" title "update step (mean of the frame's steps)"
END
echo "wrote $2"
