/*
 * python/fleet.cpp -- the cars of a fleet, run on one thread or several.
 */
#include "fleet.h"

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
    std::vector<std::thread> started;
    std::vector<size_t> left;   /* parts no thread could take */
    for (size_t p = 1; p < parts; p++) {
        size_t first = n * p / parts, last = n * (p + 1) / parts;
        try {
            started.emplace_back(work, first, last);
        } catch (const std::system_error &) {
            left.push_back(p);
        }
    }
    work(0, n / parts);
    for (size_t p : left)
        work(n * p / parts, n * (p + 1) / parts);
    for (std::thread &t : started)
        t.join();
}

/* A part must hold at least this many car-ticks to be worth a thread
 * (some 1.5 ms of work against some 50 us to start and join one). */
static const size_t THREAD_GRAIN_TICKS = 16384;

/* Parts of n cars of `ticks` ticks each that are worth a thread. */
static size_t cars_per_part(uint64_t ticks)
{
    return ticks >= THREAD_GRAIN_TICKS ? 1 : (size_t)(THREAD_GRAIN_TICKS / (ticks ? ticks : 1));
}

void fleet_step(car_state *cars, size_t n, const uint16_t *keys, bool all_same,
                uint64_t ticks, int threads)
{
    over_threads(n, threads, cars_per_part(ticks), [=](size_t first, size_t last) {
        for (size_t i = first; i < last; i++) {
            car_in(&cars[i]);
            hold_keys(keys[all_same ? 0 : i] & KEY_MASK_MAX);
            for (uint64_t t = 0; t < ticks; t++)
                logic();
            car_out(&cars[i]);
        }
    });
}

void fleet_rollout(car_state *cars, size_t n, const uint16_t *keys, size_t T, size_t first,
                   size_t count, state_row *out, int threads)
{
    over_threads(n, threads, cars_per_part(count), [=](size_t from, size_t to) {
        for (size_t i = from; i < to; i++) {
            const uint16_t *k = keys + i * T;
            state_row *r = out + i * T;
            car_in(&cars[i]);
            for (size_t t = first; t < first + count; t++) {
                hold_keys(k[t] & KEY_MASK_MAX);
                logic();
                take_row(&r[t]);
            }
            car_out(&cars[i]);
        }
    });
}

void fleet_reset(car_state *cars, const size_t *which, size_t k)
{
    for (size_t j = 0; j < k; j++) {
        car params = cars[which[j]].params;
        car_start(&cars[which[j]], &params);
    }
}
