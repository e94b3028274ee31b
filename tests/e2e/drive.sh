#!/bin/sh
# A session as a player has it: title, driving view with the car at the
# centre, first gear and throttle move it up, Q and Space, R, Escape.
. "$(dirname "$0")/lib.sh"
start_x
start_game
wait_for is_title title || fail "no title screen at start"
press space
wait_for is_driving drive0 || fail "Space did not leave the title screen"
at_centre drive0 || fail "car at $(car_at drive0), not at the centre"

press a
press Up 1.5
sleep 0.3
shot drive1
set -- $(car_at drive1)
[ $# -eq 2 ] && [ "$1" -ge 505 ] && [ "$1" -le 519 ] && [ "$2" -lt 370 ] \
    || fail "car at $*, not straight up the screen"

press q
wait_for is_title title2 || fail "Q did not bring the title screen back"
press space
wait_for is_driving drive2 || fail "Space did not leave the title screen again"
press r
sleep 0.3
shot drive3
at_centre drive3 || fail "R left the car at $(car_at drive3)"

press Escape
wait_exit 5 || fail "exit status $? after Escape"
echo "PASS: title, drive up, Q, R and Escape"
