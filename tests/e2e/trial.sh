#!/bin/sh
# A time trial in the game, on a small course of its own: a circle of two gates driven with Up
# and Right held from the countdown on (so the lap is the keys' whatever the timing of xdotool).
# The first start holds the car on the line through the countdown, ends its one lap with the
# result, keeps it as the best in the XDG folder, and records it: its laps and trace are
# caravelt-sim's and caravelt.run's.  The second start races that best as a pale ghost, seen
# ahead while the car waits; its recording names the ghost, and its replay shows it again.
. "$(dirname "$0")/lib.sh"

export XDG_DATA_HOME="$WORK/xdg"
cat >"$WORK/circle.toml" <<'EOF'
name = "Circle"
start = { x = 4.0, y = 47.0, heading = 90.0 }
laps = 1
[[gate]]
a = [14.0, 44.0]
b = [14.0, 50.0]
[[gate]]
a = [13.0, 51.0]
b = [13.0, 57.0]
EOF
# red_at IMAGE: "x y", the centre of the car's red pixels near the start (x 60 to 259), or nothing.
red_at() {
    convert "$WORK/$1.png" -crop 200x160+60+400 -depth 8 rgb:- | od -An -v -tu1 -w3 | awk '
        $1 > 150 && $2 < 100 && $3 < 100 { sx += (NR - 1) % 200; sy += int((NR - 1) / 200); n++ }
        END { if (n > 50) printf "%d %d\n", 60 + sx / n, 400 + sy / n }'
}
# on_line IMAGE: the car stands on the start gate's middle, (140, 470).
on_line() { p=$(red_at "$1"); set -- $p; [ $# -eq 2 ] && [ "$1" -ge 132 ] && [ "$1" -le 148 ] && [ "$2" -ge 462 ] && [ "$2" -le 478 ]; }
# ghost_px IMAGE W H X Y: the pixels in the box of the ghost's pale blue (blue well over red).
ghost_px() {
    convert "$WORK/$1.png" -crop "$2x$3+$4+$5" -depth 8 rgb:- | od -An -v -tu1 -w3 \
        | awk '$3 > $1 + 35 && $2 > $1 + 15 { n++ } END { print n + 0 }'
}
# The result: a black box over the middle of the view, where the tarmac is light.
is_result() { ! brighter "$1" 300 60 362 354 0.2; }
# ghost_ahead IMAGE: the ghost at the bottom of the circle, where it passes some 2.5 s into the
# lap, while the car waits on the line.
ghost_ahead() { [ "$(ghost_px "$1" 100 70 100 490)" -gt 300 ]; }
# wait_long CONDITION IMAGE: as wait_for, for 15 s.
wait_long() { for _ in $(seq 150); do shot "$2"; "$1" "$2" && return; sleep 0.1; done; return 1; }

start_x
start_game_in "$WORK" --windowed --course circle.toml --record first.rec --trace first.csv
wait_for is_title title || fail "no title screen"
brighter title 300 40 400 578 0.02 || fail "the title names no course keys"
press space
wait_for is_driving count || fail "Space did not leave the title screen"
xdotool keydown Up keydown Right
snap held 0.5
on_line held || fail "the car left the line during the countdown ($(red_at held))"
wait_long is_result result || fail "no result after the lap"
xdotool keyup Up keyup Right
press Escape
ends_with 0 "Escape after the result"
best=$(ls "$XDG_DATA_HOME"/caravelt/best/*.rec 2>/dev/null)
[ -f "$best" ] || fail "no best kept in $XDG_DATA_HOME/caravelt/best"
grep -q '^# start: standing$' "$WORK/first.rec" || fail "the recording does not say its standing start"

# The recording's laps and trace in caravelt-sim and Python; the best kept is the same lap.
(cd "$WORK" && "$SIM" --laps sim-laps.csv --trace sim.csv first.rec) || fail "caravelt-sim refused the recording"
cmp "$WORK/sim.csv" "$WORK/first.csv" || fail "caravelt-sim's trace of the recording is not the game's"
[ "$(sed -n 2p "$WORK/sim-laps.csv" | cut -d, -f1-3)" = "1,300,505" ] \
    || fail "the lap is not the keys' from the countdown's end: $(sed -n 2p "$WORK/sim-laps.csv")"
(cd "$WORK" && "$SIM" --laps best-laps.csv --trace /dev/null "$best") || fail "caravelt-sim refused the best kept"
cmp "$WORK/best-laps.csv" "$WORK/sim-laps.csv" || fail "the best kept is not the lap driven"
python=$(dirname "$SIM")/python
if [ -d "$python/caravelt" ]; then
    last=$(tail -1 "$WORK/sim.csv" | cut -d, -f1-3)
    py=$(cd "$WORK" && PYTHONPATH="$python" /usr/bin/python3 -c '
import pathlib, caravelt
r = caravelt.run(pathlib.Path("first.rec"))[-1]
print("%d,%.9g,%.9g" % (r["tick"], r["x"], r["y"]))') || fail "caravelt.run refused the recording"
    [ "$py" = "$last" ] || fail "caravelt.run ends at $py, caravelt-sim at $last"
fi

# The second start races the best: the car waits 3 s past the countdown with the wheel at
# lock, while the ghost goes round ahead of it to the bottom of the circle.
start_game_in "$WORK" --windowed --course circle.toml --record second.rec
wait_for is_title title2 || fail "no title screen the second time"
press space
wait_for is_driving count2 || fail "Space did not leave the title screen the second time"
xdotool keydown Right
wait_long ghost_ahead ghost || fail "no ghost ahead of the waiting car ($(ghost_px ghost 100 70 100 490) pixels)"
xdotool keyup Right
[ "$(ghost_px count2 100 70 100 490)" -lt 100 ] || fail "a ghost before the lap began"
press Escape
ends_with 0 "Escape racing the best"
grep -q "^# ghost: $best, hash [0-9a-f]\{16\}\$" "$WORK/second.rec" || fail "the recording does not name its ghost"

# Its replay brings the ghost it was raced against, by the header.
n=$(awk '!/^#/ { n += $1 } END { print n }' "$WORK/second.rec")
start_game_in "$WORK" --windowed --replay second.rec
wait_for is_driving replay || fail "the replay: no driving view"
wait_long ghost_ahead replayed || fail "the replay shows no ghost ($(ghost_px replayed 100 70 100 490) pixels; $n ticks)"
press Escape
ends_with 0 "Escape in the replay"
echo "PASS: held on the line through the countdown, the lap kept as the best and timed alike everywhere; raced as a ghost, named by the recording, seen again in its replay"
