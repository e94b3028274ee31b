#!/bin/sh
# The slalom in the game, started from the top folder with paths from there: its script replayed
# and recorded on the course, the view at its end caravelt-sim's frame, the recording's laps the
# script's in caravelt-sim.  Then that recording watched in the viewer from /tmp; last, part of it
# replayed in a window with the driver's own recording (caravelt-sim --best-lap) as the ghost,
# drawn where its best lap's car stood.
. "$(dirname "$0")/lib.sh"

top=$(cd "$DATA/.." && pwd) rel=$(realpath --relative-to="$DATA/.." "$WORK")
course="$top/data/courses/slalom.toml" script="$top/docs/courses/slalom.txt"
ticks() { awk '!/^#/ { n += $1 } END { print n }' "$1"; }
# rows_of NAME: wait until NAME.csv holds the replay's $n rows and its header (60 s at most).
rows_of() {
    for _ in $(seq 600); do [ "$(cat "$WORK/$1.csv" 2>/dev/null | wc -l)" -gt "$n" ] && break; sleep 0.1; done
    [ "$(wc -l <"$WORK/$1.csv")" -eq $((n + 1)) ] || fail "$1: the replay's rows are not its $n ticks"
}
# frame NAME SCRIPT: caravelt-sim's view after the script on the course, NAME.png, and its laps,
# NAME-laps.csv, from /tmp (the pictures found beside the binary).
frame() { (cd "$ELSEWHERE" && "$SIM" --course "$course" --laps "$WORK/$1-laps.csv" --trace /dev/null \
              --frame "$WORK/$1.bmp" "$2") && convert "$WORK/$1.bmp" "$WORK/$1.png"; }
# faster N: the replay in view N steps faster (] doubles the speed).
faster() { for _ in $(seq "$1"); do press bracketright; done; }
# blank NAME BOX...: NAME.png with each box (WxH+X+Y) painted black, as NAME-b.png.
blank() {
    f=$1; shift; draw=""
    for b in "$@"; do
        set -- $(echo "$b" | tr 'x+' '  ')
        draw="$draw rectangle $3,$4 $(($3 + $1 - 1)),$(($4 + $2 - 1))"
    done
    convert "$WORK/$f.png" -fill black -draw "$draw" "$WORK/$f-b.png"
}
# The pause sign, the timing box and the viewer's REPLAY box with its bar (as wide as an
# hour's progress at 1/4x): only the game draws the first and the last.
PAUSED=72x20+476+16 TIMING=360x66+332+42 REPLAY=312x24+16+16

start_x
elsewhere
n=$(ticks "$script")
start_game_in "$top" --course data/courses/slalom.toml --replay docs/courses/slalom.txt \
    --record "$rel/drive.rec" --trace "$rel/drive.csv"
wait_for is_driving drive || fail "the replay: no driving view"
faster 4
rows_of drive
snap drive 0.5
frame end "$script" || fail "caravelt-sim's frame"
blank drive $PAUSED $REPLAY; blank end $PAUSED $REPLAY
FUZZ=1% same drive-b end-b || fail "the view at the end differs from caravelt-sim's frame ($(FUZZ=1% differ drive-b end-b) pixels)"
press Escape
ends_with 0 "Escape at the end of the replay"

grep -q "^# course: $course, hash [0-9a-f]\{16\}\$" "$WORK/drive.rec" || fail "the recording's header names no course by its path"
# caravelt-sim in /tmp, with no --course: the recording runs on the course it names.
(cd "$ELSEWHERE" && "$SIM" --laps "$WORK/laps.csv" --trace "$WORK/sim.csv" "$WORK/drive.rec") \
    || fail "caravelt-sim refused the recording without --course"
cmp "$WORK/sim.csv" "$WORK/drive.csv" || fail "caravelt-sim's trace differs from the drive's (not on its own course?)"
cmp "$WORK/end-laps.csv" "$WORK/laps.csv" || fail "the recording's laps are not the script's"

