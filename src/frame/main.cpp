/*
 * frame/main.cpp -- the fixed-step main loop.
 *
 * Each pass: Escape ends the game; then every tick owed is run, back to
 * back, with no cap on the backlog; then one frame.  The simulation thus
 * keeps 100 ticks a second however slow the frames or however long the
 * title screen was up.
 */
#include <allegro.h>

#include "frame.h"
#include "present/present.h"
#include "sim/sim.h"
#include "ticks.h"

int main(int argc, char **argv)
{
    if (int st = parse_game_options(argc, argv))
        return st;
    if (game_opts.help) {
        print_usage(stdout);
        return 0;
    }
    if (game_opts.car && read_game_car() != 0)
        return 1;

    init();
    gamemenu();

    while (!key[KEY_ESC] && !close_requested) {
        hotkeys();
        while (tick_owed() && !close_requested) {
            logic();
            tick_done();
        }
        graphic();
    }

    destroy_bitmap(buffer);
    return 0;
}
END_OF_MAIN()
