#!/bin/sh
# targets.sh [DRIVER]: the shipped courses' target laps, data/courses/targets/NAME-{gold,silver,bronze}.rec,
# recordings from a standing start made by the course driver (default build/tools/course_driver), from
# the top of the source tree.  Gold is the best drive its search finds (--tries 20000); silver and
# bronze are real clean drives of the same search cut short, the first (most tries first) whose best
# lap is at least a quarter and at least three fifths slower than gold's.  Paths in the headers are
# made relative to the top folder, so a target replays from there.
set -eu
driver=${1:-build/tools/course_driver}
top=$(pwd)
out=data/courses/targets
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$out"

# best_lap FILE: the least of the lap ticks its comment line gives.
best_lap() { sed -n 's/.* driven clean from a standing start: [0-9]* laps\{0,1\} of \(.*\) ticks\./\1/p' "$1" \
    | tr -s ', and' '\n' | grep . | sort -n | head -1; }
# keep NAME KIND FILE: the recording as shipped, its paths from the top folder.
keep() { sed -e "s|$3|$out/$1-$2.rec|g" -e "s|$top/||g" "$3" >"$out/$1-$2.rec"; echo "$1 $2: best lap $(best_lap "$3") ticks"; }

for course in data/courses/*.toml; do
    name=$(basename "$course" .toml)
    "$driver" "$course" "$tmp/gold.rec" --tries 20000 --seed 1 --standing-start >/dev/null
    gold=$(best_lap "$tmp/gold.rec")
    keep "$name" gold "$tmp/gold.rec"
    silver="" bronze=""
    for tries in 600 400 250 150 80 40 20 10; do
        "$driver" "$course" "$tmp/$tries.rec" --tries "$tries" --seed 1 --standing-start >/dev/null
        lap=$(best_lap "$tmp/$tries.rec")
        [ -z "$silver" ] && [ "$lap" -ge $((gold * 5 / 4)) ] && silver=$tries && keep "$name" silver "$tmp/$tries.rec"
        [ -z "$bronze" ] && [ "$lap" -ge $((gold * 8 / 5)) ] && bronze=$tries && keep "$name" bronze "$tmp/$tries.rec"
        [ -n "$bronze" ] && break
    done
    [ -n "$silver" ] && [ -n "$bronze" ] || { echo "targets.sh: $name: no drive slow enough for silver or bronze" >&2; exit 1; }
done
