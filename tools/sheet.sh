#!/bin/sh
# sheet.sh [SIM]: the handling sheet of the three shipped cars, from the
# top of the source tree, with caravelt-sim (default build/caravelt-sim):
#   docs/sheet.md   the table, between the lines "<!-- sheet: begin -->"
#                   and "<!-- sheet: end -->"
#   docs/sheet.png  ground speed against time of each car's acceleration
#                   and braking runs (the first 80 s)
set -eu
sim=${1:-build/caravelt-sim}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
page=docs/sheet.md
grep -q '^<!-- sheet: begin -->$' "$page" && grep -q '^<!-- sheet: end -->$' "$page" \
    || { echo "sheet.sh: $page has no sheet marker lines" >&2; exit 1; }

"$sim" --sheet --car data/cars/kvt.toml --car data/cars/light.toml --car data/cars/drift.toml \
    --runs "$tmp/runs.csv" >"$tmp/sheet.md"

# One file per car and run: time,kmh.
awk -F, -v dir="$tmp" 'NR > 1 && $3 <= 80 { print $3 "," $4 > (dir "/" $1 "-" $2 ".csv") }' \
    "$tmp/runs.csv"
gnuplot -e "dir='$tmp'; out='docs/sheet.png'" tools/sheet.gp

awk -v sheet="$tmp/sheet.md" '
    /^<!-- sheet: end -->$/ { while ((getline line < sheet) > 0) print line; skip = 0 }
    !skip { print }
    /^<!-- sheet: begin -->$/ { skip = 1 }' "$page" >"$tmp/page.md"
cp "$tmp/page.md" "$page"
echo "wrote the sheet into $page and made docs/sheet.png"
