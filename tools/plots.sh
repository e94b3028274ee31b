#!/bin/sh
# plots.sh [SIM]: remakes the guides' pictures with caravelt-sim (default
# build/caravelt-sim), from the top of the source tree:
#   docs/driving.png  the driving view after docs/driving.txt (--frame)
#   docs/gears.png    speed, engine speed and gear over docs/gears.txt
#   docs/course.png   the autocross course as the game draws it after its
#                     script (--course, --frame), with the line of the
#                     quicker lap (--laps, --trace) drawn over it
# The frames' pictures are found as caravelt-sim finds them: from here,
# the data folder beside the binary.
set -eu
sim=${1:-build/caravelt-sim}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

"$sim" --trace /dev/null --frame "$tmp/driving.bmp" docs/driving.txt
convert "$tmp/driving.bmp" -strip docs/driving.png   # -strip: no timestamps, same bytes each time

"$sim" --trace "$tmp/gears.csv" docs/gears.txt
gnuplot -e "trace='$tmp/gears.csv'; out='docs/gears.png'" tools/gears.gp
# The line of the best lap: the car's centre after each tick from the one
# that began it to the one that ended it, broken where it wraps.
"$sim" --course data/courses/autocross.toml --laps "$tmp/laps.csv" --trace "$tmp/course.csv" \
    --frame "$tmp/course.bmp" docs/courses/autocross.txt
set -- $(awk -F, 'NR > 1 && (best == "" || $6 < best) { best = $6; from = $2; to = $2 + $3 } END { print from, to }' "$tmp/laps.csv")
awk -F, -v from="$1" -v to="$2" '
    NR > 1 && $1 >= from && $1 <= to {
        if (n && (($2 - px) ^ 2 > 512 ^ 2 || ($3 - py) ^ 2 > 384 ^ 2)) { if (n > 1) print "polyline" line; line = ""; n = 0 }
        line = line sprintf(" %.1f,%.1f", $2, $3); n++; px = $2; py = $3
    }
    END { if (n > 1) print "polyline" line }' "$tmp/course.csv" >"$tmp/line.mvg"
convert "$tmp/course.bmp" -fill none -stroke "#1060ff" -strokewidth 2 -draw "$(cat "$tmp/line.mvg")" -strip docs/course.png
echo "made docs/driving.png, docs/gears.png and docs/course.png"
