/*
 * frame/car.cpp -- the game's car file: read before any window opens,
 * loaded at start-up, reloaded with F5 between two ticks.
 */
#include <cstdio>

#include "frame.h"
#include "sim/carfile.h"

/* The car as last read well from game_opts.car. */
static car game_car;

int read_game_car(void)
{
    char err[512];
    if (read_car_file(game_opts.car, &game_car, err, sizeof err) != 0)
        return complain(1, "%s", err);
    return 0;
}

void load_game_car(void)
{
    if (game_opts.car)
        load_car(&game_car);
}

/* ----------------------------------------------------------------------
 * reload_game_car: the file read again; a good one replaces the
 * parameter variables only (position, speeds, angles, pedals and gear
 * stay), a bad one changes nothing and its reason shows for about three
 * seconds.  Nothing without --car.
 * ---------------------------------------------------------------------- */
void reload_game_car(void)
{
    if (!game_opts.car)
        return;
    if (game_opts.record || game_opts.replay) {
        /* A recording holds keys only: a car changed under it would not
         * replay to the same drive. */
        say_on_screen(NOTICE_PASSING, "F5 is off while recording or replaying: the drive would not replay the same");
        return;
    }
    char err[512], text[600];
    car c;
    if (read_car_file(game_opts.car, &c, err, sizeof err) != 0) {
        say_on_screen(NOTICE_PASSING, err);
        return;
    }
    game_car = c;
    load_car(&game_car);
    snprintf(text, sizeof text, "%s: reloaded", game_opts.car);
    say_on_screen(NOTICE_PASSING, text);
}
