#!/bin/sh
# Car files in the game: a bad file stops it before any window; F5 reads
# the file again between ticks, a good edit shows at once, a broken one
# keeps the car, says why for about three seconds and the game runs on.
. "$(dirname "$0")/lib.sh"

car="$WORK/car.toml"

# No display at all: the file is refused before the library is started.
echo 'Mas = 900' >"$car"
(unset DISPLAY; cd "$DATA" && exec "$GAME" --car "$car") 2>"$WORK/bad.err"
status=$?
[ "$status" -eq 1 ] || fail "bad car file: status $status, want 1"
grep -qx "caravelt: $car:1: unknown field \"Mas\" (did you mean \"Mass\"?)" "$WORK/bad.err" \
    || fail "bad car file said: $(cat "$WORK/bad.err")"

# same_strip A B Y: the two screenshots agree on the 10-pixel row at Y
# from the telemetry column to the dashboard (x 0 to 899).
same_strip() {
    [ "$(compare -metric AE -crop 900x10+0+"$3" "$WORK/$1.png" "$WORK/$2.png" null: 2>&1)" = 0 ]
}
RESIST_ROW=340   # telemetry "TotalResistance": (brake + rolling + drag) / Mass
NOTICE_ROW=752   # the reload notice along the foot of the view

start_x
echo 'RollingResistance = 400' >"$car"
start_game --car "$car"
wait_for is_title title || fail "no title screen"
press space
wait_for is_driving before || fail "Space did not leave the title screen"
sleep 0.3
shot before

echo 'RollingResistance = 800   # twice the rolling drag' >"$car"
press F5
sleep 0.3
shot good
same_strip before good "$RESIST_ROW" && fail "F5 with a good edit: resistance row unchanged"
same_strip before good "$NOTICE_ROW" && fail "no notice after a reload"

echo 'RollingResistance = "lots"' >"$car"
press F5
sleep 0.3
shot broken
same_strip good broken "$RESIST_ROW" || fail "a broken edit changed the car"
same_strip good broken "$NOTICE_ROW" && fail "a broken edit showed no reason"

# The game runs on with the car it had: first gear and throttle move it.
press a
press Up 1.5
sleep 0.3
shot drove
set -- $(car_at drove)
[ $# -eq 2 ] && [ "$2" -lt 370 ] || fail "the car did not drive on after a broken reload"
sleep 3
shot later
same_strip before later "$NOTICE_ROW" || fail "the notice is still there after three seconds"

press Escape
wait_exit 5
status=$?
[ "$status" -eq 0 ] || fail "exit status $status after Escape"
echo "PASS: bad car file refused before the window; F5 reloads, a broken edit keeps the car"
