/*
 * python/run.h -- a driving script run from the start state, its trace
 * kept as rows in memory: what caravelt-sim writes, as numbers.
 *
 * Read first, whole, and only then run, so a bad line is refused before
 * any tick and the rows can be made in one block of the right size.
 */
#ifndef CARAVELT_PYTHON_RUN_H
#define CARAVELT_PYTHON_RUN_H

#include <cstdint>
#include <cstdio>
#include <vector>

#include "course/course.h"
#include "rows.h"
#include "script.h"

/* ----------------------------------------------------------------------
 * script_read: every stretch of the script in `in` (messages name it
 * `name`) into *out, their ticks summed in *ticks.  0, or -1 with
 * "NAME:LINE: fault" (or the read error) in err.
 * ---------------------------------------------------------------------- */
int script_read(FILE *in, const char *name, std::vector<stretch> *out, uint64_t *ticks,
                char *err, size_t errsize);

/* ----------------------------------------------------------------------
 * script_drive: the car with these parameters, from the start state (at
 * course c's start, unless c is null), through the stretches, on this
 * thread; rows[k] is the trace row of tick k + 1 (as many rows as
 * script_read counted ticks).
 * ---------------------------------------------------------------------- */
void script_drive(const car *params, const course *c, const std::vector<stretch> &script,
                  trace_row *rows);

#endif
