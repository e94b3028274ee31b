/*
 * run/drive.h -- a drive: one car, on a course or on none, driven from a
 * driving script or a recording played as a value, or from keys read
 * live.  caravelt-sim, the game (its replay and its live driving),
 * caravelt.run and the ghost each hold one, so that a recording runs the
 * same in all of them: the same car and course by its header
 * (run/choose.h), the same ticks (run/run.h), the same laps.
 *
 * The script is checked whole before the first tick (a file is read
 * again as it plays, a pipe is kept in a spool: drive/script.h), so bad
 * input is refused before anything runs or is written, and memory stays
 * flat however long the script.  A drive can go back to its first tick
 * and run on to any tick (the game's replay viewer): the states shown are
 * the ones the drive had, and what the hooks were told once is not told
 * again.
 */
#ifndef CARAVELT_RUN_DRIVE_H
#define CARAVELT_RUN_DRIVE_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "course/race.h"
#include "drive/script.h"
#include "run/run.h"
#include "sim/state.h"

/* What the front end was given besides the script: --car's file and
 * the car read from it, --course's file and its course, --force.  Null
 * files: none given. */
struct run_given {
    const char *car_file = nullptr;
    const car *params = nullptr;
    const char *course_file = nullptr;
    const course *track = nullptr;
    bool standing = false;   /* --standing-start, or the game's drive on a course */
    bool force = false;
};

struct run_drive {
    /* What it drives: the car and its file ("" the preset), the course
     * and its file ("" none). */
    car params = KVT;
    std::string car_file;
    course track;
    std::string course_file;
    bool on_course = false;
    bool standing = false;         /* a standing start on the course (course/course.h) */
    course_race race;
    run_car run;                   /* what driving keeps of it */

    /* The script, when there is one (scripted), and where it stands: the
     * stretch in use and its ticks used, the ticks played since its
     * start, whether a tick of it is left. */
    bool scripted = false;
    script_in in;
    stretch now = {};
    unsigned long now_line = 0;    /* the script's line of the stretch in use */
    unsigned long tick_line = 0;   /* ... and of the tick run last */
    uint64_t used = 0, played = 0;
    bool playing = false;
    std::string failed;   /* a read that failed as it played (a file changed since) */
};

/* ----------------------------------------------------------------------
 * drive_open: the script at path ("-" standard input) opened and checked
 * whole, and the car and course it runs with chosen by its header and
 * what was given (replay_car, replay_course).  0, or -1 with one line in
 * err: a bad script, a car or course refused; d->in.machine_fault set
 * when it was the machine's failure (a spool that cannot be made).
 * ---------------------------------------------------------------------- */
int drive_open(run_drive *d, const char *path, const run_given *given, char *err, size_t errsize);

/* drive_open for a script already opened into d->in (script_from). */
int drive_check(run_drive *d, const run_given *given, char *err, size_t errsize);

/* A drive with no script: keys come live (run_tick_read on d->car), with
 * the car and course given. */
void drive_live(run_drive *d, const run_given *given);

/* ----------------------------------------------------------------------
 * drive_start: this thread's car in the state start-up leaves with d's
 * car, at its course's start (where R puts it too; with a standing
 * start, on the line in first gear, the countdown begun), nothing counted; the
 * script at its first tick; d->car fresh with this rule and these hooks,
 * counting on d's race (its laps' poses kept when keep_poses, for a
 * ghost to race).  The lap given to beat, if any, is kept.
 * ---------------------------------------------------------------------- */
void drive_start(run_drive *d, run_fault_rule rule, const run_hooks &hooks, bool keep_poses);

/* ----------------------------------------------------------------------
 * drive_tick: the script's next tick run (run_tick with its keys).
 * Returns run_tick's bits, or RUN_SKIPPED when no tick is left (its end,
 * a fault that stops the car, or a read that failed: d->failed).
 * ---------------------------------------------------------------------- */
unsigned drive_tick(run_drive *d);

/* drive_tick until the end, a fault that stops the car, or a read that
 * failed; each tick's bits to each(ctx, bits) when not null. */
void drive_to_end(run_drive *d, void (*each)(void *ctx, unsigned bits) = nullptr, void *ctx = nullptr);

/* ----------------------------------------------------------------------
 * drive_seek: on to the script's tick `target` (its last, if it has
 * fewer): on from where it stands, or, for a target behind, from its
 * first tick again (run_restart, the script rewound).  False when the
 * script cannot be read again (d->failed says why).
 * ---------------------------------------------------------------------- */
bool drive_seek(run_drive *d, uint64_t target);

/* Closes what drive_open opened. */
void drive_close(run_drive *d);

#endif
