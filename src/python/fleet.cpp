/*
 * python/fleet.cpp -- the cars of a fleet, run on one thread or several.
 */
#include "fleet.h"

#include <algorithm>
#include <atomic>
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
