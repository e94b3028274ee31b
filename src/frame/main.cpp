/*
 * frame/main.cpp -- the fixed-step main loop.
 *
 * Each pass: Escape ends the game; then every tick owed is run, back to
 * back, with no cap on the backlog; then one frame.  The simulation thus
 * keeps 100 ticks a second however slow the frames or however long the
 * title screen was up.  What the ticks recorded is written out between
 * frames, and the files are closed at the one way out.
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

    if (int st = open_drive_files())
        return st;

    init();
    if (!replaying())
        gamemenu();

    while (!key[KEY_ESC] && !close_requested) {
        hotkeys();
        while (tick_owed() && !close_requested) {
            run_tick();
            tick_done();
        }
        graphic();
        write_drive_files(false);
    }

    int status = close_drive_files();
    destroy_bitmap(buffer);
    return status;
}
END_OF_MAIN()
