/*
 * python/env.cpp -- an environment's step, reward and observation over a
 * fleet's cars on its course (see env.h).
 */
#include "run/env.h"

#include <cmath>
#include <cstring>
#include <algorithm>
#include <atomic>
#include <limits>

#include "sim/sim.h"

const char *const ENV_OBS_NAMES[ENV_OBS] = {
    "Velocity", "TrueVelocity", "slip", "EngineRev", "Gear",
    "PedalAccelerator", "PedalBrake", "PedalClutch", "DrivingWheelTurning", "KeyHeld",
    "TractionSlip", "heading_sin", "heading_cos", "x", "y",
    "gate_a_ahead", "gate_a_right", "gate_b_ahead", "gate_b_right", "seconds_left",
};

void env_reset(const fleet_cars &f, env_episode *e, size_t i)
{
    fleet_reset_car(f, i);
    f.runs[i].rule = RUN_END;
    e[i] = env_episode{};
}

/* Gates passed in the lap p is timing: the first, and each before the next. */
static int gates_in_lap(const course *c, const course_progress *p)
{
    if (!p->in_lap)
        return 0;
    return p->next_gate == 0 ? (int)c->gates.size() : p->next_gate;
}

bool env_step_part(const env_spec &s, const fleet_cars &f, env_episode *e, size_t i, unsigned action,
                   uint64_t most, env_tally *t, bool first)
{
    const course *c = f.c;
    course_timing *timing = &f.t[i];
    const course_progress *p = &timing->p;
    const env_episode &ep = e[i];
    uint64_t ticks = s.ticks_per_step;
    if (ticks > s.max_ticks - ep.ticks)
        ticks = s.max_ticks - ep.ticks;
    run_car *rc = &f.runs[i];
    fleet_car_in(f, i, first);
    for (uint64_t k = 0; k < most && t->run < ticks && !t->finished && !rc->fault; k++) {
        int gates_before = gates_in_lap(c, p), cones_before = p->in_lap ? p->now.cones : 0;
        unsigned ev = run_tick_on(rc, c, timing, action);
        t->run++;
        if (!(ev & ~(unsigned)RUN_FAULT))
            continue;
        if (ev & (COURSE_LAP_BEGUN | COURSE_GATE | COURSE_LAP_DONE))
            t->gates++;
        if (ev & COURSE_ABANDONED)
            t->gates -= gates_before;
        /* a cone knocked in the tick that begins a lap counts for that lap */
        if (ev & COURSE_CONE)
            t->cones += p->now.cones - (ev & COURSE_LAP_BEGUN ? 0 : cones_before);
        t->finished = (ev & COURSE_FINISHED) != 0;
    }
    fleet_car_out(f, i);
    return t->run >= ticks || t->finished || rc->fault;
}

void env_step_done(const env_spec &s, const fleet_cars &f, env_episode *e, size_t i, const env_tally *t,
                   env_result *r)
{
    env_episode &ep = e[i];
    r->fault = f.runs[i].fault;
    ep.ticks += t->run;
    ep.steps++;
    r->reward = ENV_GATE_REWARD * (double)t->gates
                - ENV_SECOND_COST * ((double)t->run / 100 + (double)t->cones * (double)f.c->penalty);
    r->terminated = t->finished || r->fault;
    r->truncated = ep.ticks >= s.max_ticks || (s.max_steps && ep.steps >= s.max_steps);
    ep.over = r->terminated || r->truncated;
}

void env_step(const env_spec &s, const fleet_cars &f, env_episode *e, size_t i, unsigned action,
              env_result *r)
{
    env_tally t = {};
    env_step_part(s, f, e, i, action, UINT64_MAX, &t, true);
    env_step_done(s, f, e, i, &t, r);
}

/* v (px) on a screen side of `size`: a car may stand a move past an edge
 * until its next tick wraps it.  One side past is taken at once (what
 * fmod gives, exactly); further, fmod. */
static double on_screen(double v, double size)
{
    if (v >= 0 && v < size)
        return v;
    if (v < 0 && v + size >= 0)
        return v + size < size ? v + size : 0;
    if (v >= size && v - size < size)
        return v - size;
    v = std::fmod(v, size);
    if (v < 0)
        v += size;
    return v < size ? v : 0;
}

/* A difference of two places on a screen side of `size`, the short way. */
static double short_way(double d, double size)
{
    return d > size / 2 ? d - size : d < -size / 2 ? d + size : d;
}

