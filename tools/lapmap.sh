#!/bin/sh
# lapmap.sh [SIM]: docs/lapmap.png, a heat map of the preset's best lap
# of the autocross over a grid of grip (G, 0.6 to 1.4) and peak torque
# (PeakTorque, 250 to 450 N m): one sweep of caravelt-sim (default
# build/caravelt-sim) with --course on every core, each setup's lap found
# in the sheet's fixed budget of drives, drawn by gnuplot; from the top
# of the source tree.
set -eu
sim=${1:-build/caravelt-sim}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

"$sim" --sheet --course data/courses/autocross.toml --vary G=0.6:1.4:0.1 --vary PeakTorque=250:450:25 >"$tmp/laps.csv"
gnuplot -e "csv='$tmp/laps.csv'; out='docs/lapmap.png'; dx=25; dy=0.1" tools/lapmap.gp
echo "made docs/lapmap.png from $(($(wc -l <"$tmp/laps.csv") - 1)) setups"
