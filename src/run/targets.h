/*
 * run/targets.h -- a course's target laps: recordings beside its file,
 * in targets/STEM-bronze.rec, STEM-silver.rec and STEM-gold.rec (STEM the
 * course file's name less its extension), each driven headless as a
 * ghost is, its best lap's total the time to beat.
 */
#ifndef CARAVELT_RUN_TARGETS_H
#define CARAVELT_RUN_TARGETS_H

#include <string>
#include <vector>

#include "course/race.h"

/* The targets of course c, read from course_file, slowest first, into
 * *out: the ones there, made on c (by its hash) with a lap completed.
 * One that is there but will not do is left out and said in *note
 * (empty when all did). */
void targets_load(const char *course_file, const course *c, std::vector<course_target> *out, std::string *note);

#endif
