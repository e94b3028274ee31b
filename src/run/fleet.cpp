/*
 * run/fleet.cpp -- the cars of a fleet, run on one thread or several.
 */
#include "run/fleet.h"

#include <cstdio>
#include <limits>

#include "sim/sim.h"

/* A part must hold at least this many car-ticks to be worth a thread:
 * some 25 us of work, against the few microseconds a pool's thread takes
 * to wake. */
static const size_t THREAD_GRAIN_TICKS = 256;

size_t fleet_grain(uint64_t ticks)
{
    return ticks >= THREAD_GRAIN_TICKS ? 1 : (size_t)(THREAD_GRAIN_TICKS / (ticks ? ticks : 1));
}

void fleet_step(const fleet_cars &f, const uint16_t *keys, bool all_same, uint64_t ticks)
{
    run_split(f.pool, f.n, fleet_grain(ticks), [&](size_t first, size_t last) {
        for (size_t i = first; i < last; i++) {
            run_car *r = &f.runs[i];
            if (!run_can_tick(r))
                continue;
            unsigned k = keys[all_same ? 0 : i];
            fleet_car_in(f, i, i == first);
            course_timing *timing = f.c ? &f.t[i] : nullptr;
            for (uint64_t t = 0; t < ticks && !(run_tick_on(r, f.c, timing, k) & RUN_FAULT); t++) {
            }
            fleet_car_out(f, i);
        }
    });
}

void fleet_rollout(const fleet_cars &f, const uint16_t *keys, size_t T, size_t first, size_t count,
                   state_row *out)
{
    run_split(f.pool, f.n, fleet_grain(count), [&](size_t from, size_t to) {
        for (size_t i = from; i < to; i++) {
            const uint16_t *k = keys + i * T;
            state_row *row = out + i * T;
            run_car *r = &f.runs[i];
            course_timing *timing = f.c ? &f.t[i] : nullptr;
            fleet_car_in(f, i, i == from);
            for (size_t t = first; t < first + count; t++) {
                if (run_can_tick(r))
                    run_tick_on(r, f.c, timing, k[t]);
                take_row(&row[t]);
            }
            fleet_car_out(f, i);
        }
    });
}

void fleet_reset_car(const fleet_cars &f, size_t i)
{
    motion_start(&f.cars[i]);
    run_car &r = f.runs[i];
    r.rule = RUN_FLAG;
    r.race = nullptr;
    run_begin(&r);
    if (!f.c)
        return;
    /* the course's start is where the car stands and where R puts it */
    fleet_car_in(f, i, true);
    course_start(f.c);
    car_out(&f.cars[i]);
    timing_start(&f.t[i], f.c);
}

void fleet_reset(const fleet_cars &f, const size_t *which, size_t k)
{
    for (size_t j = 0; j < k; j++)
        fleet_reset_car(f, which[j]);
}

void fleet_fault_text(const fleet_cars &f, size_t i, char *out, size_t size)
{
    char why[128];
    run_fault_text(&f.runs[i], why, sizeof why);
    if (f.runs[i].fault)
        snprintf(out, size, "tick %llu: %s", (unsigned long long)f.runs[i].fault_tick, why);
    else if (size)
        *out = '\0';
}

void fleet_laps(const fleet_cars &f, laps_row *rows)
{
    const double none = std::numeric_limits<double>::quiet_NaN();
    for (size_t i = 0; i < f.n; i++) {
        const course_progress &p = f.t[i].p;
        laps_row &r = rows[i];
        r = laps_row{};
        r.laps_done = p.laps_done;
        r.in_lap = p.in_lap;
        r.next_gate = p.next_gate;
        if (p.in_lap) {
            r.lap_ticks = (int64_t)(p.tick - p.now.start_tick);
            r.lap_cones = p.now.cones;
        }
        r.last_total = r.best_total = none;
        if (p.has_best) {
            r.last_ticks = (int64_t)p.last.ticks, r.last_cones = p.last.cones;
            r.last_total = course_lap_total(f.c, &p.last);
            r.best_ticks = (int64_t)p.best.ticks, r.best_cones = p.best.cones;
            r.best_total = course_lap_total(f.c, &p.best);
            r.best_lap = p.best.lap;
        }
        r.finished = course_finished(f.c, &p);
        r.ticks = (int64_t)p.tick;
    }
}