/* a - b in degrees, within -180 to 180 (fmod only for a difference of a
 * turn or more, which it leaves as it is below one). */
static double angle_between(double a, double b)
{
    double d = a - b;
    if (!(d > -360 && d < 360))
        d = std::fmod(d, 360.0);
    return d >= 180 ? d - 360 : d < -180 ? d + 360 : d;
}

void env_observe(const env_spec &s, const fleet_cars &f, const env_episode *e, size_t i, float *obs)
{
    const car_motion &k = f.cars[i];
    const course *c = f.c;
    double h = (double)k.AxisAngle * PI8 / 180, hs = std::sin(h), hc = std::cos(h);
    double cx = on_screen(k.x, COURSE_SCREEN_W), cy = on_screen(k.y, COURSE_SCREEN_H);
    const course_gate &g = c->gates[f.t[i].p.next_gate];
    double v[ENV_OBS] = {
        k.Velocity, k.TrueVelocity, angle_between(k.AxisAngle, k.TrueAngle), k.EngineRev, (double)k.Gear,
        k.PedalAccelerator, k.PedalBrake, k.PedalClutch, k.DrivingWheelTurning, (double)k.KeyHeld,
        (double)k.TractionSlip, hs, hc, cx / COURSE_PX_PER_M, cy / COURSE_PX_PER_M,
        0, 0, 0, 0, (double)(s.max_ticks - e[i].ticks) / 100,
    };
    /* the gate's ends along the car (ahead positive) and across it (right positive) */
    const course_point *ends[2] = {&g.a, &g.b};
    for (int j = 0; j < 2; j++) {
        double dx = short_way(ends[j]->x - cx, COURSE_SCREEN_W), dy = short_way(ends[j]->y - cy, COURSE_SCREEN_H);
        v[15 + 2 * j] = (dx * hs - dy * hc) / COURSE_PX_PER_M;
        v[16 + 2 * j] = (dx * hc + dy * hs) / COURSE_PX_PER_M;
    }
    for (int j = 0; j < ENV_OBS; j++)
        obs[j] = (float)v[j];
}

void env_ended(const fleet_cars &f, const env_episode *e, size_t i, env_ending *out)
{
    const course_progress &p = f.t[i].p;
    out->laps_done = p.laps_done;
    out->ticks = (int64_t)e[i].ticks;
    out->best_lap = p.has_best ? course_lap_total(f.c, &p.best) : std::numeric_limits<double>::quiet_NaN();
    out->best_cones = p.has_best ? p.best.cones : 0;
    out->fault = f.runs[i].fault;
}

bool env_step_all(const env_spec &s, const fleet_cars &f, env_episode *e, const uint16_t *actions,
                  env_autoreset mode, uint64_t most, env_tally *tallies, float *obs, float *final_obs,
                  env_vector_result *out)
{
    std::atomic<bool> left{false};
    run_split(f.pool, f.n, fleet_grain(std::min(s.ticks_per_step, most)), [&](size_t first, size_t last) {
        for (size_t i = first; i < last; i++) {
            env_vector_result &v = out[i];
            env_tally &t = tallies[i];
            if (t.done)
                continue;
            if (!t.started) {
                t.started = true;
                v.ended = v.was_reset = false;
                if (mode == ENV_NEXT_STEP && e[i].over) {
                    env_reset(f, e, i);
                    v.was_reset = t.done = true;
                    v.r = env_result{0, false, false, nullptr};
                    env_observe(s, f, e, i, obs + i * ENV_OBS);
                    continue;
                }
            }
            if (!env_step_part(s, f, e, i, actions[i], most, &t, i == first)) {
                left.store(true, std::memory_order_relaxed);
                continue;
            }
            t.done = true;
            env_step_done(s, f, e, i, &t, &v.r);
            v.ended = e[i].over;
            if (v.ended)
                env_ended(f, e, i, &v.ending);
            if (v.ended && mode == ENV_SAME_STEP) {
                env_observe(s, f, e, i, final_obs + i * ENV_OBS);
                env_reset(f, e, i);
            }
            env_observe(s, f, e, i, obs + i * ENV_OBS);
        }
    });
    return !left.load();
}

void env_step_all_abandon(const env_spec &s, const fleet_cars &f, env_episode *e, env_tally *tallies,
                          env_vector_result *out)
{
    for (size_t i = 0; i < f.n; i++)
        if (tallies[i].started && !tallies[i].done)
            env_step_done(s, f, e, i, &tallies[i], &out[i].r);
}
