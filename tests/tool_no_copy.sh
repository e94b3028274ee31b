#!/bin/sh
# tool_no_copy.sh OBJECT...: caravelt-sim's objects define none of the
# game's tick or drawing code and call the game's own.
def=$(nm -C --defined-only "$@") && undef=$(nm -C --undefined-only "$@") || exit 1
for f in 'logic()' 'controls()' 'draw_frame(BITMAP*)' 'telemetry_text(' 'GetTraction()'; do
    printf '%s\n' "$def" | grep -qF " $f" && { echo "the tool defines $f itself"; exit 1; }
done
for f in 'logic()' 'draw_frame(BITMAP*)' 'sim_start()'; do
    printf '%s\n' "$undef" | grep -qF " $f" || { echo "the tool does not call $f"; exit 1; }
done
exit 0
