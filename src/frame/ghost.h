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
 * open_ghost: the recording at path checked whole: its header must name
 * course c by its hash, and a car, the preset or a car file whose
 * parameters still hash as recorded.  drive_ghost: then driven from the
 * course's start as the game drove it, its best lap made race's lap to
 * beat.  The thread's car is left as it was.  Each 0, or 2 after one
 * line on stderr (1 when a pipe's spool cannot be made): a bad line,
 * another course or none, a car not the one recorded, no lap completed.
 * ---------------------------------------------------------------------- */
int open_ghost(const char *path, const course *c);
int drive_ghost(const char *path, course_race *race);

/* The ghost's recording and the car file it names, once read. */
void ghost_run_files(std::vector<run_file> *files);

#endif
