/*
 * run/ghost.cpp -- a recording's best lap on a course, to race (see ghost.h).
 */
#include "run/ghost.h"

#include <cinttypes>
#include <cstdio>

#include "drive/header.h"
#include "run/choose.h"

int ghost_open(run_drive *g, const char *path, const course *c, const char *course_name, char *err,
               size_t errsize, const char *plain_file, const car *plain_car)
{
    g->scripted = true;
    if (script_open(&g->in, path, err, errsize) != 0 || script_check(&g->in, SCRIPT_SPOOL_MAX, err, errsize) != 0)
        return -1;
    std::string course_file;
    uint64_t hash = 0;
    int line = header_course(&g->in, &course_file, &hash, err, errsize);
    if (line < 0)
        return -1;
    if (line == 0 && plain_car && !header_is_recording(g->in.header)) {
        g->params = *plain_car;
        g->car_file = plain_file ? plain_file : "";
        g->track = *c;
        g->course_file = course_name;
        g->on_course = true;
        g->standing = false;
        return 0;
    }
    if (line == 0) {
        snprintf(err, errsize, "%s: not a recording made on a course: a ghost is a lap recorded with --course",
                 path);
        return -1;
    }
    if (hash != course_hash(c)) {
        snprintf(err, errsize, "%s: recorded on the course %s (hash %s); this course is %s (hash %s): a ghost "
                 "is a lap of the course raced", path, shell_word(course_file.c_str()).c_str(), hex16(hash).c_str(),
                 shell_word(course_name).c_str(), hex16(course_hash(c)).c_str());
        return -1;
    }
    if (recorded_car(&g->in, &g->params, &g->car_file, err, errsize) != 0
        || replay_start(&g->in, false, false, &g->standing, err, errsize) != 0)
        return -1;
    g->track = *c;
    g->course_file = course_file;
    g->on_course = true;
    return 0;
}

int ghost_drive(run_drive *g, course_race *race, char *err, size_t errsize)
{
    car_state kept;
    car_out(&kept);
    car_in_force(&kept.params);
    drive_start(g, RUN_HALT, run_hooks{}, true);
    drive_to_end(g);
    car_in(&kept);
    if (!g->failed.empty()) {
        snprintf(err, errsize, "%s", g->failed.c_str());
        return -1;
    }
    if (!g->race.p.has_best) {
        snprintf(err, errsize, "%s: no lap of the course completed: no ghost to race", g->in.name);
        return -1;
    }
    race->has_given = true;
    race->given = course_lap_of(&g->race.p, COURSE_BEST);
    race->given_poses = std::move(g->race.p.kept->best_poses);
    return 0;
}
