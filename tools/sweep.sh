#!/bin/sh
# sweep.sh [SIM]: docs/sweep.png, a heat map of the preset's braking
# distance from 100 km/h over a grid of grip (G, 0.4 to 1.6) and brake
# force (BrakeForce, 0 to 6000 N): one sweep of caravelt-sim (default
# build/caravelt-sim) on every core, drawn by gnuplot; from the top of
# the source tree.
set -eu
sim=${1:-build/caravelt-sim}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

"$sim" --sheet --vary G=0.4:1.6:0.05 --vary BrakeForce=0:6000:250 >"$tmp/sweep.csv"
gnuplot -e "csv='$tmp/sweep.csv'; out='docs/sweep.png'; dx=250; dy=0.05" tools/sweep.gp
echo "made docs/sweep.png from $(($(wc -l <"$tmp/sweep.csv") - 1)) setups"
