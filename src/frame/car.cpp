/*
 * frame/car.cpp -- the game's car: the file of --car, or the one a
 * replay's header names, read before any window opens, loaded at
 * start-up, reloaded with F5 between two ticks.
 */
#include <cstdio>

#include "drive/header.h"
#include "frame.h"
#include "sim/carfile.h"

/* The car as last read well, and its file ("" for the preset). */
static car game_car = KVT;
static std::string game_car_file;

int read_game_car(void)
{
    char err[512];
    if (read_car_file(game_opts.car, &game_car, err, sizeof err) != 0)
        return complain(1, "%s", err);
    game_car_file = game_opts.car;
    return 0;
}

int replay_game_car(const std::string &header, const char *name)
{
    char err[1024];
    car given = game_car;
    if (replay_car(header, name, game_opts.car, &given, game_opts.force, &game_car, &game_car_file,
                   err, sizeof err) != 0)
        return complain(2, "%s", err);
    return 0;
}

const char *game_car_path(void)
{
    return game_car_file.empty() ? nullptr : game_car_file.c_str();
}

void load_game_car(void)
{
    load_car(&game_car);
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
    game_car = c;
    load_car(&game_car);
    snprintf(text, sizeof text, "%s: reloaded", game_opts.car);
    say_on_screen(NOTICE_PASSING, text);
}
