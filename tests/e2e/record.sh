#!/bin/sh
# A recorded drive (keys changed while title screens are up, a slide, R, shifts) replays
# byte for byte in caravelt-sim and in the game, by the header's commands run from /tmp;
# Ctrl-C and SIGTERM leave complete files; the replay viewer's speed and jumps keep the trace.
. "$(dirname "$0")/lib.sh"

start_x
start_game --record "$WORK/drive.rec" --trace "$WORK/drive.csv"
wait_for is_title title || fail "no title screen at start"
xdotool keydown Up; sleep 0.3    # held through the owed ticks of the first title
press space
wait_for is_driving drive0 || fail "Space did not leave the title screen"
xdotool keyup Up; press a
xdotool keydown Up; sleep 1
xdotool keydown Right; sleep 1.5 # full throttle and lock in first: a slide
[ "$(wc -l <"$WORK/drive.csv")" -gt 200 ] || fail "the trace is not written while the game runs"
xdotool keydown q
wait_for is_title title2 || fail "Q did not bring the title screen back"
xdotool keyup q; xdotool keyup Right; xdotool keydown Left   # changed while the title is up
sleep 0.5; press space; sleep 0.8
xdotool keyup Left; xdotool keyup Up
press a; press a; press z; press r
xdotool keydown Up; sleep 0.5
kill -INT "$GAME_PID"            # with Up held: the last line still open
ends_with 130 "SIGINT"
xdotool keyup Up

rec="$WORK/drive.rec"
grep -q '^1 Up Right Q / Up Left$' "$rec" || fail "the title screen's tick is not recorded with its two key sets"
awk -F, 'NR > 1 && $17 == 1 { s = 1 } NR > 1 && $15 > g { g = $15 } END { exit !(s && g == 3) }' \
    "$WORK/drive.csv" || fail "the drive had no slide or never reached third gear"
# The header's commands work from any folder: caravelt-sim's as it stands, in /tmp.
headless=$(sed -n 's/^# replay headless: //p' "$rec"); in_game=$(sed -n 's/^# replay in the game: //p' "$rec")
[ -n "$headless" ] && [ -n "$in_game" ] || fail "no replay commands in the header"
elsewhere
(cd "$ELSEWHERE" && eval "$headless") || fail "the header's caravelt-sim command failed in $ELSEWHERE"
cmp "$ELSEWHERE/trace.csv" "$WORK/drive.csv" || fail "caravelt-sim's trace differs from the drive's"

# The header's game command in /tmp, where there are no pictures.  The trace is written at
# least once a second: wait for the replay's rows; at its end the game pauses, so no row
# may follow them.
ticks=$(awk '!/^#/ { n += $1 } END { print n }' "$rec")
run_in "$ELSEWHERE" "$in_game --trace '$WORK/replay.csv' --record '$WORK/again.rec'"
for _ in $(seq 600); do [ "$(wc -l <"$WORK/replay.csv")" -gt "$ticks" ] && break; sleep 0.1; done
sleep 1.5
kill -TERM "$GAME_PID"
ends_with 143 "SIGTERM in a replay"
cmp "$WORK/replay.csv" "$WORK/drive.csv" || fail "the replay's trace differs from the drive's"
# Recorded again, the replay's keys are the drive's, tick for tick (lines are closed at
# each write-out, so they split differently).
per_tick() { awk '!/^#/ { k = $0; sub(/^[0-9]+ ?/, "", k); for (i = 0; i < $1; i++) print k }' "$1"; }
per_tick "$WORK/again.rec" >"$WORK/keys2"
per_tick "$rec" | cmp - "$WORK/keys2" || fail "recording a replay does not give its keys"

# The viewer, the game started in the top folder with paths from there: the drive and two
# passes of the scenario after it (a minute), at 16x with the chart shown; paused, 10 s back
# shows another state, 10 s on shows the very frame again (the chart's ring re-run too);
# 10 s on again runs ticks never run; the trace is caravelt-sim's, each row once, in order.
cat "$rec" "$DATA/../bench/drive.txt" "$DATA/../bench/drive.txt" >"$WORK/long.rec"
"$SIM" --trace "$WORK/long.csv" "$WORK/long.rec" || fail "caravelt-sim refused the long recording"
top=$(cd "$DATA/.." && pwd) rel=$(realpath --relative-to="$DATA/.." "$WORK")
start_game_in "$top" --replay "$rel/long.rec" --trace "$rel/view.csv"
wait_for is_driving view || fail "the viewer: no driving view"
press g; for n in 1 2 3 4; do press bracketright; done
sleep 1; press p; snap at
# REPLAY and its progress: a black box, white text, along the top at the left.
brighter at 240 20 16 16 0.03 && ! brighter at 240 20 16 16 0.35 || fail "the viewer: no REPLAY mark along the top"
press Prior; snap back
press Next; snap on
same_view() { [ "$(compare -metric AE "$WORK/$1.png" "$WORK/$2.png" null: 2>&1)" = 0 ]; }
same_view at back && fail "the viewer: 10 s back showed the same frame"
same_view at on || fail "the viewer: 10 s back and on did not give the same frame"
press Next; press p
long=$(awk '!/^#/ { n += $1 } END { print n }' "$WORK/long.rec")
for _ in $(seq 100); do [ "$(wc -l <"$WORK/view.csv")" -gt "$long" ] && break; sleep 0.1; done
sleep 1.5; press Escape
ends_with 0 "Escape at the end of the viewed replay"
cmp "$WORK/view.csv" "$WORK/long.csv" || fail "the viewer's trace differs from caravelt-sim's"
echo "PASS: $ticks ticks recorded, replayed headless and in the window from /tmp, one trace; viewed at 16x with jumps"
