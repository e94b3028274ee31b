/*
 * run/ghost.h -- a lap to race: the best lap of a recording made on the
 * course, driven headless with the recording's own car, as the game
 * drove it (a halted car begins again from the start state).
 */
#ifndef CARAVELT_RUN_GHOST_H
#define CARAVELT_RUN_GHOST_H

#include <cstddef>

#include "course/race.h"
#include "run/drive.h"

/* ----------------------------------------------------------------------
 * ghost_open: the recording at path checked whole into g: its header
 * must name course c by its hash (course_name: how the refusal names c),
 * and a car, the preset or a car file whose parameters still hash as
 * recorded.  A driving script that is no recording is taken too when
 * plain_car is given (the car file's name, "" for the preset, and its
 * car): driven with that car from the course's start, as caravelt-sim
 * --course drives it.  0, or -1 with one line in err
 * (g->in.machine_fault: the machine's failure): a bad line, another
 * course or none, a car not the one recorded.
 * ---------------------------------------------------------------------- */
int ghost_open(run_drive *g, const char *path, const course *c, const char *course_name, char *err,
               size_t errsize, const char *plain_file = nullptr, const car *plain_car = nullptr);

/* ----------------------------------------------------------------------
 * ghost_drive: g driven to its end from the course's start, its best lap
 * made race's lap to beat (race->given and its poses).  This thread's
 * car is left as it was.  0, or -1 with one line in err: a read that
 * failed, no lap completed.
 * ---------------------------------------------------------------------- */
int ghost_drive(run_drive *g, course_race *race, char *err, size_t errsize);

#endif
