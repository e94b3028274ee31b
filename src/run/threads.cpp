/*
 * run/threads.cpp -- a pool of threads kept between calls (see threads.h).
 *
 * The workers wait on a generation counter: a call sets the job and bumps
 * it, each worker takes blocks until none is left and counts itself out;
 * the caller takes blocks too and then waits for the count.  Waiting
 * spins a little first (a step follows a step within microseconds in a
 * learning loop), then sleeps on the counter (a futex).  A process forked
 * from one with a pool (a dask worker) does not have its threads: the
 * pool then starts new ones.
 */
#include "run/threads.h"

#include <algorithm>
#include <atomic>
#include <pthread.h>
#include <sched.h>
#include <thread>
#include <unistd.h>
#include <vector>

struct run_pool {
    int threads;                          /* the caller's included */
    std::vector<pthread_t> workers;
    pid_t pid = 0;                        /* the process the workers were started in */
    std::atomic<uint32_t> generation{0};  /* bumped for each job, and to stop */
    std::atomic<int> busy{0};             /* workers not yet done with the job */
    bool stop = false;
    const std::function<void(size_t, size_t)> *work = nullptr;
    size_t n = 0, block = 1;
    std::atomic<size_t> next{0};
};

/* Spins before sleeping: some 250 us, longer than a learning loop takes
 * between two steps of a vector of environments. */
enum { SPINS = 100000 };

static void take_blocks(run_pool *p)
{
    for (size_t first; (first = p->next.fetch_add(p->block, std::memory_order_relaxed)) < p->n;)
        (*p->work)(first, std::min(first + p->block, p->n));
}

/* Until v differs from old: spinning, then asleep on it. */
template <class T> static void wait_change(std::atomic<T> &v, T old)
{
    for (int i = 0; i < SPINS; i++)
        if (v.load(std::memory_order_acquire) != old)
            return;
    while (v.load(std::memory_order_acquire) == old)
        v.wait(old, std::memory_order_acquire);
}

/* A worker, and the generation it was started at: it takes part in the
 * jobs after that one only. */
struct worker_start {
    run_pool *p;
    uint32_t seen;
};

static void *worker(void *arg)
{
    worker_start *w = (worker_start *)arg;
    run_pool *p = w->p;
    uint32_t seen = w->seen;
    delete w;
    for (;;) {
        wait_change(p->generation, seen);
        seen = p->generation.load(std::memory_order_acquire);
        if (p->stop)
            return nullptr;
        take_blocks(p);
        if (p->busy.fetch_sub(1, std::memory_order_acq_rel) == 1)
            p->busy.notify_one();
    }
}

run_pool *run_pool_new(int threads)
{
    run_pool *p = new run_pool;
    p->threads = threads < 1 ? 1 : threads;
    return p;
}

static void stop_workers(run_pool *p)
{
    if (p->workers.empty())
        return;
    if (p->pid == getpid()) {
        p->stop = true;
        p->generation.fetch_add(1, std::memory_order_acq_rel);
        p->generation.notify_all();
        for (pthread_t t : p->workers)
            pthread_join(t, nullptr);
        p->stop = false;
    }
    p->workers.clear();   /* in a forked child they were never there */
}

void run_pool_free(run_pool *p)
{
    if (!p)
        return;
    stop_workers(p);
    delete p;
}

int run_pool_threads(const run_pool *p)
{
    return p ? p->threads : 1;
}

/* The workers the pool may have, started if they are not. */
static void start_workers(run_pool *p)
{
    if (!p->workers.empty() && p->pid != getpid())
        stop_workers(p);
    p->pid = getpid();
    while ((int)p->workers.size() < p->threads - 1) {
        pthread_t t;
        worker_start *w = new worker_start{p, p->generation.load(std::memory_order_acquire)};
        if (pthread_create(&t, nullptr, worker, w) != 0) {
            delete w;
            break;   /* the threads there are take every block */
        }
        p->workers.push_back(t);
    }
}

void run_split(run_pool *p, size_t n, size_t grain, const std::function<void(size_t, size_t)> &work)
{
    size_t parts = p ? (size_t)p->threads : 1;
    grain = std::max<size_t>(grain, 1);
    parts = std::min(parts, n / grain);
    if (parts < 2) {
        if (n)
            work(0, n);
        return;
    }
    start_workers(p);
    if (p->workers.empty()) {
        work(0, n);
        return;
    }
    p->work = &work;
    p->n = n;
    p->block = std::max(grain, (n + parts * 8 - 1) / (parts * 8));
    p->next.store(0, std::memory_order_relaxed);
    p->busy.store((int)p->workers.size(), std::memory_order_relaxed);
    p->generation.fetch_add(1, std::memory_order_acq_rel);
    p->generation.notify_all();
    take_blocks(p);
    for (int b; (b = p->busy.load(std::memory_order_acquire)) != 0;)
        wait_change(p->busy, b);
}

int run_cores(void)
{
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
    unsigned n = std::thread::hardware_concurrency();
    return n ? (int)n : 1;
}
