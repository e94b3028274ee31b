/*
 * sheet/sweep.h -- the handling sheet over a grid of setups of one car.
 *
 * Each axis of the grid is one field and its values FROM + i x STEP, for
 * i = 0, 1, ... while they do not pass TO, worked out exactly in decimal
 * (0.7:1.3:0.3 is 0.7, 1.0, 1.3); each value reaches the car through
 * car_field_set, rounded once to the field's type as a car file's value
 * is.  Several axes make their product, the first varying slowest: the
 * index of a setup counts through the grid in that order.
 *
 * The output is CSV: "index", the axes' fields, the sheet's figures
 * (SHEET_COLUMNS, and SHEET_LAP_COLUMNS with a course) and "fault", then one row per setup in index order;
 * each value as its decimal text, each figure as the sheet prints it,
 * empty when never reached.  A setup whose state stopped being finite
 * has every figure empty and the reason, quoted, as its fault (else
 * empty).  The bytes are the same whatever the number of threads.
 */
#ifndef CARAVELT_SHEET_SWEEP_H
#define CARAVELT_SHEET_SWEEP_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "sheet/sheet.h"

/* The largest grid: ten million setups (some four hours of one core). */
inline constexpr long SWEEP_SETUPS_MAX = 10000000;

/* Decimals of FROM, TO and STEP: at most this many digits in all, so
 * that every value of the axis is an exact 64-bit count of its last
 * decimal place. */
enum { SWEEP_DIGITS_MAX = 18 };

struct sweep_axis {
    std::string field;   /* as car_field_set names it: "Mass", "GearReduction[3]" */
    size_t offset;       /* of its number in struct car (car_field_find) */
    int64_t from, step;  /* in units of the last decimal place */
    int places;          /* decimal places every value is printed with */
    long count;          /* values, at least 1 */
};

struct sweep_grid {
    car base;                       /* what the axes leave as it is */
    std::vector<sweep_axis> axes;   /* the first varies slowest */
    long setups = 1;                /* the product of the axes' counts */
};

/* ----------------------------------------------------------------------
 * sweep_add_axis: "NAME=FROM:TO:STEP" as a further axis of g, every value
 * checked on g's base car as a car file's value is.  0, or -1 with g as
 * it was and one line in err: not that form, a number that is not a
 * plain decimal, an unknown field, a fraction for an integer field, STEP
 * 0 or pointing away from TO, a field already varied, a value a car
 * file would refuse ("at Mass=0: ..."), or a grid past SWEEP_SETUPS_MAX.
 * ---------------------------------------------------------------------- */
int sweep_add_axis(sweep_grid *g, const char *text, char *err, size_t errsize);

/* Value i of a as its decimal text ("1.0"). */
void sweep_value_text(const sweep_axis *a, long i, char *out, size_t size);

/* The car of setup index of g. */
void sweep_setup(const sweep_grid *g, long index, car *out);

/* Which setups run, and how. */
struct sweep_how {
    int threads = 1;
    long shard = 0, shards = 1;   /* the setups whose index modulo shards is shard */
    double shift_rpm = SHEET_SHIFT_DEFAULT;
    const course *track = nullptr;   /* the best lap on it as two more figures */
    long lap_drives = SHEET_LAP_DRIVES;
    /* Told, from whichever thread printed them, how many rows are out of
     * how many the shard has; null: not told. */
    void (*progress)(void *ctx, long done, long total) = nullptr;
    void *ctx = nullptr;
};

/* ----------------------------------------------------------------------
 * sweep_print: the header, then the row of each setup of the shard, in
 * index order.  Threads take setups in turn and measure each as a car
 * value on their own names; each row goes out, flushed, as soon as it
 * and every row before it are done.  0, or the errno of the first failed
 * write (no setup is taken after it).
 * ---------------------------------------------------------------------- */
int sweep_print(const sweep_grid *g, const sweep_how *how, FILE *out);

#endif
