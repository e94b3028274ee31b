#!/bin/sh
# Seven starts and stops on a 16-bit screen (from data/, the top folder, /tmp), a short Space
# press leaving the title: Escape and the close button end with 0; F5 without --car says why
# it does nothing; SIGINT and SIGTERM within 0.5 s with 130 and 143, silently; the idle title
# takes under 10% of a core; a missing picture is one line, status 1.
. "$(dirname "$0")/lib.sh"

window() { xdotool search --name '^caravelt$' 2>/dev/null | head -n 1; }
close_window() { id=$(window); [ -n "$id" ] || fail "no game window to close"; "$WM_CLOSE" "$id"; }
# signal_ends RUN SIGNAL STATUS: waited for directly, with a watchdog.
signal_ends() {
    (sleep 3; kill -KILL "$GAME_PID" 2>/dev/null) & dog=$!
    t0=$(ms); kill -"$2" "$GAME_PID"; wait "$GAME_PID"
    status=$? took=$(($(ms) - t0)) GAME_PID=""
    kill "$dog" 2>/dev/null
    [ "$status" -eq "$3" ] || fail "run $1: SIG$2 gave status $status, want $3"
    [ "$took" -lt 500 ] || fail "run $1: SIG$2 took $took ms to end the game"
    [ ! -s "$WORK/game.err" ] || fail "run $1: SIG$2 said: $(cat "$WORK/game.err")"
}
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$GAME_PID/stat"; }   # user + system, clock ticks

DEPTH=16 start_x
elsewhere; top=$(cd "$DATA/.." && pwd)
for run in 1 2 3 4 5 6 7; do
    case $run in   # the pictures beside the binary, started from the top folder or /tmp
        1) start_game_in "$top" ;;
        5) start_game_in "$ELSEWHERE" ;;
        *) start_game $([ $run = 3 ] && echo --windowed) ;;
    esac
    case $run in
        1|2|5|7) title_then_drive "$run" 0.1 ;;
        *) wait_for is_title "t$run" || fail "run $run: no title screen" ;;
    esac
    case $run in
        1) at_centre 1-drive || fail "car at $(car_at 1-drive), not at the centre"
           press F5; snap f5
           notice_shown f5 || fail "F5 without --car said nothing"
           press Escape ;;
        2) press p; close_window ;;   # while paused
        3) xdotool getwindowgeometry "$(window)" | grep -q 'Geometry: 1024x768' || fail "--windowed: not 1024x768"
           close_window ;;            # on the title screen
        4) press Escape ;;            # on the title screen at start
        5) press q; wait_for is_title q5 || fail "Q did not show the title screen"
           press Escape ;;            # on the title screen after Q
        6) c0=$(cpu_ticks) t0=$(ms); sleep 3
           share=$((($(cpu_ticks) - c0) * 100000 / $(getconf CLK_TCK) / ($(ms) - t0)))
           [ "$share" -lt 10 ] || fail "the idle title screen took $share% of a core"
           signal_ends $run INT 130; continue ;;   # on the title screen
        7) signal_ends $run TERM 143; continue ;;  # driving
    esac
    ends_with 0 "run $run"
done

# failing NAME MESSAGE: status 1 and this one line on stderr, the pictures from $DATA.
failing() {
    start_game --data "$DATA"; wait_exit 10
    [ $? -eq 1 ] || fail "$1: status not 1"
    [ "$(cat "$WORK/game.err")" = "caravelt: $2" ] || fail "$1: said: $(cat "$WORK/game.err")"
}
real=$DATA DATA="$WORK/nocar"; mkdir -p "$DATA" && cp "$real/tarmac.bmp" "$DATA/"
failing "missing sprite" "cannot load \"car/kvtcar.bmp\" (looked in $DATA): No such file or directory"
echo "PASS: seven starts; Escape and close 0, SIGINT 130, SIGTERM 143; idle title ${share}% of a core; a missing picture"
