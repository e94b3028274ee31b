/*
 * driver/driver.h -- the car drives itself: keys that drive a course's
 * laps clean (every gate in order, never going by one, no cone) and as
 * fast as it can, found in the
 * exact car through run/, as one more caller of run_tick.
 *
 * How it searches.  A closed-loop policy reads the car each tick and
 * presses keys: it steers for a point on the next gate, turning towards
 * the gate after it as it comes near, against an error mixed from where
 * the car travels and where it points; it holds a speed set per gate,
 * giving some up while the heading is far off, brakes above it, and
 * shifts at set engine speeds.  Its numbers (per gate: the point, the
 * speed, where it hands over to the next; overall: the gains, the shift
 * speeds) are searched by the cross-entropy method: each generation
 * draws a population from a Gaussian per number, drives every member
 * from the start state (on a pool's threads), and moves the Gaussian
 * towards the best quarter; when it has shrunk or stalled it restarts,
 * by turns afresh (another way round) and about the best drive so far.
 * A drive is scored first by how far it got (gates passed, then
 * nearness to the next) and, once clean, by its best lap's ticks (the
 * total ticks breaking ties): only the best lap counts, so earlier laps
 * may gather speed for it.  The draws are made and
 * the results reduced in a fixed order, so for a budget of drives the
 * same seed gives the same keys on any number of threads.
 */
#ifndef CARAVELT_DRIVER_DRIVER_H
#define CARAVELT_DRIVER_DRIVER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "course/course.h"
#include "run/threads.h"
#include "sim/state.h"

/* What the policy does with the pedals and the gears. */
enum driver_pedals {
    DRIVER_RACE,    /* its own: the speeds per gate, brakes and shifts searched */
    DRIVER_HOLD,    /* Up while slower than `hold` m/s, nothing else: no brake, no shift */
    DRIVER_COAST,   /* no pedal, no shift: the car rolls on in its gear */
};

/* A drive to find: the car and where it starts, the course, and how many
 * laps are to be done clean. */
struct driver_task {
    const course *track = nullptr;
    car_state start;               /* the car's value at the first tick */
    int laps = 1;                  /* laps to complete, all clean */
    int gates = 0;                 /* not 0: done, instead, once this many gates are passed in
                                      order (the lap's start counted), no cone knocked */
    driver_pedals pedals = DRIVER_RACE;
    double hold = 0;               /* m/s, for DRIVER_HOLD */
    bool standing = false;         /* a standing start: the countdown first, then from the line */
};

/* The task of driving a course from where start-up puts car c on it (or,
 * standing, from the line after the countdown, as the game's time trial
 * does), all its laps (1 when it has no limit). */
driver_task driver_course_task(const course *track, const car *c, bool standing = false);

/* How long to search: `drives` drives when not 0, else `seconds` of
 * wall time (whole generations: the last one may run past it). */
struct driver_budget {
    long drives = 0;
    double seconds = 10;
};

/* Told after each generation: drives done, and the budget's total in the
 * same unit (drives, or for a seconds budget, seconds elapsed and the
 * budget); the best clean lap so far in seconds, or NaN before one.
 * false stops the search there (Ctrl-C): its result is the best so far. */
typedef bool (*driver_progress_fn)(void *ctx, double done, double total, double best_lap_s);

struct driver_how {
    driver_budget budget;
    uint64_t seed = 1;
    run_pool *pool = nullptr;      /* null: the calling thread alone */
    driver_progress_fn progress = nullptr;
    void *ctx = nullptr;
    bool first_clean = false;      /* stop at the first generation that has a clean drive */
};

/* What the best drive found did. */
struct driver_result {
    bool clean = false;            /* every lap done, no gate gone by, no cone knocked in a lap,
                                      no fault */
    int laps_done = 0;             /* laps completed */
    int gates = 0;                 /* gates passed in order, the laps' starts included */
    int cones = 0;                 /* cones knocked in laps */
    bool missed = false;           /* went by its next gate, which ended the drive */
    uint64_t ticks = 0;            /* ticks driven */
    std::vector<uint16_t> keys;    /* one mask a tick, ending with the tick of the last lap */
    std::vector<course_lap> laps;  /* the laps completed, in order */
    course_lap best = {};          /* the one with the least total, when laps_done > 0 */
    double best_total = 0;         /* s, its time plus penalties */
    long drives = 0;               /* drives the search ran */
};

/* ----------------------------------------------------------------------
 * driver_search: the fastest clean drive of t found within how's budget,
 * into *out (the best drive found, clean or not: out->clean says).
 * ---------------------------------------------------------------------- */
void driver_search(const driver_task *t, const driver_how *how, driver_result *out);

/* ----------------------------------------------------------------------
 * Cornering by closed-loop tests, on courses made here (driver/corner):
 * each starts the car from its acceleration run (the sheet's: Up, A at
 * each shift speed) as it was at the first tick at a speed, placed at
 * the course's start and turned to its heading, holding that speed
 * (DRIVER_HOLD), and asks the driver for a clean pass with a fixed
 * budget; the figure is the highest such speed: the run's highest when
 * it passes, else found by halving the run's speeds below it.
 * ---------------------------------------------------------------------- */

/* The circle: a lane 6 m wide round a centre line of 30 m radius, a cone
 * about each 2.5 m along both edges, 16 gates across it, driven
 * clockwise from its leftmost point. */
inline constexpr double CORNER_RADIUS_M = 30;
void corner_circle_course(course *out);

/* The double lane change: an entry lane, an offset lane and an exit lane
 * of cones, a gate across each lane's ends (corner.cpp gives the
 * measures). */
void corner_lane_change_course(course *out);

/* A car's states on its acceleration run, kept at the first tick at each
 * whole km/h (1, 2, ...) it reaches. */
struct corner_run {
    std::vector<car_state> at;     /* at[k]: the first at k + 1 km/h or more */
};

/* The budget of each speed tried: drives, seed 1, the first clean ends it. */
inline constexpr long CORNER_DRIVES = 48;

/* The highest speed (km/h, a whole number: the state's threshold) at
 * which the driver finds a clean pass of `track` from `run`'s state:
 * through every gate once (through), or one lap; 0 when none. */
int corner_speed(const corner_run *run, const course *track, bool through);

#endif
