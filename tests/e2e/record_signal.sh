#!/bin/sh
# Ctrl-C or SIGTERM while recording: the game ends through its normal
# shut-down, and the recording is complete -- caravelt-sim replays it to
# the game's own trace, every tick.  Needs SIM (the caravelt-sim binary).
. "$(dirname "$0")/lib.sh"

start_x
for sig in INT TERM; do
    start_game --record "$WORK/$sig.rec" --trace "$WORK/$sig.csv"
    wait_for is_title "title-$sig" || fail "$sig: no title screen at start"
    press space
    wait_for is_driving "drive-$sig" || fail "$sig: Space did not leave the title screen"
    press a
    xdotool keydown Up
    sleep 1.3
    kill -"$sig" "$GAME_PID"
    wait_exit 5
    xdotool keyup Up
    "$SIM" --trace "$WORK/$sig.sim.csv" "$WORK/$sig.rec" || fail "$sig: caravelt-sim refused the recording"
    [ "$(wc -l <"$WORK/$sig.csv")" -gt 150 ] || fail "$sig: the game's trace is short"
    cmp "$WORK/$sig.sim.csv" "$WORK/$sig.csv" || fail "$sig: the recording does not give the game's trace"
done
echo "PASS: SIGINT and SIGTERM leave a complete recording and trace"
