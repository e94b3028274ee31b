#!/bin/sh
# The slalom in the game: its clean script replayed and recorded on the course, the view at
# its end caravelt-sim's frame (cones, gates, the timing box), the recording's laps exact in
# caravelt-sim; then, in a window, part of that recording replayed with the whole of it as
# the ghost: the ghost drawn where the best lap's car stood as far into its lap, and nothing
# else changed but the timing box.
. "$(dirname "$0")/lib.sh"

course="$DATA/courses/slalom.toml" script="$DATA/../docs/courses/slalom.txt"
ticks() { awk '!/^#/ { n += $1 } END { print n }' "$1"; }
# played NAME OPTION...: the game from its data folder on the course, a replay run to its
# end (the trace has its rows), then a screenshot of the pause it ends in, NAME.png.
played() {
    name=$1; shift
    start_game --course courses/slalom.toml --trace "$WORK/$name.csv" "$@"
    for _ in $(seq 600); do [ "$(cat "$WORK/$name.csv" 2>/dev/null | wc -l)" -gt "$n" ] && break; sleep 0.1; done
    [ "$(wc -l <"$WORK/$name.csv")" -eq $((n + 1)) ] || fail "$name: the replay's rows are not its $n ticks"
    snap "$name" 0.5
}
# frame NAME SCRIPT: caravelt-sim's view after the script on the course, NAME.png.
frame() { "$SIM" --course "$course" --trace /dev/null --frame "$WORK/$1.bmp" --data "$DATA" "$2" && convert "$WORK/$1.bmp" "$WORK/$1.png"; }
# blank NAME BOX...: NAME.png with each box (WxH+X+Y) painted black, as NAME-b.png.
blank() {
    f=$1; shift; draw=""
    for b in "$@"; do
        set -- $(echo "$b" | tr 'x+' '  ')
        draw="$draw rectangle $3,$4 $(($3 + $1 - 1)),$(($4 + $2 - 1))"
    done
    convert "$WORK/$f.png" -fill black -draw "$draw" "$WORK/$f-b.png"
}
PAUSED=72x20+476+16 TIMING=360x54+332+42

start_x
n=$(ticks "$script")
played drive --replay "$script" --record "$WORK/drive.rec"
frame end "$script" || fail "caravelt-sim's frame"
blank drive $PAUSED; blank end $PAUSED
FUZZ=1% same drive-b end-b || fail "the view at the end differs from caravelt-sim's frame ($(FUZZ=1% differ drive-b end-b) pixels)"
press Escape
ends_with 0 "Escape at the end of the replay"

grep -q '^# course: courses/slalom.toml, hash [0-9a-f]\{16\}$' "$WORK/drive.rec" || fail "the recording's header names no course"
"$SIM" --course "$course" --laps "$WORK/laps.csv" --trace "$WORK/sim.csv" "$WORK/drive.rec" || fail "caravelt-sim refused the recording"
cmp "$WORK/sim.csv" "$WORK/drive.csv" || fail "caravelt-sim's trace differs from the drive's"
printf '%s\n' "lap,start_tick,ticks,cones,time_s,total_s,gate2_s,gate3_s,gate4_s,gate5_s,gate6_s" \
    "1,427,946,0,9.46,9.46,2.28,4.09,5.50,6.70,7.77" "2,1373,666,0,6.66,6.66,0.85,1.87,2.87,3.92,4.89" \
    "3,2039,671,0,6.71,6.71,0.91,1.94,2.93,3.96,4.94" | cmp - "$WORK/laps.csv" || fail "the recording's laps are not the script's"

# 300 ticks into lap 1 (from tick 427), the ghost is lap 2's car 300 ticks in: at tick 1673.
awk -v left=727 '/^#/ { print; next } left > 0 { k = $1 < left ? $1 : left; $1 = k; print; left -= k }' \
    "$WORK/drive.rec" >"$WORK/part.rec"
n=727
played ghost --windowed --replay "$WORK/part.rec" --ghost "$WORK/drive.rec"
frame part "$WORK/part.rec" || fail "caravelt-sim's frame of the part"
set -- $(awk -F, 'NR == 1674 { printf "%d %d", $2, $3 }' "$WORK/drive.csv")
AROUND="64x64+$(($1 - 32))+$(($2 - 32))"
blank ghost $PAUSED $TIMING "$AROUND"; blank part $PAUSED $TIMING "$AROUND"
FUZZ=1% same ghost-b part-b || fail "the ghost changed more than its place and the timing box ($(FUZZ=1% differ ghost-b part-b) pixels)"
[ "$(FUZZ=1% differ ghost part "$AROUND")" -gt 300 ] || fail "no ghost around $AROUND"
[ "$(FUZZ=1% differ ghost part "$TIMING")" -gt 100 ] || fail "the timing box does not show the ghost's lap"
press Escape
ends_with 0 "Escape with a ghost"
echo "PASS: the slalom replayed, recorded and its laps exact; its best lap raced as a ghost"
