#!/bin/sh
# A recorded drive (keys changed while title screens are up, a slide, R, shifts) replays
# byte for byte in caravelt-sim and in the game; Ctrl-C and SIGTERM leave complete files.
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
grep -q '^# replay headless: caravelt-sim --trace trace.csv ' "$rec" || fail "no replay line in the header"
grep -q '^1 Up Right Q / Up Left$' "$rec" || fail "the title screen's tick is not recorded with its two key sets"
awk -F, 'NR > 1 && $17 == 1 { s = 1 } NR > 1 && $15 > g { g = $15 } END { exit !(s && g == 3) }' \
    "$WORK/drive.csv" || fail "the drive had no slide or never reached third gear"
"$SIM" --trace "$WORK/sim.csv" "$rec" || fail "caravelt-sim refused the recording"
cmp "$WORK/sim.csv" "$WORK/drive.csv" || fail "caravelt-sim's trace differs from the drive's"

# The trace is written at least once a second: wait for the replay's rows;
# at its end the game pauses, so no row may follow them.
ticks=$(awk '!/^#/ { n += $1 } END { print n }' "$rec")
start_game --replay "$rec" --trace "$WORK/replay.csv" --record "$WORK/again.rec"
for _ in $(seq 600); do [ "$(wc -l <"$WORK/replay.csv")" -gt "$ticks" ] && break; sleep 0.1; done
sleep 1.5
kill -TERM "$GAME_PID"
ends_with 143 "SIGTERM in a replay"
cmp "$WORK/replay.csv" "$WORK/drive.csv" || fail "the replay's trace differs from the drive's"
# Recorded again, the replay's keys are the drive's, tick for tick (lines are closed at
# each write-out, so they split differently), and replay to the whole trace.
per_tick() { awk '!/^#/ { k = $0; sub(/^[0-9]+ ?/, "", k); for (i = 0; i < $1; i++) print k }' "$1"; }
per_tick "$WORK/again.rec" >"$WORK/keys2"
per_tick "$rec" | cmp - "$WORK/keys2" || fail "recording a replay does not give its keys"
"$SIM" --trace "$WORK/again.csv" "$WORK/again.rec" || fail "caravelt-sim refused the replay's recording"
cmp "$WORK/again.csv" "$WORK/replay.csv" || fail "the replay's recording does not give its trace"
echo "PASS: $ticks ticks recorded, replayed headless and in the window, one trace"
