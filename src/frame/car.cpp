/*
 * frame/car.cpp -- the game's car: the file of --car, read before any
 * window opens, reloaded with F5 between two ticks.  (A replay may drive
 * the car its header names instead: the drive's choice, run/choose.h.)
 */
#include <cstdio>

#include "frame/frame.h"
#include "sim/carfile.h"

/* The car of --car as last read well. */
static car given_car = KVT;

int read_game_car(void)
{
    char err[512];
    if (read_car_file(game_opts.car, &given_car, err, sizeof err) != 0)
        return complain(1, "%s", err);
    return 0;
}

void game_given_car(const char **file, const car **params)
{
    *file = game_opts.car;
    *params = game_opts.car ? &given_car : nullptr;
}

/* ----------------------------------------------------------------------
 * reload_game_car: the file read again; a good one replaces the
 * parameter variables only (position, speeds, angles, pedals and gear
 * stay), a bad one changes nothing and its reason shows for about three
 * seconds.  Without --car, or while recording or replaying, it says why
 * it does nothing.
 * ---------------------------------------------------------------------- */
void reload_game_car(void)
{
    if (game_opts.record || game_opts.replay) {
        /* A recording holds keys only: a car changed under it would not
         * replay to the same drive.  Asked first: a replay may have its
         * car from the recording's header, not from --car. */
        say_on_screen(NOTICE_PASSING, "F5 is off while recording or replaying: the drive would not replay the same");
        return;
    }
    if (!game_opts.car) {
        say_on_screen(NOTICE_PASSING, "F5 reads the --car file again: this game was started without --car");
        return;
    }
    char err[512], text[600];
    car c;
    if (read_car_file(game_opts.car, &c, err, sizeof err) != 0) {
        say_on_screen(NOTICE_PASSING, err);
        return;
    }
    given_car = c;
    load_car(&given_car);
    snprintf(text, sizeof text, "%s: reloaded", game_opts.car);
    say_on_screen(NOTICE_PASSING, text);
}
