#!/bin/sh
# A session as a player has it: title, driving view with the car at the
# centre, first gear and throttle move it up, Q and Space, R, Escape.
. "$(dirname "$0")/lib.sh"

start_x
start_game

wait_for is_title title || fail "no title screen at start"
press space
wait_for is_driving drive0 || fail "Space did not leave the title screen"
set -- $(car_at drive0)
[ $# -eq 2 ] || fail "no car in the driving view"
[ "$1" -ge 505 ] && [ "$1" -le 519 ] && [ "$2" -ge 377 ] && [ "$2" -le 391 ] \
    || fail "car at $1,$2, not at the centre"

press a
press Up 1.5
sleep 0.3
shot drive1
set -- $(car_at drive1)
[ $# -eq 2 ] || fail "car lost after driving"
[ "$1" -ge 505 ] && [ "$1" -le 519 ] || fail "car drifted sideways to x $1"
[ "$2" -lt 370 ] || fail "car did not move up the screen (y $2)"

press q
wait_for is_title title2 || fail "Q did not bring the title screen back"
press space
wait_for is_driving drive2 || fail "Space did not leave the title screen again"

press r
sleep 0.3
shot drive3
set -- $(car_at drive3)
[ "$1" -ge 505 ] && [ "$1" -le 519 ] && [ "$2" -ge 377 ] && [ "$2" -le 391 ] \
    || fail "R left the car at $1,$2"

press Escape
wait_exit 5
status=$?
[ "$status" -eq 0 ] || fail "exit status $status after Escape"
echo "PASS: title, drive up, Q, R and Escape"
