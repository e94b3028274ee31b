/*
 * run/env.h -- a car on a course as a learning agent's environment:
 * what it sees, what it earns, when its episode ends.
 *
 * An action is a key mask held for `ticks_per_step` ticks.  The episode
 * is terminated by the tick that completes the course's last lap (or one
 * that leaves the state not finite), truncated by the tick that reaches
 * `max_ticks`; the step ends there, with the ticks left of it unrun.
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
};

/* One car's episode, beside its state and its progress on the course. */
struct env_episode {
    uint64_t ticks;            /* run since the reset */
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

/* Car i's observation into obs[0 .. ENV_OBS). */
void env_observe(const env_spec &s, const fleet_cars &f, const env_episode *e, size_t i, float *obs);

/* ----------------------------------------------------------------------
 * env_step_all: one step of every car, car i holding actions[i], on up to
 * `threads` threads; obs (n x ENV_OBS) and the results after it.  A car
 * whose episode ends is reset in the same step: final_obs has the
 * observation it ended on and ended[i] is set, obs the first of its next
 * episode; other cars' final_obs rows are 0.
 * ---------------------------------------------------------------------- */
void env_step_all(const env_spec &s, const fleet_cars &f, env_episode *e, const uint16_t *actions,
                  float *obs, env_result *r, float *final_obs, bool *ended);

#endif
