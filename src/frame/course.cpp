/*
 * frame/course.cpp -- the game's course (--course), read before any
 * window opens, and the ghost of --ghost raced on it.  The drive counts
 * every tick on the course (run/); the present draws it.
 */
#include <cstring>

#include "frame/frame.h"
#include "run/ghost.h"

static course given_course;
static run_drive ghost;

/* What was read for the ghost, for the rule on outputs. */
static std::vector<run_file> read_files;

int read_game_course(void)
{
    char err[512];
    if (game_opts.course && read_course_file(game_opts.course, &given_course, err, sizeof err) != 0)
        return complain(1, "%s", err);
    return 0;
}

void game_given_course(const char **file, const course **track)
{
    *file = game_opts.course;
    *track = game_opts.course ? &given_course : nullptr;
}

int open_game_ghost(const run_drive *d)
{
    if (!d->on_course)
        return complain(2, "--ghost needs --course: a ghost is a lap of a course");
    if (game_opts.replay && !strcmp(game_opts.ghost, "-") && !strcmp(game_opts.replay, "-"))
        return complain(2, "--ghost and --replay cannot both read standard input");
    char err[1024];
    int st = ghost_open(&ghost, game_opts.ghost, &d->track, d->course_file.c_str(), err, sizeof err);
    if (ghost.in.f)
        read_files.push_back({"the ghost", ghost.in.name, ghost.in.id, false});
    if (st != 0)
        return complain(ghost.in.machine_fault ? 1 : 2, "%s", err);
    if (!ghost.car_file.empty())
        read_files.push_back({"the ghost's car file", ghost.car_file, id_of_path(ghost.car_file.c_str()), false});
    return 0;
}

int drive_game_ghost(course_race *race)
{
    char err[1024];
    int st = ghost_drive(&ghost, race, err, sizeof err);
    drive_close(&ghost);
    return st ? complain(2, "%s", err) : 0;
}

void ghost_run_files(std::vector<run_file> *files)
{
    files->insert(files->end(), read_files.begin(), read_files.end());
}
