#!/bin/sh
# Starts and stops in a row.  Each title screen is left with one short
# Space press (the keyboard must be read while the title screen redraws);
# Escape (while driving, and on the title screen at start or after Q) and
# the window's close button end the game with 0; SIGINT and SIGTERM, on
# the title screen or while driving, end it within half a second with 130
# and 143 and no crash.  The idle title screen uses under a tenth of a core.
. "$(dirname "$0")/lib.sh"

close_window() {
    id=$(xdotool search --name '^caravelt$' 2>/dev/null | head -n 1)
    [ -n "$id" ] || fail "no game window to close"
    "$WM_CLOSE" "$id"
}

ms() { echo $(($(date +%s%N) / 1000000)); }

# signal_ends RUN SIGNAL STATUS: the game gone within 0.5 s with STATUS,
# nothing said on stderr (the library's own handler would say something).
# Waited for directly, with a watchdog that kills a game that hangs.
signal_ends() {
    (sleep 3; kill -KILL "$GAME_PID" 2>/dev/null) &
    dog=$!
    t0=$(ms)
    kill -"$2" "$GAME_PID"
    wait "$GAME_PID"
    status=$?
    took=$(($(ms) - t0))
    GAME_PID=""
    kill "$dog" 2>/dev/null
    [ "$status" -eq "$3" ] || fail "run $1: SIG$2 gave status $status, want $3"
    [ "$took" -lt 500 ] || fail "run $1: SIG$2 took $took ms to end the game"
    [ ! -s "$WORK/game.err" ] || fail "run $1: SIG$2 said: $(cat "$WORK/game.err")"
    echo "run $1: SIG$2 ended the game in $took ms"
}

# cpu_ticks: user + system time of the game so far, in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$GAME_PID/stat"; }

start_x
hz=$(getconf CLK_TCK)
for run in 1 2 3 4 5 6 7 8 9; do
    start_game
    wait_for is_title "t$run" || fail "run $run: no title screen"
    case $run in
        1|2|5|8|9)
            press space 0.1
            wait_for is_driving "d$run" || fail "run $run: a 0.1 s Space press was missed" ;;
    esac
    case $run in
        1) press Escape ;;
        2) close_window ;;
        3) close_window ;;            # on the title screen
        4) press Escape ;;            # on the title screen at start
        5) press q
           wait_for is_title "q$run" || fail "run $run: Q did not show the title screen"
           press Escape ;;            # on the title screen after Q
        6) c0=$(cpu_ticks); t0=$(ms)
           sleep 3
           c1=$(cpu_ticks); t1=$(ms)
           share=$(((c1 - c0) * 100000 / hz / (t1 - t0)))
           [ "$share" -lt 10 ] || fail "the idle title screen took $share% of a core"
           signal_ends $run INT 130; continue ;;
        7) signal_ends $run TERM 143; continue ;;
        8) signal_ends $run INT 130; continue ;;
        9) signal_ends $run TERM 143; continue ;;
    esac
    wait_exit 5
    status=$?
    [ "$status" -eq 0 ] || fail "run $run: exit status $status"
done
echo "PASS: nine starts, Space seen every time; Escape and close end with 0, SIGINT 130, SIGTERM 143; idle title screen ${share}% of a core"