# The viewer on the course, by the header's own command in /tmp: at 4x, paused in lap 1;
# 10 s back shows another frame, 10 s on the very frame again, the
# course's laps, splits and ghost made again by the re-run; then on at 16x to the end, where
# the view is caravelt-sim's.  A new recording and the trace keep each tick once.
in_game=$(sed -n 's/^# replay in the game: //p' "$WORK/drive.rec")
echo "$in_game" | grep -q -- "--course $course --replay " || fail "the header's game command gives no --course"
run_in "$ELSEWHERE" "$in_game --trace '$WORK/view.csv' --record '$WORK/view.rec'"
wait_for is_driving view || fail "the viewer: no driving view"
faster 2; sleep 3.5; press p; snap at
press Prior; snap back
press Next; snap on
same at back && fail "the viewer: 10 s back showed the same frame"
same at on || fail "the viewer: 10 s back and on did not give the same frame ($(differ at on) pixels)"
press p; faster 2
rows_of view
snap viewed 0.5
blank viewed $PAUSED $REPLAY
FUZZ=1% same viewed-b end-b || fail "the viewed replay's end differs from caravelt-sim's frame ($(FUZZ=1% differ viewed-b end-b) pixels)"
press Escape
ends_with 0 "Escape at the end of the viewed replay"
cmp "$WORK/view.csv" "$WORK/drive.csv" || fail "the viewer's trace differs from the drive's"
"$SIM" --course "$course" --laps "$WORK/view-laps.csv" --trace /dev/null "$WORK/view.rec" || fail "caravelt-sim refused the viewer's recording"
cmp "$WORK/end-laps.csv" "$WORK/view-laps.csv" || fail "the viewer's recording does not give the drive's laps"

# The driver's own drive as the ghost: caravelt-sim --best-lap's recording.  300 ticks into lap
# 1 of part of the game's drive, the ghost is the driver's best lap's car 300 ticks into it.
(cd "$ELSEWHERE" && "$SIM" --course "$course" --best-lap --budget-drives 3000 --record "$WORK/driver.rec" \
    --laps "$WORK/driver-laps.csv" >/dev/null) || fail "caravelt-sim --best-lap"
"$SIM" --trace "$WORK/driver.csv" "$WORK/driver.rec" || fail "caravelt-sim refused the driver's recording"
first=$(awk -F, 'NR == 2 { print $2 }' "$WORK/end-laps.csv")
best=$(awk -F, 'NR > 1 && (b == "" || $6 + 0 < b) { b = $6 + 0; s = $2 } END { print s }' "$WORK/driver-laps.csv")
n=$((first + 300))
awk -v left=$n '/^#/ { print; next } left > 0 { k = $1 < left ? $1 : left; $1 = k; print; left -= k }' \
    "$WORK/drive.rec" >"$WORK/part.rec"
start_game_in "$ELSEWHERE" --windowed --course "$course" --trace "$WORK/ghost.csv" --replay "$WORK/part.rec" \
    --ghost "$WORK/driver.rec"
wait_for is_driving ghost || fail "the ghost: no driving view"
faster 4
rows_of ghost
snap ghost 0.5
frame part "$WORK/part.rec" || fail "caravelt-sim's frame of the part"
set -- $(awk -F, -v row=$((best + 300 + 1)) 'NR == row { printf "%d %d", $2, $3 }' "$WORK/driver.csv")
AROUND="64x64+$(($1 - 32))+$(($2 - 32))"
blank ghost $PAUSED $REPLAY $TIMING "$AROUND"; blank part $PAUSED $REPLAY $TIMING "$AROUND"
FUZZ=1% same ghost-b part-b || fail "the ghost changed more than its place and the timing box ($(FUZZ=1% differ ghost-b part-b) pixels)"
[ "$(FUZZ=1% differ ghost part "$AROUND")" -gt 300 ] || fail "no ghost around $AROUND"
[ "$(FUZZ=1% differ ghost part "$TIMING")" -gt 100 ] || fail "the timing box does not show the ghost's lap"
press Escape
ends_with 0 "Escape with a ghost"
echo "PASS: the slalom replayed and recorded from the top folder, its laps exact; viewed with jumps from /tmp, trace and laps the drive's; the driver's best lap raced as a ghost"
