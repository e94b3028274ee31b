#!/bin/sh
# The window's close button ends the game with status 0, from the title
# screen and from the driving view.
. "$(dirname "$0")/lib.sh"

close_window() {
    id=$(xdotool search --pid "$GAME_PID" 2>/dev/null | head -n 1)
    [ -n "$id" ] || id=$(xdotool search --name . 2>/dev/null | head -n 1)
    [ -n "$id" ] || fail "no game window to close"
    "$WM_CLOSE" "$id"
}

start_x
start_game
wait_for is_title t || fail "no title screen"
close_window
wait_exit 5
status=$?
[ "$status" -eq 0 ] || fail "closed on the title screen: status $status"

start_game
wait_for is_title t || fail "no title screen"
press space
wait_for is_driving d || fail "no driving view"
close_window
wait_exit 5
status=$?
[ "$status" -eq 0 ] || fail "closed while driving: status $status"
echo "PASS: the close button ends the game with status 0"
