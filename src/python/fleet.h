/*
 * python/fleet.h -- many cars as values, run tick by tick with their own
 * key masks, split over threads.
 *
 * Each car is brought into the running thread's names for its ticks and
 * put back after (car_in, car_out), so a car drives exactly as it would
 * alone, whichever thread runs it and whatever runs beside it.  Keys are
 * held through hold_keys: a title screen returns at once.  Only the nine
 * driving bits of a mask are held.
 *
 * None of these touches Python: the callers check their arguments and
 * release the interpreter's lock around them.
 */
#ifndef CARAVELT_PYTHON_FLEET_H
#define CARAVELT_PYTHON_FLEET_H

#include <cstddef>
#include <cstdint>
#include <functional>

#include "rows.h"

/* Key masks above this hold keys that do not exist. */
enum { KEY_MASK_MAX = 511 };

/* ----------------------------------------------------------------------
 * over_threads: work(first, last) for blocks that cover [0, n) once, on
 * up to `threads` threads, the calling thread one of them; no thread
 * for less than `grain` items (so a small job is not paid for in thread
 * starts).  A thread that cannot be started leaves its share to the
 * others.  Returns when every block is done.
 * ---------------------------------------------------------------------- */
void over_threads(size_t n, int threads, size_t grain,
                  const std::function<void(size_t first, size_t last)> &work);

/* ----------------------------------------------------------------------
 * fleet_step: `ticks` ticks of each of the n cars, car i holding keys[i]
 * (keys[0] for every car when all_same).
 * ---------------------------------------------------------------------- */
void fleet_step(car_state *cars, size_t n, const uint16_t *keys, bool all_same,
                uint64_t ticks, int threads);

/* ----------------------------------------------------------------------
 * fleet_rollout: ticks first .. first + count - 1 of a block of T ticks a
 * car: car i holds keys[i * T + t] in its tick t, and out[i * T + t] is
 * its state after that tick.
 * ---------------------------------------------------------------------- */
void fleet_rollout(car_state *cars, size_t n, const uint16_t *keys, size_t T, size_t first,
                   size_t count, state_row *out, int threads);

/* The cars at `which` (k indices below n) back in the state start-up
 * leaves, each keeping its own parameters. */
void fleet_reset(car_state *cars, const size_t *which, size_t k);

#endif
