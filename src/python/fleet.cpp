/*
 * python/fleet.cpp -- the cars of a fleet, run on one thread or several.
 */
#include "fleet.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <system_error>
#include <thread>
#include <vector>

#include "sim/sim.h"

void over_threads(size_t n, int threads, size_t grain,
                  const std::function<void(size_t, size_t)> &work)
{
    size_t parts = threads < 1 ? 1 : (size_t)threads;
    if (grain < 1)
        grain = 1;
    if (parts > n / grain)
        parts = n / grain;
    if (parts < 2) {
        work(0, n);
        return;
    }
    /* Blocks taken in turn, several per thread, so a thread slowed by
     * another program's work takes fewer and none waits long for it. */
    size_t block = std::max(grain, (n + parts * 8 - 1) / (parts * 8));
    std::atomic<size_t> next{0};
    auto take_blocks = [&] {
        for (size_t first; (first = next.fetch_add(block)) < n;)
            work(first, std::min(first + block, n));
    };
    std::vector<std::thread> started;
    for (size_t p = 1; p < parts; p++) {
        try {
            started.emplace_back(take_blocks);
        } catch (const std::system_error &) {
            break;   /* the threads there are, and this one, take every block */
        }
    }
    take_blocks();
    for (std::thread &t : started)
        t.join();
}

/* A part must hold at least this many car-ticks to be worth a thread
 * (some 1.5 ms of work against some 50 us to start and join one). */
static const size_t THREAD_GRAIN_TICKS = 16384;

size_t fleet_grain(uint64_t ticks)
{
    return ticks >= THREAD_GRAIN_TICKS ? 1 : (size_t)(THREAD_GRAIN_TICKS / (ticks ? ticks : 1));
}

/* One tick of the car in this thread's names, counted in its race r
 * (when there is one) from where the tick found it. */
static inline void fleet_tick(course_race *r)
{
    if (!r) {
        logic();
        return;
    }
    float x0 = x, y0 = y;
    logic();
    race_after_tick(r, x0, y0);
}

void fleet_step(const fleet_cars &f, const uint16_t *keys, bool all_same, uint64_t ticks, int threads)
{
    over_threads(f.n, threads, fleet_grain(ticks), [&](size_t first, size_t last) {
        for (size_t i = first; i < last; i++) {
            course_race *r = f.c ? &f.r[i] : nullptr;
            car_in(&f.cars[i]);
            hold_keys(keys[all_same ? 0 : i] & KEY_MASK_MAX);
            for (uint64_t t = 0; t < ticks; t++)
                fleet_tick(r);
            car_out(&f.cars[i]);
        }
    });
}

void fleet_rollout(const fleet_cars &f, const uint16_t *keys, size_t T, size_t first, size_t count,
                   state_row *out, int threads)
{
    over_threads(f.n, threads, fleet_grain(count), [&](size_t from, size_t to) {
        for (size_t i = from; i < to; i++) {
            const uint16_t *k = keys + i * T;
            state_row *r = out + i * T;
            course_race *race = f.c ? &f.r[i] : nullptr;
            car_in(&f.cars[i]);
            for (size_t t = first; t < first + count; t++) {
                hold_keys(k[t] & KEY_MASK_MAX);
                fleet_tick(race);
                take_row(&r[t]);
            }
            car_out(&f.cars[i]);
        }
    });
}

void fleet_reset_car(const fleet_cars &f, size_t i)
{
    car params = f.cars[i].params;
    car_start(&f.cars[i], &params);
    if (!f.c)
        return;
    /* the course's start is where the car stands and where R puts it */
    car_in(&f.cars[i]);
    course_start(f.c);
    car_out(&f.cars[i]);
    race_start(&f.r[i], f.c, false);   /* a fleet draws no ghost */
}

void fleet_reset(const fleet_cars &f, const size_t *which, size_t k)
{
    for (size_t j = 0; j < k; j++)
        fleet_reset_car(f, which[j]);
}

/* A lap's ticks, and its total as course_lap_total gives it. */
static void lap_figures(const course *c, const course_lap &l, int64_t *ticks, int32_t *cones, double *total)
{
    *ticks = (int64_t)l.ticks;
    *cones = l.cones;
    *total = course_lap_total(c, &l);
}

void fleet_laps(const fleet_cars &f, laps_row *rows)
{
    const double none = std::numeric_limits<double>::quiet_NaN();
    for (size_t i = 0; i < f.n; i++) {
        const course_progress &p = f.r[i].p;
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
            lap_figures(f.c, p.last, &r.last_ticks, &r.last_cones, &r.last_total);
            lap_figures(f.c, p.best, &r.best_ticks, &r.best_cones, &r.best_total);
            r.best_lap = p.best.lap;
        }
        r.finished = course_finished(f.c, &p);
        r.ticks = (int64_t)p.tick;
    }
}
