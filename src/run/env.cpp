/*
 * python/env.cpp -- an environment's step, reward and observation over a
 * fleet's cars on its course (see env.h).
 */
#include "run/env.h"

#include <cmath>
#include <cstring>

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

void env_step(const env_spec &s, const fleet_cars &f, env_episode *e, size_t i, unsigned action,
              env_result *r)
{
    const course *c = f.c;
    course_race *race = &f.r[i];
    const course_progress *p = &race->p;
    env_episode &ep = e[i];
    uint64_t ticks = s.ticks_per_step;
    if (ticks > s.max_ticks - ep.ticks)
        ticks = s.max_ticks - ep.ticks;
    long gates = 0, cones = 0;
    uint64_t run = 0;
    bool finished = false;
    run_car *rc = &f.runs[i];
    car_in(&f.cars[i]);
    while (run < ticks && !finished && !rc->fault) {
        int gates_before = gates_in_lap(c, p), cones_before = p->in_lap ? p->now.cones : 0;
        unsigned ev = run_tick(rc, action);
        run++;
        if (!ev)
            continue;
        if (ev & (COURSE_LAP_BEGUN | COURSE_GATE | COURSE_LAP_DONE))
            gates++;
        if (ev & COURSE_ABANDONED)
            gates -= gates_before;
        /* a cone knocked in the tick that begins a lap counts for that lap */
        if (ev & COURSE_CONE)
            cones += p->now.cones - (ev & COURSE_LAP_BEGUN ? 0 : cones_before);
        finished = (ev & COURSE_FINISHED) != 0;
    }
    r->fault = rc->fault;
    car_out(&f.cars[i]);
    ep.ticks += run;
    r->reward = ENV_GATE_REWARD * (double)gates
                - ENV_SECOND_COST * ((double)run / 100 + (double)cones * (double)c->penalty);
    r->terminated = finished || r->fault;
    r->truncated = ep.ticks >= s.max_ticks;
    ep.over = r->terminated || r->truncated;
}

/* v (px) on a screen side of `size`: a car may stand a move past an edge
 * until its next tick wraps it. */
static double on_screen(double v, double size)
{
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

/* a - b in degrees, within -180 to 180. */
static double angle_between(double a, double b)
{
    double d = std::fmod(a - b, 360.0);
    return d >= 180 ? d - 360 : d < -180 ? d + 360 : d;
}

void env_observe(const env_spec &s, const fleet_cars &f, const env_episode *e, size_t i, float *obs)
{
    const car_state &k = f.cars[i];
    const course *c = f.c;
    double h = (double)k.AxisAngle * PI8 / 180, hs = std::sin(h), hc = std::cos(h);
    double cx = on_screen(k.x, COURSE_SCREEN_W), cy = on_screen(k.y, COURSE_SCREEN_H);
    const course_gate &g = c->gates[f.r[i].p.next_gate];
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

void env_step_all(const env_spec &s, const fleet_cars &f, env_episode *e, const uint16_t *actions,
                  float *obs, env_result *r, float *final_obs, bool *ended)
{
    run_split(f.pool, f.n, fleet_grain(s.ticks_per_step), [&](size_t first, size_t last) {
        for (size_t i = first; i < last; i++) {
            env_step(s, f, e, i, actions[i], &r[i]);
            float *final_row = final_obs + i * ENV_OBS;
            ended[i] = e[i].over;
            if (ended[i]) {
                env_observe(s, f, e, i, final_row);
                env_reset(f, e, i);
            } else {
                memset(final_row, 0, ENV_OBS * sizeof(float));
            }
            env_observe(s, f, e, i, obs + i * ENV_OBS);
        }
    });
}
