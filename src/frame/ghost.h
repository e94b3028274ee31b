/*
 * frame/ghost.h -- --ghost: the best lap of a recording made on the
 * course, run headless at start-up with the recording's own car.
 */
#ifndef CARAVELT_FRAME_GHOST_H
#define CARAVELT_FRAME_GHOST_H

#include <vector>

#include "course/race.h"
#include "drive/files.h"

/* ----------------------------------------------------------------------
 * read_ghost: the recording at path checked whole (its header must name
 * race's course by its hash, and a car: the preset, or a car file whose
 * parameters still hash as recorded), then driven from the course's start
 * as the game drove it; its best lap becomes race's lap to beat.  The
 * thread's car is left as it was.  0, or 2 after one line on stderr (1
 * when its spool cannot be made): a bad line, another course or none, a
 * car that is not the recorded one, no lap completed.
 * ---------------------------------------------------------------------- */
int read_ghost(const char *path, course_race *race);

/* The ghost's recording and the car file it names, once read. */
void ghost_run_files(std::vector<run_file> *files);

#endif
