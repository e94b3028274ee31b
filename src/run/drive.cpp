/*
 * run/drive.cpp -- a drive from a script or live (see drive.h).
 */
#include "run/drive.h"

#include <cstdio>

#include "run/choose.h"
#include "sim/sim.h"

/* The car and course given, when no header says otherwise. */
static void take_given(run_drive *d, const run_given *g)
{
    d->params = g->params ? *g->params : KVT;
    d->car_file = g->car_file ? g->car_file : "";
    d->on_course = g->course_file != nullptr;
    if (d->on_course)
        d->track = *g->track;
    d->course_file = g->course_file ? g->course_file : "";
    d->standing = d->on_course && g->standing;
}

void drive_live(run_drive *d, const run_given *given)
{
    take_given(d, given);
    d->scripted = false;
}

int drive_open(run_drive *d, const char *path, const run_given *given, char *err, size_t errsize)
{
    if (script_open(&d->in, path, err, errsize) != 0)
        return -1;
    return drive_check(d, given, err, errsize);
}

int drive_check(run_drive *d, const run_given *given, char *err, size_t errsize)
{
    take_given(d, given);
    d->scripted = true;
    if (script_check(&d->in, SCRIPT_SPOOL_MAX, err, errsize) != 0)
        return -1;
    if (replay_car(&d->in, given->car_file, given->params, given->force, &d->params, &d->car_file, err,
                   errsize) != 0)
        return -1;
    course chosen;
    if (replay_course(&d->in, given->course_file, given->track, given->force, &chosen, &d->course_file, err,
                      errsize) != 0)
        return -1;
    d->on_course = !d->course_file.empty();
    if (d->on_course)
        d->track = std::move(chosen);
    if (replay_start(&d->in, given->standing, given->force, &d->standing, err, errsize) != 0)
        return -1;
    if (d->standing && !d->on_course) {
        snprintf(err, errsize, "%s: a standing start is on a course's start gate: it needs --course", d->in.name);
        return -1;
    }
    return 0;
}

/* The script's next stretch into d->now, or its end (or a read that failed). */
static void next_stretch(run_drive *d)
{
    char err[512];
    int r = script_next(&d->in, &d->now, err, sizeof err);
    d->now_line = d->in.line;
    d->used = 0;
    d->playing = r == 1;
    if (r < 0)
        d->failed = err;
}

/* The script from its first tick again. */
static bool rewind_script(run_drive *d)
{
    char err[512];
    d->played = 0;
    d->playing = false;
    if (script_rewind(&d->in, err, sizeof err) != 0) {
        d->failed = err;
        return false;
    }
    next_stretch(d);
    return true;
}

void drive_start(run_drive *d, run_fault_rule rule, const run_hooks &hooks, bool keep_poses)
{
    car_state start;
    car_start(&start, &d->params);
    car_in(&start);
    d->run.rule = rule;
    d->run.hooks = hooks;
    d->run.race = nullptr;
    if (d->on_course) {
        if (d->standing)
            course_start_standing(&d->track);
        else
            course_start(&d->track);
        bool given = d->race.has_given;   /* a ghost's lap, kept */
        course_lap lap = given ? d->race.given : course_lap{};
        std::vector<course_pose> poses = given ? std::move(d->race.given_poses) : std::vector<course_pose>{};
        race_start(&d->race, &d->track, keep_poses, d->standing);
        d->race.has_given = given;
        d->race.given = lap;
        d->race.given_poses = std::move(poses);
        d->run.race = &d->race;
    }
    run_begin(&d->run);
    if (d->scripted)
        rewind_script(d);
}

unsigned drive_tick(run_drive *d)
{
    if (!d->playing || !run_can_tick(&d->run))
        return RUN_SKIPPED;
    unsigned bits = run_tick(&d->run, d->now.keys, d->now.after);
    d->played++;
    d->tick_line = d->now_line;
    if (++d->used == d->now.ticks)
        next_stretch(d);
    return bits;
}

void drive_to_end(run_drive *d, void (*each)(void *ctx, unsigned bits), void *ctx)
{
    for (;;) {
        unsigned bits = drive_tick(d);
        if (bits & RUN_SKIPPED)
            return;
        if (each)
            each(ctx, bits);
    }
}

bool drive_seek(run_drive *d, uint64_t target)
{
    if (target < d->played) {
        run_restart(&d->run);
        if (!rewind_script(d))
            return false;
    }
    while (d->playing && d->played < target && !(drive_tick(d) & RUN_SKIPPED)) {
    }
    return true;
}

void drive_close(run_drive *d)
{
    script_close(&d->in);
    d->playing = false;
}
