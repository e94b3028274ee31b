/*
 * sim/carfile.h -- car files: a car's parameters as a TOML text.
 *
 * One flat table whose keys are the record's field names, spelled as the
 * record spells them.  A file names only the fields it changes; the rest
 * keep the preset's values, so `Mass = 900` alone is a whole car file.
 * `GearReduction` is an array of nine numbers, `DriveTrain` and `GearMax`
 * are integers, every other field takes any number.  Each number is
 * rounded once, from its decimal text, to the field's stored type.
 *
 * Refused: TOML syntax errors, unknown keys, tables, a key given twice,
 * wrong types, NaN, infinities, values out of float (or int) range, and
 * any value outside its field's range (car_field_ranges below): what a
 * car can have, from a kart to a truck, the divisors clear of 0, GearMax
 * within the ratio table's seven forward gears.
 *
 * Kept apart from the tick library: it is the only part of the
 * simulation that reads files or needs the TOML parser.
 */
#ifndef CARAVELT_SIM_CARFILE_H
#define CARAVELT_SIM_CARFILE_H

#include <cstddef>

#include "state.h"

/* The values a field may take, LO to HI inclusive, in UNIT (empty: a pure
 * number); note, when not null, says why the bounds are what they are.
 * For GearReduction the range is each entry's. */
struct car_field_range {
    const char *name;
    double lo, hi;
    const char *unit;
    const char *note;
};

/* Every field's range, in the record's order (CAR_FIELDS); *count of them. */
const car_field_range *car_field_ranges(size_t *count);

/* ----------------------------------------------------------------------
 * read_car_file: the car in the file at path (relative to the current
 * folder): the preset KVT with the fields the file names overwritten.
 * 0 with *out filled, or -1 with *out untouched and one line in err,
 * "PATH:LINE: reason" where the fault has a line, else "PATH: reason".
 * ---------------------------------------------------------------------- */
int read_car_file(const char *path, car *out, char *err, size_t errsize);

/* ----------------------------------------------------------------------
 * car_field_set: one field of *c, named as in a car file or, for an entry
 * of the gear table, "GearReduction[K]" (K 0..8), from decimal text (an
 * integer for the int fields), rounded once and checked as a car file's
 * value is.  0, or -1 with *c untouched and the reason in err, one line
 * with no file ("Mass must be 10 to 100000 kg, not 0").
 * ---------------------------------------------------------------------- */
int car_field_set(car *c, const char *name, const char *text, char *err, size_t errsize);

/* The field car_field_set would set for name: its byte offset in struct
 * car (one per number, so two names of one number have one offset) and
 * whether it takes integers.  0, or -1 with the reason as car_field_set
 * gives it for that name. */
int car_field_find(const char *name, size_t *offset, bool *whole, char *err, size_t errsize);

/* ----------------------------------------------------------------------
 * A car from outside the program's own making (a pickle): car_check, its
 * parameters each within its field's range, as a car file's; and
 * car_state_check, those and its state such as a tick leaves it (a gear
 * within the car's, latches 0 or 1, key masks of the nine keys, the
 * travel memo's sines and cosines those of its angles).  Any float of
 * the state may be anything, NaN included: a car stopped at a fault.  0,
 * or -1 with the first fault in err.
 * ---------------------------------------------------------------------- */
int car_check(const car *c, char *err, size_t errsize);
int car_state_check(const car_state *c, char *err, size_t errsize);

#endif
