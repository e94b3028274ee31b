/*
 * run/env.h -- a car on a course as a learning agent's environment:
 * what it sees, what it earns, when its episode ends.
 *
 * An action is a key mask held for `ticks_per_step` ticks.  The episode
 * is terminated by the tick that completes the course's last lap (or one
 * that leaves the state not finite), truncated by the tick that reaches
 * `max_ticks` (the step ends there, with the ticks left of it unrun) or by
 * the step that reaches `max_steps`.
 *
 * The reward of a step sums its ticks':
 *   + ENV_GATE_REWARD for each gate passed in order (the first gate that
 *     begins a lap included, so a lap of g gates earns g);
 *   - ENV_GATE_REWARD for each gate of a lap abandoned by R (so R earns
 *     nothing back);
 *   - ENV_SECOND_COST per second driven (a tick is 0.01 s) and per
 *     second of penalty a knocked cone costs on the course.
 * So a lap's reward is its gates less ENV_SECOND_COST times its total.
 *
 * A tick that leaves the car's state not finite ends the episode,
 * terminated (the environment's rule for it, run.h).  Worked out in
 * double from the car's floats; the observation is rounded once to
 * float.
 */
#ifndef CARAVELT_RUN_ENV_H
#define CARAVELT_RUN_ENV_H

#include <cstddef>
#include <cstdint>

#include "run/fleet.h"

inline constexpr double ENV_GATE_REWARD = 1.0;   /* a gate passed in order */
inline constexpr double ENV_SECOND_COST = 0.1;   /* a second driven, or of a cone's penalty */

/* The observation: ENV_OBS floats, named in ENV_OBS_NAMES, in order:
 *   Velocity, TrueVelocity (m/s), slip (deg, AxisAngle - TrueAngle within
 *   -180 to 180), EngineRev (rev/min), Gear, PedalAccelerator, PedalBrake,
 *   PedalClutch, DrivingWheelTurning, KeyHeld, TractionSlip,
 *   heading_sin, heading_cos (of AxisAngle), x, y (m, on the screen),
 *   the next gate's ends a and b from the car (m ahead, m to the right;
 *   each end the short way across the screen's edges), and the seconds
 *   left before the episode is truncated. */
enum { ENV_OBS = 20 };
extern const char *const ENV_OBS_NAMES[ENV_OBS];

/* How the environments of one fleet step. */
struct env_spec {
    uint64_t ticks_per_step;   /* 1 or more */
    uint64_t max_ticks;        /* an episode's ticks at most, 1 or more */
    uint64_t max_steps;        /* an episode's steps at most; 0: no limit but max_ticks */
};

/* One car's episode, beside its state and its progress on the course. */
struct env_episode {
    uint64_t ticks;            /* run since the reset */
    uint64_t steps;            /* steps taken since the reset */
    bool over;                 /* terminated or truncated */
};

/* What one step of one car gave. */
struct env_result {
    double reward;
    bool terminated, truncated;
    const char *fault;         /* the variable that stopped being finite, or null */
};

/* Car i of f (which has a course) afresh: at the course's start, nothing
 * counted, no tick run. */
void env_reset(const fleet_cars &f, env_episode *e, size_t i);

/* One step of car i, holding `action` (a mask, 0 to 511). */
void env_step(const env_spec &s, const fleet_cars &f, env_episode *e, size_t i, unsigned action,
              env_result *r);

/* A step run in parts, so that a caller can look at Ctrl-C between them:
 * env_step_part runs at most `most` more of its ticks, counting into *t
 * (zeroed before the first part), true once the step is done; then
 * env_step_done gives its result (also of a step left unfinished). */
struct env_tally {
    long gates, cones;     /* passed in order (less a lap abandoned); knocked that count */
    uint64_t run;          /* ticks run */
    bool finished;         /* the course's last lap done */
    bool started, done;    /* (env_step_all's) */
};
bool env_step_part(const env_spec &s, const fleet_cars &f, env_episode *e, size_t i, unsigned action,
                   uint64_t most, env_tally *t, bool first);   /* first: the first car of a block */
void env_step_done(const env_spec &s, const fleet_cars &f, env_episode *e, size_t i, const env_tally *t,
                   env_result *r);

/* Car i's observation into obs[0 .. ENV_OBS). */
void env_observe(const env_spec &s, const fleet_cars &f, const env_episode *e, size_t i, float *obs);

/* What an episode came to, for the info of the step that ends it: its
 * laps completed, its ticks, its best lap's total (s, time and cone
 * penalties; NaN without one) and cones, and the variable that stopped
 * being finite when that ended it (or null). */
struct env_ending {
    int32_t laps_done;
    int64_t ticks;
    double best_lap;
    int32_t best_cones;
    const char *fault;
};
void env_ended(const fleet_cars &f, const env_episode *e, size_t i, env_ending *out);

/* When a vector of environments resets one whose episode has ended: on
 * its next step, with that step's action unused (the default of the
 * usual learning libraries), or in the step that ended it. */
enum env_autoreset { ENV_NEXT_STEP, ENV_SAME_STEP };

/* What one vector step gave each car, beside its observation. */
struct env_vector_result {
    env_result r;
    bool ended;            /* this step ended its episode: ending holds what it came to */
    bool was_reset;        /* next step: reset now, the action unused (reward 0, no end) */
    env_ending ending;
};

/* ----------------------------------------------------------------------
 * env_step_all: one step of every car, car i holding actions[i], split
 * over f's pool, at most `most` ticks of each car's in this call
 * (tallies zeroed before the first, kept between calls): true once every
 * car's step is done, obs (n x ENV_OBS) after it.  ENV_NEXT_STEP: a car whose
 * episode ended in the step before is reset instead (was_reset), its obs
 * the first of its next episode.  ENV_SAME_STEP: a car whose episode ends
 * is reset in the same step, final_obs then holding the observation it
 * ended on (rows of other cars are left as they were), obs the first of
 * its next episode.
 * ---------------------------------------------------------------------- */
bool env_step_all(const env_spec &s, const fleet_cars &f, env_episode *e, const uint16_t *actions,
                  env_autoreset mode, uint64_t most, env_tally *tallies, float *obs, float *final_obs,
                  env_vector_result *out);

/* The step env_step_all left unfinished (Ctrl-C) ended where it stands:
 * each car's ticks run so far counted into its episode. */
void env_step_all_abandon(const env_spec &s, const fleet_cars &f, env_episode *e, env_tally *tallies,
                          env_vector_result *out);

#endif
