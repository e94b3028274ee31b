#!/bin/sh
# The game's file options refused before any window (status 2 for usage, 1 for a file
# that fails), one line, no file made or changed; a good command line fails for want of X
# and leaves every file as it was.  (Outputs on inputs: test_files.)
set -u
W=$(mktemp -d /tmp/caravelt-refusals-XXXXXX)
trap 'rm -rf "$W"' EXIT
cd "$W" || exit 1
unset DISPLAY
printf '1 A\n3 Upp\n' >bad.rec; printf '10 Up\n' >good.rec; echo 'Mas = 900' >bad.toml; echo "keep me" >old.csv
mkdir bin && cp "$GAME" bin/caravelt
status=0
files="bad.rec bad.toml bin err.txt good.rec old.csv "
# check STATUS MESSAGE ARG...: status, the one line, nothing new or changed.
check() {
    want=$1 msg=$2; shift 2
    "$GAME" "$@" 2>err.txt
    got=$?
    if [ "$got" -ne "$want" ] || [ "$(cat err.txt)" != "caravelt: $msg" ] || [ "$(cat old.csv)" != "keep me" ] \
        || [ "$(ls | tr '\n' ' ')" != "$files" ]; then
        echo "FAIL: $*: status $got, said: $(cat err.txt); files: $(ls | tr '\n' ' ')"; status=1
    fi
}
check 2 "missing.rec: No such file or directory" --replay missing.rec
check 2 "bad.rec:2: unknown key \"Upp\" (did you mean \"Up\"?)" --replay bad.rec --trace new.csv
check 1 "bad.toml:1: unknown field \"Mas\" (did you mean \"Mass\"?)" --car bad.toml
check 1 "cannot write the recording \"no/such/dir.rec\": No such file or directory" --trace new.csv --record no/such/dir.rec
check 1 "cannot write the trace \"no/such.csv\": No such file or directory" --record old.csv --trace no/such.csv
# A copy of the game with no pictures beside it, started where there are none either.
real=$GAME GAME=bin/caravelt
check 1 "cannot find the pictures tarmac.bmp and car/kvtcar.bmp: not in $W nor in $W/bin/data (--data DIR names their folder)" --windowed
GAME=$real
# Accepted, then the display is what fails: the old trace is not emptied, the new recording not left behind.
check 1 "cannot start the Allegro library: no display to open (DISPLAY is not set)" --record new.rec --trace old.csv --replay good.rec
[ "$status" -eq 0 ] && echo "PASS: refusals before the window"
exit "$status"
