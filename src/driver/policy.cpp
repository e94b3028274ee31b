/*
 * driver/policy.cpp -- the policy's keys for a tick, and one drive of it
 * through run_tick (see policy.h).
 */
#include "driver/policy.h"

#include <algorithm>
#include <cmath>

#include "course/race.h"
#include "run/run.h"
#include "sim/sim.h"

/* A drive that passes no gate for this many ticks (20 s) has stalled. */
static const uint64_t STALL_TICKS = 2000;

/* The policy's numbers in their units. */
struct policy {
    double gain;        /* wheel per degree of heading error */
    double travel;      /* share of the error taken from TrueAngle, the rest from AxisAngle */
    double slow;        /* share of the speed given up per 90 degrees of heading error */
    double brake_over;  /* m/s above the speed at which it brakes */
    double up_rpm, down_rpm;   /* shift up above, down below */
    struct gate { double at, speed, near; };   /* 0 at a .. 1 at b; m/s; m */
    std::vector<gate> gates;
    std::vector<course_point> aim;   /* the point on each gate, px */
};

static double lerp(double lo, double hi, double u) { return lo + (hi - lo) * std::clamp(u, 0.0, 1.0); }

/* Ranges.  Speeds and engine speeds scale with the car, so that one
 * range serves a slow car and a fast one. */
static policy policy_of(const driver_task *t, const std::vector<double> &v)
{
    const car &k = t->start.params;
    policy p;
    p.gain = 0.002 * std::pow(50.0, std::clamp(v[0], 0.0, 1.0));
    p.travel = lerp(0, 1, v[1]);
    p.slow = lerp(0, 1, v[2]);
    p.brake_over = lerp(0, 4, v[3]);
    p.up_rpm = lerp(0.6, 2.0, v[4]) * k.EnginePeakRev;
    p.down_rpm = lerp(0, 1, v[5]) * p.up_rpm * 0.6;
    const course &c = *t->track;
    size_t n = c.gates.size();
    p.gates.resize(n);
    p.aim.resize(n);
    for (size_t g = 0; g < n; g++) {
        const double *w = &v[POLICY_GLOBALS + POLICY_PER_GATE * g];
        policy::gate &q = p.gates[g];
        q.at = lerp(0.03, 0.97, w[0]);
        q.speed = lerp(2, 70, w[1] * w[1]);
        q.near = lerp(0, 25, w[2]);
        const course_gate &e = c.gates[g];
        p.aim[g] = {(float)(e.a.x + q.at * ((double)e.b.x - e.a.x)), (float)(e.a.y + q.at * ((double)e.b.y - e.a.y))};
    }
    return p;
}

std::vector<double> policy_default(const course *c)
{
    std::vector<double> v(policy_size(c), 0.5);
    v[0] = 0.6;
    v[3] = 0.2;
    v[4] = 0.4;
    v[5] = 0.3;
    for (size_t g = 0; g < c->gates.size(); g++) {
        v[POLICY_GLOBALS + POLICY_PER_GATE * g + 1] = 0.35;   /* about 10 m/s */
        v[POLICY_GLOBALS + POLICY_PER_GATE * g + 2] = 0.25;
    }
    return v;
}

/* d the short way round a screen of this size (the screen is a torus). */
static double short_way(double d, double size)
{
    return d > size / 2 ? d - size : d < -size / 2 ? d + size : d;
}

/* The keys for the next tick, from the car as it stands in this thread's
 * names. */
