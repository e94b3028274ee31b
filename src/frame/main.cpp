/*
 * frame/main.cpp -- the fixed-step main loop.
 *
 * Each pass: Escape ends the game; then every tick owed is run, back to
 * back, with no cap on the backlog; then one frame.  The simulation thus
 * keeps 100 ticks a second however slow the frames or however long the
 * title screen was up.  A close request (the window's close button,
 * Escape on the title screen, SIGINT or SIGTERM) stops the run between
 * ticks, with no further tick or frame.  Every way out of a started game
 * goes through shut_down(), which closes the recording and the trace.
 * What the ticks recorded is written out between frames.  While paused (P) no tick runs; the period
 * key then runs one tick per press.  While the car is halted on a state
 * that is not finite, ticks wait for R (the ticks owed meanwhile are
 * dropped, as while paused).
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
    if (int st = read_game_course())
        return st;

    if (int st = open_drive_files())
        return st;
    if (int st = run_game_ghost()) {
        abandon_drive_files();
        return st;
    }

    init();
    if (!replaying())
        gamemenu();

    while (!key[KEY_ESC] && !close_requested) {
        hotkeys();
        if (paused && step_asked) {
            step_asked = false;
            if (tick_may_run())
                run_tick();
        }
        while (!paused && tick_owed() && !close_requested) {
            if (!tick_may_run()) {
                tick_drop_owed();
                break;
            }
            run_tick();
            tick_done();
        }
        if (close_requested)
            break;
        graphic();
        write_drive_files(false);
    }

    return shut_down();
}
END_OF_MAIN()
