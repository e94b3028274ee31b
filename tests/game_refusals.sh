#!/bin/sh
# The game's file options refused before any window (status 2 for usage, 1 for a file
# that fails), one line, no file made or changed; a good command line fails for want of X.
set -u
W=$(mktemp -d /tmp/caravelt-refusals-XXXXXX)
trap 'rm -rf "$W"' EXIT
cd "$W" || exit 1
unset DISPLAY
printf '1 A\n3 Upp\n' >bad.rec; printf '10 Up\n' >good.rec; echo 'Mas = 900' >bad.toml; echo "keep me" >old.csv
ln -s old.csv link.csv
status=0
# check STATUS MESSAGE ARG...: status, the one line, nothing new or changed.
check() {
    want=$1 msg=$2; shift 2
    "$GAME" "$@" 2>err.txt
    got=$?
    if [ "$got" -ne "$want" ] || [ "$(cat err.txt)" != "caravelt: $msg" ] || [ "$(cat old.csv)" != "keep me" ] \
        || [ "$(ls | tr '\n' ' ')" != "bad.rec bad.toml err.txt good.rec link.csv old.csv " ]; then
        echo "FAIL: $*: status $got, said: $(cat err.txt); files: $(ls | tr '\n' ' ')"; status=1
    fi
}
same="the recording and the trace are the same file"
check 2 "$same \"new.rec\"" --record new.rec --trace ./new.rec
check 2 "$same \"old.csv\"" --record old.csv --trace "$W/old.csv"
check 2 "$same \"link.csv\"" --record link.csv --trace old.csv
check 2 "the recording would overwrite the replay \"good.rec\"" --replay good.rec --record ./good.rec
check 2 "the trace would overwrite the replay \"link.csv\"" --replay link.csv --trace old.csv
check 2 "missing.rec: No such file or directory" --replay missing.rec
check 2 "bad.rec:2: unknown key \"Upp\"" --replay bad.rec --trace new.csv
check 1 "bad.toml:1: unknown field \"Mas\" (did you mean \"Mass\"?)" --car bad.toml
check 2 "option --record needs a value (FILE)" --trace new.csv --record
check 1 "cannot write the recording \"no/such/dir.rec\": No such file or directory" --trace new.csv --record no/such/dir.rec
check 1 "cannot write the trace \"no/such.csv\": No such file or directory" --record old.csv --trace no/such.csv
# Accepted: the files are made, then the display is what fails.
"$GAME" --record new.rec --trace new.csv --replay good.rec 2>err.txt
[ $? -eq 1 ] && [ -f new.rec ] && [ -f new.csv ] \
    && [ "$(cat err.txt)" = "caravelt: cannot start the Allegro library: no display to open (DISPLAY is not set)" ] \
    || { echo "FAIL: a good command line: $(cat err.txt)"; status=1; }
[ "$status" -eq 0 ] && echo "PASS: refusals before the window"
exit "$status"
