#!/bin/sh
# drives.sh [SIM]: the shipped courses' drives, made by the driver (caravelt-sim --best-lap, default
# build/caravelt-sim), from the top of the source tree:
#   docs/courses/NAME.txt                the driving script of the best drive found in 60 s from
#                                        where start-up puts the car, its header a comment that says
#                                        how it was made (the drives it took, which give the same keys
#                                        on any machine);
#   data/courses/targets/NAME-gold.rec   the best drive found in 60 s from a standing start, as the
#                                        game's time trial begins, a recording, its paths from the top
#                                        folder;
#   ...-silver.rec, ...-bronze.rec       real clean drives of the same searches cut short: of fewer
#                                        drives in turn, the first whose best lap is a quarter, and
#                                        three fifths, slower than gold's.
set -eu
sim=${1:-build/caravelt-sim}
top=$(pwd)
out=data/courses/targets
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$out"

# best NAME BUDGET FILE: the driver's drive into FILE, its laps into FILE.csv; prints its best
# lap's ticks and the drives it took.
best() {
    "$sim" --course "data/courses/$1.toml" --best-lap $2 --seed 1 --record "$3" --laps "$3.csv" --quiet >"$3.out"
    awk -F, 'NR > 1 && (m == "" || $3 < m) { m = $3 } END { printf "%s ", m }' "$3.csv"
    sed -n 's/.*found in \([0-9]*\) drives.*/\1/p' "$3.out"
}
# keep NAME KIND FILE: the recording as shipped, its paths from the top folder.
keep() { sed -e "s|$3|$out/$1-$2.rec|g" -e "s|$top/||g" -e "s|[^ ]*/caravelt-sim|caravelt-sim|g" \
             -e "s|[^ ]*/caravelt |caravelt |g" "$3" >"$out/$1-$2.rec"; }

for name in slalom figure8 autocross; do
    set -- $(best "$name" "--budget 60" "$tmp/script.rec")
    lap=$1 drives=$2
    title=$(sed -n 's/^name = "\(.*\)"/\1/p' "data/courses/$name.toml")
    laps=$(awk -F, 'NR > 1 { printf "%s%s", (NR > 2 ? " " : ""), $3 }' "$tmp/script.rec.csv")
    { echo "# $title (data/courses/$name.toml) driven clean by the driver from where start-up puts the car:"
      echo "# laps of $laps ticks, the best $(awk -v t="$lap" 'BEGIN { printf "%.2f", t / 100 }') s (only the best lap counts, so the first gather speed)."
      echo "# Made by: caravelt-sim --course data/courses/$name.toml --best-lap --budget-drives $drives --seed 1 --record FILE"
      grep -v '^#' "$tmp/script.rec"; } >"docs/courses/$name.txt"
    echo "$name script: best lap $lap ticks, $drives drives"
    set -- $(best "$name" "--standing-start --budget 60" "$tmp/gold.rec")
    gold=$1 drives=$2
    keep "$name" gold "$tmp/gold.rec"
    echo "$name gold: best lap $gold ticks, $drives drives"
    silver="" bronze=""
    for budget in 3000 1500 800 400 200 100 64; do
        set -- $(best "$name" "--standing-start --budget-drives $budget" "$tmp/$budget.rec" 2>/dev/null || echo "")
        [ $# -eq 2 ] || continue   # no clean drive in so few
        lap=$1
        [ -z "$silver" ] && [ "$lap" -ge $((gold * 5 / 4)) ] && silver=$budget && keep "$name" silver "$tmp/$budget.rec" \
            && echo "$name silver: best lap $lap ticks, $budget drives"
        [ -z "$bronze" ] && [ "$lap" -ge $((gold * 8 / 5)) ] && bronze=$budget && keep "$name" bronze "$tmp/$budget.rec" \
            && echo "$name bronze: best lap $lap ticks, $budget drives"
        [ -n "$bronze" ] && break
    done
    [ -n "$silver" ] && [ -n "$bronze" ] || { echo "drives.sh: $name: no drive slow enough for silver or bronze" >&2; exit 1; }
done
