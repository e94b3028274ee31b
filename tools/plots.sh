#!/bin/sh
# plots.sh [SIM]: remakes the README's pictures with caravelt-sim (default
# build/caravelt-sim), from the top of the source tree:
#   docs/driving.png  the driving view after docs/driving.txt (--frame)
#   docs/gears.png    speed, engine speed and gear over docs/gears.txt
set -eu
sim=${1:-build/caravelt-sim}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

"$sim" --trace /dev/null --frame "$tmp/driving.bmp" --data data docs/driving.txt
convert "$tmp/driving.bmp" -strip docs/driving.png   # -strip: no timestamps, same bytes each time

"$sim" --trace "$tmp/gears.csv" docs/gears.txt
gnuplot -e "trace='$tmp/gears.csv'; out='docs/gears.png'" tools/gears.gp
echo "made docs/driving.png and docs/gears.png"
