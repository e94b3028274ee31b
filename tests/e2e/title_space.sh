#!/bin/sh
# Several starts in a row, each left with one short Space press: the
# keyboard must be read even while the title screen redraws flat out.
. "$(dirname "$0")/lib.sh"

start_x
for run in 1 2 3 4 5; do
    start_game
    wait_for is_title "t$run" || fail "run $run: no title screen"
    press space 0.2
    wait_for is_driving "d$run" || fail "run $run: a 0.2 s Space press was missed"
    press Escape
    wait_exit 5
    status=$?
    [ "$status" -eq 0 ] || fail "run $run: exit status $status"
done
echo "PASS: five starts, each left with one Space press"
