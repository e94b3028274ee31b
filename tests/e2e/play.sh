#!/bin/sh
# One player's session with a car file and a trace: the plain view is caravelt-sim's
# frame; F5 with a good and a broken edit; drive up, Q, Space, R; P, period steps one
# tick, G changes only the chart's panel, P resumes; Escape while paused.
. "$(dirname "$0")/lib.sh"

is_paused() { brighter "$1" 72 20 476 16 0.02 && ! brighter "$1" 72 20 476 16 0.3; }
RESIST=900x10+0+340   # telemetry "TotalResistance": (brake + rolling + drag) / Mass
NOTICE=900x10+0+752   # the reload notice along the foot of the view

# At rest the heading is 0 and 360 on alternate ticks: one of caravelt-sim's frames after
# one or two.  The display and the BMP writer widen 16-bit colour a level apart: 1% fuzz.
car="$WORK/car.toml"; echo 'RollingResistance = 400' >"$car"
for n in 1 2; do
    echo "$n" | "$SIM" --car "$car" --trace /dev/null --frame "$WORK/f$n.bmp" --data "$DATA" || fail "caravelt-sim"
    convert "$WORK/f$n.bmp" "$WORK/f$n.png"
done
start_x
start_game --car "$car" --trace "$WORK/trace.csv"
title_then_drive start
composed() { FUZZ=1% same "$1" f1 || FUZZ=1% same "$1" f2; }
wait_for composed plain || fail "the plain view differs from caravelt-sim's frame ($(FUZZ=1% differ plain f1) pixels)"
at_centre plain || fail "car at $(car_at plain), not at the centre"
is_paused plain && fail "paused before P"

reload() { echo "$1" >"$car"; press F5; snap "$2"; }
reload 'RollingResistance = 800' good
same plain good $RESIST && fail "F5 with a good edit: resistance row unchanged"
same plain good $NOTICE && fail "no notice after a reload"
reload 'RollingResistance = "lots"' broken
same good broken $RESIST || fail "a broken edit changed the car"
same good broken $NOTICE && fail "a broken edit showed no reason"

press a; press Up 1.5; snap up
car_in up 505 519 0 369 || fail "car at $(car_at up), not straight up the screen"
press q; title_then_drive Q
press r; snap reset 0.5
at_centre reset || fail "R left the car at $(car_at reset)"
same plain reset $NOTICE || fail "the notice is still there after three seconds"

xdotool keydown Up; sleep 1; press p; xdotool keyup Up
snap p1
is_paused p1 || fail "no PAUSED sign after P"
snap p2 2
same p1 p2 || fail "the view changed while paused ($(differ p1 p2) pixels)"
before=p2
xdotool keydown Down
for n in 1 2 3; do
    press period; snap "s$n"; snap "t$n" 0.5
    same "$before" "s$n" && fail "period press $n ran no tick"
    same "s$n" "t$n" || fail "ticks ran after period press $n"
    before="t$n"
done
xdotool keyup Down

press g; snap g1
same t3 g1 1024x568+0+0 || fail "G changed the view above the chart's panel"
[ "$(differ t3 g1 1024x200+0+568)" -gt 1000 ] || fail "G drew no chart"
press g; snap g2
same t3 g2 || fail "G twice did not give the plain view back"
set -- $(car_at g2) 0 0; paused_y=$2
press p; snap r1 0.5
is_paused r1 && fail "PAUSED still shown after P again"
set -- $(car_at r1) 0 9999
[ "$2" -lt "$((paused_y - 3))" ] || fail "the car did not move on after P (y $paused_y, then $2)"
press p; press Escape
ends_with 0 "Escape while paused"

# The trace: the accelerator at the top before the first brake (no tick while paused with
# Up let go), then the brake rising on exactly three rows, one per period press.
awk -F, 'NR == 1 { for (i = 1; i <= NF; i++) col[$i] = i; next }
    $col["PedalBrake"] > 0 && n < 4 { b[++n] = $col["PedalBrake"]; if (n == 1) acc = last }
    { last = $col["PedalAccelerator"] }
    END { exit !(acc >= 0.99 && b[1] < b[2] && b[2] < b[3] && b[4] < b[3]) }' "$WORK/trace.csv" \
    || fail "trace: the accelerator let go while paused, or not three ticks of Down, one a press"
echo "PASS: the plain view, F5, drive, Q, R, pause, period, G and the trace"
