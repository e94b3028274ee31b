#!/bin/sh
# Start-up failures: one line on stderr, status 1, no hang, no dialog.
. "$(dirname "$0")/lib.sh"

expect_failure() {  # NAME PATTERN: status 1 and the message
    wait_exit 10
    [ $? -eq 1 ] || fail "$1: status not 1"
    grep -q "$2" "$WORK/game.err" || fail "$1: message was: $(cat "$WORK/game.err")"
    [ "$(wc -l <"$WORK/game.err")" -eq 1 ] || fail "$1: more than one line on stderr"
}

start_x
real_data=$DATA

DATA="$WORK/nocar"
mkdir -p "$DATA"
cp "$real_data/tarmac.bmp" "$DATA/"
start_game
expect_failure "missing sprite" "cannot load \"car/kvtcar.bmp\" (looked in $DATA)"

DATA="$WORK/badtarmac"
mkdir -p "$DATA/car"
cp "$real_data/car/kvtcar.bmp" "$DATA/car/"
echo "not a picture" >"$DATA/tarmac.bmp"
start_game
expect_failure "corrupt tarmac" "cannot load \"tarmac.bmp\" (looked in $DATA): not a BMP"

DATA=$real_data
unset DISPLAY
start_game
expect_failure "no display" "DISPLAY is not set"
echo "PASS: start-up failures are reported and exit 1"
