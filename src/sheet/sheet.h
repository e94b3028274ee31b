/*
 * sheet/sheet.h -- the handling sheet: a car's figures from three
 * fixed manoeuvres, driven by the game's own tick.
 *
 * Every run starts from the start state with the car's parameters, one
 * run_tick a tick (run/run.h), the keys held.  Ground speed is
 * TrueVelocity x 3.6 km/h; tick n ends at n / 100 s; distance is the sum
 * of |TrueVelocity| / 100 m after each tick.
 *
 * - Acceleration: Up every tick; A on tick 1, and on any later tick
 *   when the tick before ended in a forward gear below GearMax with
 *   KeyHeld 0 and EngineRev at least the shift speed.  60000 ticks.
 * - Braking: the acceleration run to its first tick at 100 km/h or more,
 *   then Down alone until TrueVelocity is 0 or less (at most 60000).
 * - Steering: the acceleration run to its first tick at 50 km/h or more,
 *   then 100 ticks of Up and Right.
 *
 * The car runs as a value on the calling thread's names, so threads
 * measure cars side by side.
 */
#ifndef CARAVELT_SHEET_SHEET_H
#define CARAVELT_SHEET_SHEET_H

#include <cstddef>
#include <cstdio>

#include "course/course.h"
#include "sim/state.h"

enum {
    SHEET_RUN_TICKS = 60000,    /* ten minutes, either run */
    SHEET_STEER_TICKS = 100,    /* one second at full lock */
};

/* Drives the lap search makes per car by default (some seconds of one core). */
enum { SHEET_LAP_DRIVES = 3000 };

/* Engine speed at which the acceleration run shifts up, rev/min. */
inline constexpr double SHEET_SHIFT_DEFAULT = 6000;

/* One car's figures.  A tick number of 0 is "never within the run". */
struct sheet_figures {
    long t50, t100;       /* first tick at 50, at 100 km/h or more */
    long t400;            /* first tick with 400 m covered */
    double v400;          /* km/h at t400 */
    double top;           /* km/h, highest of the acceleration run */
    int top_gear;         /* Gear at the first tick at that speed */
    long brake_ticks;     /* ticks from the first braking tick to the stop; 0 never */
    double brake_m;       /* m covered in those ticks */
    bool steered;         /* the steering run ran (50 km/h was reached) */
    double yaw;           /* deg turned in its 100 ticks, each change within -180..180 */
    double slip;          /* deg, largest |AxisAngle - TrueAngle| within 0..180 */
    long driven;          /* ticks driven, all runs: the rest were taken from loops */
    int circle_kmh;       /* highest steady speed round the 30 m circle; 0 none */
    int lane_kmh;         /* highest entry speed through the double lane change; 0 none */
    bool lapped;          /* with a course: the best drive found completed a lap */
    bool lap_clean;       /* ... and every lap, no cone */
    double lap_s;         /* s, its best lap's total */
    int lap_cones;        /* cones its drive knocked (it stops at the first) */
    char fault[200];      /* not empty: a run's state stopped being finite, so no figure */
};

/* The runs that report their ticks. */
enum sheet_run { SHEET_ACCEL, SHEET_BRAKE };

/* Told of every tick of the acceleration run, then of every tick of the
 * braking run (its first part, the acceleration run's, included): the
 * tick's number from the start of the run and TrueVelocity after it. */
typedef void (*sheet_tick_fn)(void *ctx, sheet_run run, long tick, float true_velocity);

struct sheet_how {
    double shift_rpm = SHEET_SHIFT_DEFAULT;
    sheet_tick_fn tick = nullptr;   /* none: figures only */
    void *ctx = nullptr;
    /* Every tick driven, no loop taken as repeating: the reference the
     * shortcut is checked against. */
    bool full = false;
    /* The closed-loop cornering tests (driver/driver.h). */
    bool corners = true;
    /* A course: the best lap the driver finds on it in lap_drives drives. */
    const course *track = nullptr;
    long lap_drives = SHEET_LAP_DRIVES;
    uint64_t lap_seed = 1;
};

/* ----------------------------------------------------------------------
 * sheet_measure: the three runs of car c into *f, on this thread's names
 * (which hold the last run's car afterwards).
 *
 * The braking and steering runs start from the acceleration run's car
 * as it was at their first tick, kept as a value, not driven there
 * again.  A run whose state (place aside) comes back to one it had a few
 * ticks before, under the same keys, repeats that loop to its end (see
 * car_same_state): its remaining ticks are taken from the loop, in order,
 * so every figure and every reported tick is what driving them gives,
 * to the bit.  Runs that never settle are driven to the end.
 *
 * A tick whose state is not finite ends the measuring: f->fault says
 * which run, tick and variable, and that tick is not reported.
 * ---------------------------------------------------------------------- */
void sheet_measure(const car *c, const sheet_how *how, sheet_figures *f);

/* A sheet_tick_fn writing CSV rows "NAME,accel|brake,TIME,KMH" to a
 * FILE; ctx is a sheet_runs_file. */
struct sheet_runs_file {
    FILE *out;
    const char *name;
};
void sheet_runs_row(void *ctx, sheet_run run, long tick, float true_velocity);

/* The figures in the sheet's order, each with the table's label and the
 * CSV's column name (the unit after the last underscore). */
enum { SHEET_FIGURES = 13, SHEET_LAP_FIGURES = 2 };
extern const char *const SHEET_LABELS[SHEET_FIGURES];
extern const char *const SHEET_COLUMNS[SHEET_FIGURES];
/* With a course, these follow them. */
extern const char *const SHEET_LAP_LABELS[SHEET_LAP_FIGURES];
extern const char *const SHEET_LAP_COLUMNS[SHEET_LAP_FIGURES];

/* Figure i of f as the sheet prints it ("21.79"), or false with out
 * empty when it was never reached or the car's state stopped being
 * finite; i past SHEET_FIGURES for the lap's. */
bool sheet_figure_text(const sheet_figures *f, int i, char *out, size_t size);

/* The name a column shows: the file's name without folder and
 * extension ("cars/light.toml" is "light"). */
void sheet_column_name(const char *path, char *out, size_t size);

/* The Markdown table: a header row with the n names, then one row per
 * figure, in the order and with the labels of the sheet; "-" where a
 * figure was never reached.  A car whose state stopped being finite has
 * "-" throughout, and a line under the table says where and why. */
void sheet_print(FILE *out, const char *const *names, const sheet_figures *f, int n, bool lap = false);

#endif
