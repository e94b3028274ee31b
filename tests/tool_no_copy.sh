#!/bin/sh
# tool_no_copy.sh OBJECT...: caravelt-sim's own objects call the game's
# tick and drawing code and define none of it themselves.
status=0
defined=$(nm -C --defined-only "$@" | awk '{ $1 = ""; $2 = ""; print }')
used=$(nm -C --undefined-only "$@")
for f in 'logic()' 'controls()' 'draw_frame(BITMAP\*)' 'debug(BITMAP\*)' \
         'telemetry_text(' 'dashboard_text(' 'GetTorqueArcade(' 'GetTraction()'; do
    if printf '%s\n' "$defined" | grep -q "^ *$f"; then
        echo "the tool defines $f itself"; status=1
    fi
done
for f in 'logic()' 'draw_frame(BITMAP\*)' 'sim_start()'; do
    if ! printf '%s\n' "$used" | grep -q "$f"; then
        echo "the tool does not call the game's $f"; status=1
    fi
done
[ $status -eq 0 ] && echo "caravelt-sim uses the game's own tick and drawing code"
exit $status
