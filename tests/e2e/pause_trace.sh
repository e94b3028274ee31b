#!/bin/sh
# Pause and single tick as the game's trace sees them: Up held for a
# second up to the pause (the accelerator at the top), two seconds paused
# with Up let go, then three period presses with Down held, Escape while
# still paused.  The trace must end with exactly three rows with the brake
# moving, each a pedal step (0.025) on from the last: the accelerator one
# step further down and the brake one step further up.  A tick run in the
# two seconds would have let the accelerator fall first.
#
# Needs the game's --trace FILE (a CSV header, one row per tick run).
. "$(dirname "$0")/lib.sh"

start_x
start_game --windowed --trace "$WORK/trace.csv"
wait_for is_title title || fail "no title screen at start"
press space
wait_for is_driving drive || fail "Space did not leave the title screen"

press a
xdotool keydown Up
sleep 1
press p
xdotool keyup Up
sleep 2
xdotool keydown Down
for n in 1 2 3; do
    press period
    sleep 0.2
done
xdotool keyup Down
press Escape
wait_exit 5
status=$?
[ "$status" -eq 0 ] || fail "exit status $status"

# Columns by name; rows after the header.  r: the last row with the
# brake at rest, the tick before the pause; the rows after it are the steps.
awk -F, '
    function off(a, b) { d = a - b; return d > 1e-5 || d < -1e-5 }
    NR == 1 { for (i = 1; i <= NF; i++) col[$i] = i; next }
    { acc[NR] = $col["PedalAccelerator"]; brake[NR] = $col["PedalBrake"]; last = NR }
    END {
        for (r = last; r > 1 && brake[r] + 0 > 0; r--) ;
        if (last - r != 3) { printf "FAIL: %d rows after the pause, want 3\n", last - r; exit 1 }
        if (acc[r] + 0 < 0.99) { printf "FAIL: accelerator %s at the pause, not at the top\n", acc[r]; exit 1 }
        for (k = 1; k <= 3; k++)
            if (off(acc[r + k], acc[r] - 0.025 * k) || off(brake[r + k], 0.025 * k)) {
                printf "FAIL: step %d: accelerator %s, brake %s\n", k, acc[r + k], brake[r + k]
                exit 1
            }
    }' "$WORK/trace.csv" >&2 || fail "trace: see above"
echo "PASS: two seconds paused add no rows, three period presses add three"
