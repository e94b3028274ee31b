/*
 * run/threads.h -- many cars (or setups of a sweep, or drives of the lap
 * search) split over threads: the one way every front end does it.
 *
 * A pool keeps its threads between calls, waiting, so that a call that
 * runs a fraction of a millisecond of work (a VectorEnv's step) is not
 * paid for in thread starts.  The calling thread takes blocks too.
 * Blocks are taken in turn, several per thread, so a thread slowed by
 * another program's work takes fewer and none waits long for it.  What
 * each block computes must not depend on which thread runs it: each car
 * is brought into the running thread's names for its ticks (car_in) and
 * put back after, so results are the same to the bit on any number of
 * threads.
 */
#ifndef CARAVELT_RUN_THREADS_H
#define CARAVELT_RUN_THREADS_H

#include <cstddef>
#include <functional>

struct run_pool;

/* A pool for up to `threads` threads at once, the caller's included (1:
 * the caller alone).  Its threads start when a call first needs them. */
run_pool *run_pool_new(int threads);

/* The pool's threads stopped and joined; the pool freed.  Null is fine. */
void run_pool_free(run_pool *p);

/* How many threads the pool runs at once, the caller's included. */
int run_pool_threads(const run_pool *p);

/* ----------------------------------------------------------------------
 * run_split: work(first, last) for blocks that cover [0, n) once, on the
 * pool's threads (p null: the caller alone), no thread for less than
 * `grain` items; returns when every block is done.  A thread that cannot
 * be started leaves its share to the others.  One call at a time per
 * pool; work must not throw.
 * ---------------------------------------------------------------------- */
void run_split(run_pool *p, size_t n, size_t grain, const std::function<void(size_t first, size_t last)> &work);

/* The cores this process may run on (its affinity), at least 1. */
int run_cores(void);

#endif
