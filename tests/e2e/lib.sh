# Shared by the end-to-end tests: a private Xvfb, the game started in it,
# keys held with xdotool, screenshots read with ImageMagick.
#
# Needs: GAME (the caravelt binary), DATA (its data folder), WORK (a
# scratch folder).  DEPTH may set the X screen depth (default 24).

set -u
DEPTH=${DEPTH:-24}
XVFB_PID=""
GAME_PID=""

fail() { echo "FAIL: $*" >&2; exit 1; }

# A failing test must not hang: the game is killed outright.
cleanup() {
    [ -n "$GAME_PID" ] && kill -KILL "$GAME_PID" 2>/dev/null
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
    wait 2>/dev/null
}
trap cleanup EXIT

# start_x: Xvfb on the first free display from 50 on, ready for clients.
start_x() {
    n=50
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 "1024x768x$DEPTH" -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 100); do
        xdotool getdisplaygeometry >/dev/null 2>&1 && return 0
        sleep 0.05
    done
    fail "Xvfb did not start on $DISPLAY"
}

# start_game [OPTION...]: the game from its data folder, output to $WORK/game.err.
start_game() {
    (cd "$DATA" && exec "$GAME" "$@") >"$WORK/game.out" 2>"$WORK/game.err" &
    GAME_PID=$!
}

# press KEY [SECONDS]: hold long enough for the library's 10 ms polling.
press() {
    xdotool keydown "$1"
    sleep "${2:-0.2}"
    xdotool keyup "$1"
}

shot() { import -window root "$WORK/$1.png" || fail "no screenshot"; }

# mean_in IMAGE W H X Y: mean brightness 0..1 of a region.
mean_in() {
    convert "$WORK/$1.png" -crop "$2x$3+$4+$5" +repage -colorspace Gray -format "%[fx:mean]" info:
}

# is_title IMAGE: almost all black, white text in the heading's place.
is_title() {
    awk -v all="$(mean_in "$1" 1024 768 0 0)" -v head="$(mean_in "$1" 320 8 300 50)" \
        'BEGIN { exit !(all < 0.05 && head > 0.1) }'
}

# is_driving IMAGE: light tarmac around the corners.
is_driving() {
    awk -v m="$(mean_in "$1" 60 60 960 700)" 'BEGIN { exit !(m > 0.4) }'
}

# car_at IMAGE: "x y", the centre of the car's red pixels in the middle
# band of the screen (x 362 to 661), or nothing.
car_at() {
    convert "$WORK/$1.png" -crop 300x768+362+0 -depth 8 txt:- | awk -F'[(),: ]+' '
        NR > 1 && $3 > 150 && $4 < 100 && $5 < 100 { sx += $1; sy += $2; n++ }
        END { if (n > 50) printf "%d %d\n", 362 + sx / n, sy / n }'
}

# wait_for CONDITION IMAGE: screenshots until the condition holds (5 s).
wait_for() {
    for _ in $(seq 50); do
        shot "$2"
        "$1" "$2" && return 0
        sleep 0.1
    done
    return 1
}

# wait_exit SECONDS: the game's exit status, or fail if it is still running.
wait_exit() {
    for _ in $(seq $(($1 * 10))); do
        if ! kill -0 "$GAME_PID" 2>/dev/null; then
            wait "$GAME_PID"
            status=$?
            GAME_PID=""
            return $status
        fi
        sleep 0.1
    done
    fail "the game did not exit within $1 s"
}
