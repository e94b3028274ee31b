#!/bin/sh
# sheet.sh [SIM]: the handling sheet of the three shipped cars, from the
# top of the source tree, with caravelt-sim (default build/caravelt-sim):
#   README.md       the table, between the lines "<!-- sheet: begin -->"
#                   and "<!-- sheet: end -->"
#   docs/sheet.png  ground speed against time of each car's acceleration
#                   and braking runs (the first 80 s)
set -eu
sim=${1:-build/caravelt-sim}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
grep -q '^<!-- sheet: begin -->$' README.md && grep -q '^<!-- sheet: end -->$' README.md \
    || { echo "sheet.sh: README.md has no sheet marker lines" >&2; exit 1; }

"$sim" --sheet --car data/cars/kvt.toml --car data/cars/light.toml --car data/cars/drift.toml \
    --runs "$tmp/runs.csv" >"$tmp/sheet.md"

# One file per car and run: time,kmh.
awk -F, -v dir="$tmp" 'NR > 1 && $3 <= 80 { print $3 "," $4 > (dir "/" $1 "-" $2 ".csv") }' \
    "$tmp/runs.csv"
gnuplot -e "dir='$tmp'; out='docs/sheet.png'" tools/sheet.gp

awk -v sheet="$tmp/sheet.md" '
    /^<!-- sheet: end -->$/ { while ((getline line < sheet) > 0) print line; skip = 0 }
    !skip { print }
    /^<!-- sheet: begin -->$/ { skip = 1 }' README.md >"$tmp/README.md"
cp "$tmp/README.md" README.md
echo "wrote the sheet into README.md and made docs/sheet.png"
