#!/bin/sh
# The version stamp names no commit for sources outside a git checkout, nor the commit of a
# checkout they merely sit inside (a copy unpacked in some other repository: here, a
# folder of this one); in this checkout, its own commit.  Needs STAMP, SOURCE, CMAKE.
set -u
W=$(mktemp -d /tmp/caravelt-stamp-XXXXXX)
trap 'rm -rf "$W"' EXIT
status=0
# stamp FOLDER WANT: the commit line the stamp writes for sources in FOLDER matches WANT.
stamp() {
    "$CMAKE" -DSOURCE="$1" -DOUT="$W/v.cpp" -DVERSION=0.1 -P "$STAMP" >/dev/null
    line=$(grep 'caravelt_commit' "$W/v.cpp")
    echo "$line" | grep -Eq "$2" || { echo "FAIL: $1: $line"; status=1; }
    rm -f "$W/v.cpp"
}
stamp "$W" '"built outside a git checkout: commit unknown"'
stamp "$SOURCE/data" '"built outside a git checkout: commit unknown"'
stamp "$SOURCE" "\"commit $(git -C "$SOURCE" rev-parse --short=12 HEAD)(, with changes not committed)?\""
[ "$status" -eq 0 ] && echo "PASS: the version stamp"
exit "$status"
