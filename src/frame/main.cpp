/*
 * frame/main.cpp -- the fixed-step main loop.
 *
 * Each pass: Escape ends the game; then every tick owed is run, back to
 * back, with no cap on the backlog; then one frame.  The simulation thus
 * keeps 100 ticks a second however slow the frames or however long the
 * title screen was up.  A close request (the window's close button,
 * Escape on the title screen, SIGINT or SIGTERM) stops the run between
 * ticks, with no further tick or frame.  Every way out of a started game
 * goes through shut_down().
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
        if (close_requested)
            break;
        graphic();
    }

    return shut_down();
}
END_OF_MAIN()
