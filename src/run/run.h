/*
 * run/run.h -- driving one car: the one tick every front end runs.
 *
 * A tick here is the simulation's logic() with what driving adds around
 * it: the keys the tick holds, the car's counting on its course, what a
 * state that stops being a finite number does, and the hooks through
 * which a front end writes the drive down (a recording's keys, a trace's
 * rows).  The game, its ghost, caravelt-sim, the handling sheet, the
 * sweeps, the driver, the fleets and environments of Python and the
 * tools all drive through run_tick; none calls logic() itself.  So a
 * recording counts, halts and traces the same in every one of them.
 *
 * The car is the one in this thread's names (sim/state.h): a front end
 * with many cars brings each in (car_in) before its ticks and puts it
 * back after.  A run_car is what driving keeps of one car besides its
 * state; it is a plain value, one per car, touched by one thread at a
 * time.
 */
#ifndef CARAVELT_RUN_RUN_H
#define CARAVELT_RUN_RUN_H

#include <cstddef>
#include <cstdint>

#include "course/race.h"

/* ----------------------------------------------------------------------
 * What a tick that leaves a state that is not a finite number does: one
 * named choice per front end.  The tick itself is never traced and never
 * counted on the course (the car is nowhere); the variable and the tick
 * are kept (run_car::fault).
 * ---------------------------------------------------------------------- */
enum run_fault_rule {
    RUN_STOP,   /* the drive stops there: caravelt-sim, caravelt.run, the sheet, the driver */
    RUN_HALT,   /* the car halts; the next tick run begins from the start state with the
                   car's parameters (the game waits for R before it runs one live; a replay
                   and the ghost go on at once, as the recorded drive did) */
    RUN_END,    /* the episode ends, terminated: an environment */
    RUN_FLAG,   /* the car is flagged and runs no further tick until it is reset: a fleet */
};

/* ----------------------------------------------------------------------
 * Hooks: what a front end is told as ticks run.  Any may be null.
 *   keys: a tick's keys (the mask the controls read at the start, and
 *         the one read when a title screen inside the tick returned),
 *         for each tick not told before (see run_car::noted);
 *   row:  the tick's number and the state it left, in the thread's
 *         names, for each such tick whose state is finite;
 *   ran:  every tick run whose state is finite, told before or not (the
 *         game's chart samples each, and follows a re-run);
 *   restart: the drive begins again from its first tick (run_restart).
 * ---------------------------------------------------------------------- */
struct run_hooks {
    void (*keys)(void *ctx, unsigned keys, unsigned after) = nullptr;
    void (*row)(void *ctx, uint64_t tick) = nullptr;
    void (*ran)(void *ctx) = nullptr;
    void (*restart)(void *ctx) = nullptr;
    void *ctx = nullptr;
};

/* What driving keeps of one car besides its state. */
struct run_car {
    run_fault_rule rule = RUN_STOP;
    course_race *race = nullptr;   /* the car's laps on a course, or null */
    run_hooks hooks;
    uint64_t tick = 0;             /* ticks run since the drive's first (1 for the first) */
    uint64_t noted = 0;            /* the most `tick` has been: ticks told to the hooks once */
    const char *fault = nullptr;   /* the variable the last tick left not finite, or null */
    float fault_value = 0;         /* what it became (nan, inf, -inf) */
    uint64_t fault_tick = 0;       /* that tick */
};

/* Bits of run_tick's result beyond the course's (COURSE_ bits). */
enum {
    RUN_FAULT = 1u << 8,     /* this tick left a state that is not finite */
    RUN_SKIPPED = 1u << 9,   /* no tick ran: the car stopped at a fault before (not RUN_HALT) */
};

/* Key masks above this hold keys that do not exist. */
enum { RUN_KEYS_MAX = 511 };

/* ----------------------------------------------------------------------
 * run_tick: one tick of the thread's car holding the masks keys (at the
 * start of the controls) and after (when a title screen brought up by Q
 * inside the tick returns, which it does at once), only their nine
 * driving bits.  Then, in order: the keys told to the hooks; the state
 * checked, a fault kept by the rule; the row told; the course counted
 * (race_after_tick, from where the tick found the car).  Returns the
 * course's bits and the RUN_ ones.
 * ---------------------------------------------------------------------- */
unsigned run_tick(run_car *r, unsigned keys, unsigned after);
inline unsigned run_tick(run_car *r, unsigned keys) { return run_tick(r, keys, keys); }

/* run_tick for a car counted on course c in t (timing_after_tick) rather
 * than in a race, r->race null: a fleet's car.  Without a course, c and t
 * null. */
unsigned run_tick_on(run_car *r, const course *c, course_timing *t, unsigned keys);

/* run_tick with the keys read live through reader(read): read 0 at the
 * start of the controls, 1 when the title screen that Q brings up inside
 * the tick, title(), returns.  The game's keyboard and title screen. */
unsigned run_tick_read(run_car *r, unsigned (*reader)(int read), void (*title)(void));

/* Whether r's car may run a tick: not stopped at a fault (a halted car
 * may: it begins again). */
inline bool run_can_tick(const run_car *r) { return !r->fault || r->rule == RUN_HALT; }

/* Why the car stopped, as front ends say it after the tick's number:
 * "Velocity became nan (not a finite number)"; empty when there is no
 * fault. */
void run_fault_text(const run_car *r, char *out, size_t size);

/* r fresh: no tick run, no fault, nothing noted; rule, race and hooks kept. */
void run_begin(run_car *r);

/* ----------------------------------------------------------------------
 * run_restart: the drive begins again from its first tick: the thread's
 * car back to the start state with its parameters (at its course's
 * start, as state_start puts it), the fault cleared, the race counted
 * afresh with the lap given kept (race_again), ticks counted from 1
 * again; the hooks' restart told.  Ticks up to `noted` are run again
 * without being told to keys and row a second time.
 * ---------------------------------------------------------------------- */
void run_restart(run_car *r);

#endif
