# Shared by the end-to-end tests: a private Xvfb, the game started in it,
# keys held with xdotool, screenshots read with ImageMagick.  Needs GAME,
# DATA (its data folder), WORK (scratch); DEPTH sets the screen depth.
set -u
XVFB_PID="" GAME_PID="" ELSEWHERE=""   # killed or removed on exit: a failing test never hangs
fail() { echo "FAIL: $*" >&2; exit 1; }
trap '{ [ -z "$GAME_PID" ] || kill -KILL "$GAME_PID"; [ -z "$XVFB_PID" ] || kill "$XVFB_PID"; wait
        [ -z "$ELSEWHERE" ] || rm -rf "$ELSEWHERE"; } 2>/dev/null' EXIT
ms() { echo $(($(date +%s%N) / 1000000)); }   # the time in milliseconds
# elsewhere: an empty folder under /tmp, far from the build and the data, in $ELSEWHERE.
elsewhere() { ELSEWHERE=$(mktemp -d /tmp/caravelt-e2e-XXXXXX) || fail "no folder in /tmp"; }

# Xvfb on a display it picks itself (no race with other test runs).
start_x() {
    Xvfb -displayfd 3 -screen 0 "1024x768x${DEPTH:-24}" -nolisten tcp 3>"$WORK/display" >"$WORK/xvfb.log" 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 100); do [ -s "$WORK/display" ] && break; sleep 0.05; done
    export DISPLAY=":$(cat "$WORK/display")"
    xdotool getdisplaygeometry >/dev/null 2>&1 || fail "Xvfb did not start: $(cat "$WORK/xvfb.log")"
}
# start_game [OPTION...]: from its data folder, stderr in $WORK/game.err; start_game_in
# FOLDER [OPTION...] from another; run_in FOLDER COMMAND: a command line (a recording's) there.
start_game_in() { dir=$1; shift; (cd "$dir" && exec "$GAME" "$@") >"$WORK/game.out" 2>"$WORK/game.err" & GAME_PID=$!; }
start_game() { start_game_in "$DATA" "$@"; }
run_in() { (cd "$1" && eval "exec $2") >"$WORK/game.out" 2>"$WORK/game.err" & GAME_PID=$!; }
# press KEY [SECONDS]: held long enough for the library's 10 ms polling.
press() { xdotool keydown "$1"; sleep "${2:-0.2}"; xdotool keyup "$1"; }
shot() { import -window root "$WORK/$1.png" || fail "no screenshot"; }
# snap NAME [SECONDS]: a screenshot once the frames have caught up.
snap() { sleep "${2:-0.3}"; shot "$1"; }
# brighter IMAGE W H X Y LIMIT: the region's mean brightness (0..1) is above LIMIT.
brighter() {
    m=$(convert "$WORK/$1.png" -crop "$2x$3+$4+$5" +repage -colorspace Gray -format "%[fx:mean]" info:)
    awk -v m="$m" -v l="$6" 'BEGIN { exit !(m > l) }'
}
# differ A B [CROP]: pixels that differ, each channel within FUZZ.
differ() { convert "$WORK/$1.png" "$WORK/$2.png" ${3:+-crop "$3" +repage} miff:- \
    | compare ${FUZZ:+-fuzz "$FUZZ"} -metric AE - null: 2>&1 | cut -d' ' -f1; }
same() { [ "$(differ "$@")" -eq 0 ]; }
# The title: almost all black, white text where the heading is.  The
# driving view: light tarmac in the bottom-right corner.
is_title() { ! brighter "$1" 1024 768 0 0 0.05 && brighter "$1" 320 8 300 50 0.1; }
is_driving() { brighter "$1" 60 60 960 700 0.4; }
# The notice strip along the foot: white where the tarmac is grey.
notice_shown() { brighter "$1" 100 5 0 748 0.95; }
# car_at IMAGE: "x y", the centre of the car's red pixels in the band x 362 to 661, or nothing.
car_at() {
    convert "$WORK/$1.png" -crop 300x768+362+0 -depth 8 rgb:- | od -An -v -tu1 -w3 | awk '
        $1 > 150 && $2 < 100 && $3 < 100 { sx += (NR - 1) % 300; sy += int((NR - 1) / 300); n++ }
        END { if (n > 50) printf "%d %d\n", 362 + sx / n, sy / n }'
}
# car_in IMAGE X0 X1 Y0 Y1: the car within these bounds (at_centre: within 7 px of 512, 384).
car_in() {
    p=$(car_at "$1"); set -- $p "$2" "$3" "$4" "$5"
    [ $# -eq 6 ] && [ "$1" -ge "$3" ] && [ "$1" -le "$4" ] && [ "$2" -ge "$5" ] && [ "$2" -le "$6" ]
}
at_centre() { car_in "$1" 505 519 377 391; }
# wait_for CONDITION IMAGE: screenshots until the condition holds (5 s).
wait_for() { for _ in $(seq 50); do shot "$2"; "$1" "$2" && return; sleep 0.1; done; return 1; }
# title_then_drive NAME [SECONDS]: the title screen shows, Space leaves it.
title_then_drive() {
    wait_for is_title "$1-title" || fail "$1: no title screen"
    press space "${2:-0.2}"
    wait_for is_driving "$1-drive" || fail "$1: Space did not leave the title screen"
}
# wait_exit SECONDS: returns the game's exit status; fails if it still runs.
wait_exit() {
    for _ in $(seq $(($1 * 10))); do
        kill -0 "$GAME_PID" 2>/dev/null || { wait "$GAME_PID"; s=$?; GAME_PID=""; return $s; }
        sleep 0.1
    done
    fail "the game did not exit within $1 s"
}
# ends_with STATUS WHAT: the game exits within 5 s with STATUS.
ends_with() { wait_exit 5; s=$?; [ "$s" -eq "$1" ] || fail "exit status $s after $2, want $1"; }
