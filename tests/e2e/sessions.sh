#!/bin/sh
# Several starts in a row, each title screen left with one short Space
# press (the keyboard must be read while the title redraws flat out);
# each game ended by Escape or by the window's close button, status 0.
. "$(dirname "$0")/lib.sh"

close_window() {
    id=$(xdotool search --name '^caravelt$' 2>/dev/null | head -n 1)
    [ -n "$id" ] || fail "no game window to close"
    "$WM_CLOSE" "$id"
}

start_x
for run in 1 2 3 4 5 6; do
    start_game
    wait_for is_title "t$run" || fail "run $run: no title screen"
    if [ "$run" -eq 6 ]; then
        close_window  # from the title screen
    else
        press space 0.2
        wait_for is_driving "d$run" || fail "run $run: a 0.2 s Space press was missed"
        if [ "$run" -eq 5 ]; then close_window; else press Escape; fi
    fi
    wait_exit 5 || fail "run $run: exit status $?"
done
echo "PASS: six starts, Space seen every time, Escape and close end with 0"
