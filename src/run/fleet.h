/*
 * run/fleet.h -- many cars as values, run tick by tick with their own
 * key masks, split over threads.
 *
 * Each car is brought into the running thread's names for its ticks and
 * put back after (state_in, car_out; its parameters loaded only when the
 * thread may not hold them already), so a car drives exactly as it would
 * alone, whichever thread runs it and whatever runs beside it.  Every
 * tick is run_tick's, with the fleet's rule for a state that stops being
 * finite: the car is flagged there (its run_car's fault) and runs no
 * further tick until it is reset.  Only the nine driving bits of a mask
 * are held.
 *
 * With a course, each car has its own timing on it (course_timing: its
 * progress, and the split and laps its timing screen shows), counted
 * after each of its ticks from where the tick found the car, as the game
 * and caravelt-sim count: R after the last lap begins the laps again.  A
 * fleet keeps no lap's splits or poses (a car's 2.4 kB and more), so it
 * has no ghost and compares no gate's split with the lap to beat.  The
 * course is only read, so threads share it.  Without one, `c` and `t`
 * are null.
 */
#ifndef CARAVELT_RUN_FLEET_H
#define CARAVELT_RUN_FLEET_H

#include <cstddef>
#include <cstdint>

#include "course/race.h"
#include "run/rows.h"
#include "run/run.h"
#include "run/threads.h"

/* Cars of `ticks` ticks each that make a part worth a thread of its own. */
size_t fleet_grain(uint64_t ticks);

/* The cars of a fleet (their states; their parameters apart, once for
 * all when they share them), what driving keeps of each, their timings
 * on its course (c null: none), and the threads they run on. */
struct fleet_cars {
    car_motion *cars;
    const car *params;   /* params[0] for every car when one_setup, else params[i] car i's */
    run_car *runs;
    size_t n;
    const course *c;
    course_timing *t;
    run_pool *pool;
    bool one_setup;   /* every car has the parameters of the first: they are loaded once a block */
};

inline const car *fleet_params(const fleet_cars &f, size_t i) { return &f.params[f.one_setup ? 0 : i]; }

/* Car i into this thread's names (fleet_car_out: back), its parameters
 * only when the thread may not hold them already: the first car of a
 * block, or any car of a fleet of several setups. */
inline void fleet_car_in(const fleet_cars &f, size_t i, bool first)
{
    if (first || !f.one_setup)
        load_car(fleet_params(f, i));
    state_in(&f.cars[i]);
}
inline void fleet_car_out(const fleet_cars &f, size_t i) { car_out(&f.cars[i]); }

/* ----------------------------------------------------------------------
 * fleet_step: `ticks` ticks of each car, car i holding keys[i] (keys[0]
 * for every car when all_same).
 * ---------------------------------------------------------------------- */
void fleet_step(const fleet_cars &f, const uint16_t *keys, bool all_same, uint64_t ticks);

/* ----------------------------------------------------------------------
 * fleet_rollout: ticks first .. first + count - 1 of a block of T ticks a
 * car: car i holds keys[i * T + t] in its tick t, and out[i * T + t] is
 * its state after that tick (a flagged car's rows repeat the state it
 * stopped in).
 * ---------------------------------------------------------------------- */
void fleet_rollout(const fleet_cars &f, const uint16_t *keys, size_t T, size_t first, size_t count,
                   state_row *out);

/* Car i in the state start-up leaves with its own parameters; on a
 * course, at its start (where R puts it too), with nothing counted; its
 * fault cleared. */
void fleet_reset_car(const fleet_cars &f, size_t i);

/* The cars at `which` (k indices below n) reset so. */
void fleet_reset(const fleet_cars &f, const size_t *which, size_t k);

/* ----------------------------------------------------------------------
 * Laps: what car i has done on the course, as one packed record (a row of
 * the fleet's laps array).  Ticks are 0.01 s; a lap not there (none
 * completed, none in progress) has 0 ticks and a total of NaN.
 * ---------------------------------------------------------------------- */
#define LAPS_COLUMNS(X)                                                              \
    X(int32_t, laps_done)      /* laps completed */                                  \
    X(bool, in_lap)            /* a lap is being timed */                            \
    X(int32_t, next_gate)      /* the gate that counts next, 0 the start (also outside a lap) */ \
    X(int64_t, lap_ticks)      /* ticks of the lap in progress so far */             \
    X(int32_t, lap_cones)      /* cones it has knocked */                            \
    X(int64_t, last_ticks)     /* the last lap completed */                          \
    X(int32_t, last_cones)                                                           \
    X(double, last_total)      /* s: its time plus the penalty per cone */           \
    X(int32_t, best_lap)       /* the number of the lap with the least total, 0 none */ \
    X(int64_t, best_ticks)                                                           \
    X(int32_t, best_cones)                                                           \
    X(double, best_total)                                                            \
    X(bool, finished)          /* the course's last lap is done */                   \
    X(int64_t, ticks)          /* ticks counted since the start or a reset */

/* Packed, 74 bytes a car rather than 104: numpy reads the columns where
 * they lie, and a fleet of a million cars keeps one row each. */
#define LAPS_MEMBER(type, name) type name;
struct __attribute__((packed)) laps_row {
    LAPS_COLUMNS(LAPS_MEMBER)
};
#undef LAPS_MEMBER

/* rows[k] takes car k's laps, for every car of f. */
void fleet_laps(const fleet_cars &f, laps_row *rows);

/* Whether car i stopped at a fault, and why: "tick 26: Velocity became
 * nan (not a finite number)" (the tick counted from its start or reset). */
inline bool fleet_faulted(const fleet_cars &f, size_t i) { return f.runs[i].fault != nullptr; }
void fleet_fault_text(const fleet_cars &f, size_t i, char *out, size_t size);

#endif
