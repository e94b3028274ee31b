/*
 * sheet/sheet.h -- the handling sheet: a car's figures from three
 * fixed manoeuvres, driven by the game's own tick.
 *
 * Every run starts from the start state with the car's parameters, one
 * logic() a tick, the keys held through the tool's key seam.  Ground
 * speed is TrueVelocity x 3.6 km/h; tick n ends at n / 100 s; distance
 * is the sum of |TrueVelocity| / 100 m after each tick.
 *
 * - Acceleration: Up every tick; A on tick 1, and on any later tick
 *   when the tick before ended in a forward gear below GearMax with
 *   KeyHeld 0 and EngineRev at least the shift speed.  60000 ticks.
 * - Braking: the acceleration run to its first tick at 100 km/h or more,
 *   then Down alone until TrueVelocity is 0 or less (at most 60000).
 * - Steering: the acceleration run to its first tick at 50 km/h or more,
 *   then 100 ticks of Up and Right.
 */
#ifndef CARAVELT_SHEET_SHEET_H
#define CARAVELT_SHEET_SHEET_H

#include <cstdio>

#include "sim/state.h"

enum {
    SHEET_RUN_TICKS = 60000,    /* ten minutes, either run */
    SHEET_STEER_TICKS = 100,    /* one second at full lock */
};

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
};

/* ----------------------------------------------------------------------
 * sheet_measure: the three runs of car c, shifting at shift_rpm.  When
 * runs is not null, the ground speed of every tick of the acceleration
 * and braking runs goes there as CSV rows "NAME,accel|brake,TIME,KMH".
 * Leaves the simulation state as the last run left it.
 * ---------------------------------------------------------------------- */
void sheet_measure(const car *c, double shift_rpm, sheet_figures *f,
                   FILE *runs = nullptr, const char *name = "");

/* The name a column shows: the file's name without folder and
 * extension ("cars/light.toml" is "light"). */
void sheet_column_name(const char *path, char *out, size_t size);

/* The Markdown table: a header row with the n names, then one row per
 * figure, in the order and with the labels of the sheet; "-" where a
 * figure was never reached. */
void sheet_print(FILE *out, const char *const *names, const sheet_figures *f, int n);

#endif