static unsigned decide(const driver_task *t, const policy &p, const course_progress &pr)
{
    const course &c = *t->track;
    int g = pr.next_gate, h = (g + 1) % (int)c.gates.size();
    course_point a = p.aim[g], b = p.aim[h];
    double dx = short_way(a.x - x, COURSE_SCREEN_W), dy = short_way(a.y - y, COURSE_SCREEN_H);
    double dist = std::hypot(dx, dy) / COURSE_PX_PER_M;
    double near = p.gates[g].near;
    if (dist < near) {
        double share = 1 - dist / near;
        dx += share * short_way((double)b.x - a.x, COURSE_SCREEN_W);
        dy += share * short_way((double)b.y - a.y, COURSE_SCREEN_H);
    }
    double want = std::atan2(dx, -dy) * 180 / M_PI;
    double err_travel = std::remainder(want - TrueAngle, 360.0);
    double err_axis = std::remainder(want - AxisAngle, 360.0);
    double err = p.travel * err_travel + (1 - p.travel) * err_axis;
    double wheel = std::clamp(p.gain * err, -1.0, 1.0);

    unsigned keys = 0;
    if (DrivingWheelTurning < wheel - 0.0125)
        keys |= 1u << SIM_RIGHT;
    else if (DrivingWheelTurning > wheel + 0.0125)
        keys |= 1u << SIM_LEFT;

    if (t->pedals == DRIVER_COAST)
        return keys;
    if (t->pedals == DRIVER_HOLD)
        return TrueVelocity < t->hold ? keys | 1u << SIM_UP : keys;

    double speed = p.gates[g].speed * (1 - p.slow * std::min(std::fabs(err_travel), 90.0) / 90);
    if (TrueVelocity < speed)
        keys |= 1u << SIM_UP;
    else if (TrueVelocity > speed + p.brake_over)
        keys |= 1u << SIM_DOWN;
    if (KeyHeld == 0) {
        if (Gear <= 0 || (Gear < GearMax && EngineRev > p.up_rpm))
            keys |= 1u << SIM_A;
        else if (Gear > 1 && EngineRev < p.down_rpm)
            keys |= 1u << SIM_Z;
    }
    return keys;
}

static bool done(const driver_task *t, const drive_outcome &o)
{
    return t->gates ? o.gates >= t->gates : o.laps_done >= t->laps;
}

drive_outcome policy_drive(const driver_task *t, const std::vector<double> &v, uint64_t stop_after,
                           std::vector<uint16_t> *keys, std::vector<course_lap> *laps)
{
    const course &c = *t->track;
    policy p = policy_of(t, v);
    drive_outcome o;
    course_race race;
    car_in(&t->start);
    race_start(&race, &c, false, t->standing);
    run_car r;
    r.race = &race;   /* RUN_STOP: a state that stops being finite ends the drive, not clean */
    const course_progress &pr = race.p;
    uint64_t last_gate = 0;
    bool knocked = false;
    for (uint64_t tick = 1; tick - last_gate < STALL_TICKS && (!stop_after || tick <= stop_after); tick++) {
        unsigned k = decide(t, p, pr);
        unsigned ev = run_tick(&r, k);
        if (ev & RUN_FAULT)
            break;
        if (keys)
            keys->push_back((uint16_t)k);
        o.ticks = tick;
        if (ev & (COURSE_LAP_BEGUN | COURSE_GATE | COURSE_LAP_DONE))
            o.gates++, last_gate = tick;
        if (ev & COURSE_LAP_DONE) {
            o.laps_done++;
            if (laps)
                laps->push_back(course_lap_of(&pr, COURSE_LAST));
            if (!o.best_ticks || pr.last.ticks < o.best_ticks)
                o.best_ticks = pr.last.ticks;
        }
        if (ev & COURSE_CONE) {
            o.cones++;
            knocked = true;
            break;
        }
        /* Going by a gate and back is allowed, but not a lap to show a
         * player as a target or a ghost: the drive ends there. */
        if (ev & COURSE_MISSED) {
            o.missed = true;
            break;
        }
        if (done(t, o))
            break;
    }
    o.clean = done(t, o) && !knocked && !o.missed;
    course_point a = p.aim[pr.next_gate];
    o.near_m = std::hypot(short_way(a.x - x, COURSE_SCREEN_W), short_way(a.y - y, COURSE_SCREEN_H))
               / COURSE_PX_PER_M;
    /* A car that left the float's range is nowhere: the farthest, never a NaN that no sort can
     * place. */
    if (!(o.near_m <= 1000))
        o.near_m = 1000;
    if (o.clean)
        o.cost = t->gates ? (double)o.ticks : (double)o.best_ticks + 1e-4 * (double)o.ticks;
    else
        o.cost = 1e12 - 1e7 * o.gates + 1e3 * o.near_m + 1e-3 * (double)o.ticks;
    return o;
}
