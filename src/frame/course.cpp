/*
 * frame/course.cpp -- the game's course (--course): read before any
 * window opens, the car put at its start, every tick counted on it, and
 * the race drawn over the driving view.
 */
#include <cstring>

#include "course/race.h"
#include "drive/header.h"
#include "frame.h"
#include "ghost.h"
#include "present/present.h"

static course game_course;
static course_race race;

int read_game_course(void)
{
    if (!game_opts.course)
        return game_opts.ghost ? complain(2, "--ghost needs --course: a ghost is a lap of a course") : 0;
    if (game_opts.ghost && game_opts.replay && !strcmp(game_opts.ghost, "-") && !strcmp(game_opts.replay, "-"))
        return complain(2, "--ghost and --replay cannot both read standard input");
    char err[512];
    if (read_course_file(game_opts.course, &game_course, err, sizeof err) != 0)
        return complain(1, "%s", err);
    race_start(&race, &game_course);
    return game_opts.ghost ? open_ghost(game_opts.ghost, &game_course) : 0;
}

int run_game_ghost(void)
{
    return game_opts.ghost ? drive_ghost(game_opts.ghost, &race) : 0;
}

void start_game_course(void)
{
    if (!game_opts.course)
        return;
    course_start(&game_course);
    view_race = &race;
}

void restart_game_course(void)
{
    if (game_opts.course)
        race_again(&race);
}

void count_course_tick(float x0, float y0)
{
    if (game_opts.course)
        race_after_tick(&race, x0, y0);
}

void course_run_files(std::vector<run_file> *files)
{
    if (game_opts.course)
        files->push_back({"the course file", game_opts.course, id_of_path(game_opts.course), false});
    ghost_run_files(files);
}

uint64_t game_course_hash(void)
{
    return course_hash(&game_course);
}

int check_replay_course(const script_in *replay)
{
    /* A recording made on a course brings it when none is given: the
     * course read from the file its header names, kept here for as long
     * as game_opts.course points into it. */
    static std::string file;
    char err[1024];
    course c;
    int st = replay_course(replay->header, replay->name, game_opts.course, &game_course, game_opts.force,
                           &c, &file, err, sizeof err);
    if (st)
        return complain(st, "%s", err);
    if (!game_opts.course && !file.empty()) {
        game_course = std::move(c);
        game_opts.course = file.c_str();
        race_start(&race, &game_course);
    }
    return 0;
}
