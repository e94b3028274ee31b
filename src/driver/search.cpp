/*
 * driver/search.cpp -- the cross-entropy search over the policy's numbers
 * (see driver.h for how it goes).
 */
#include <algorithm>
#include <chrono>
#include <cmath>
#include <numeric>
#include <random>

#include "driver/policy.h"

/* Members a generation, the best kept as elite, the spread of a fresh
 * Gaussian, of one about the best drive, and the least either keeps;
 * generations without a better drive before a restart. */
static const size_t POPULATION = 64, ELITE = 16;
static const double SPREAD_START = 0.25, SPREAD_RESTART = 0.12, SPREAD_FLOOR = 0.004;
static const int STALL_GENERATIONS = 40;

driver_task driver_course_task(const course *track, const car *c, bool standing)
{
    driver_task t;
    t.track = track;
    t.standing = standing;
    car_start(&t.start, c);
    car_in(&t.start);
    if (standing)
        course_start_standing(track);
    else
        course_start(track);
    car_out(&t.start);
    t.laps = track->laps ? track->laps : 1;
    return t;
}

/* A number drawn about m with spread s, kept in [0, 1]. */
static double draw(std::mt19937_64 &rng, double m, double s)
{
    std::normal_distribution<double> n(m, s);
    return std::clamp(n(rng), 0.0, 1.0);
}

namespace {
struct gaussian {
    std::vector<double> mean, spread;
};
}

static gaussian around(const std::vector<double> &m, double s)
{
    return {m, std::vector<double>(m.size(), s)};
}

static bool better(const drive_outcome &a, const drive_outcome &b) { return a.cost < b.cost; }

void driver_search(const driver_task *t, const driver_how *how, driver_result *out)
{
    using clock = std::chrono::steady_clock;
    auto began = clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(clock::now() - began).count(); };
    const long budget = how->budget.drives;

    std::mt19937_64 rng(how->seed);
    std::vector<double> best = policy_default(t->track);
    drive_outcome best_o = policy_drive(t, best, 0, nullptr, nullptr);
    long drives = 1;
    gaussian g = around(best, SPREAD_START);
    int stalled = 0, restarts = 0;
    double run_best = best_o.cost;   /* the best since the last restart */

    std::vector<std::vector<double>> members;
    std::vector<drive_outcome> got;
    std::vector<size_t> order;
    while (budget ? drives < budget : elapsed() < how->budget.seconds) {
        if (how->first_clean && best_o.clean)
            break;
        size_t n = budget ? std::min<size_t>(POPULATION, (size_t)(budget - drives)) : POPULATION;
        members.assign(n, {});
        for (auto &m : members) {
            m.resize(g.mean.size());
            for (size_t i = 0; i < m.size(); i++)
                m[i] = draw(rng, g.mean[i], g.spread[i]);
        }
        got.assign(n, {});
        run_split(how->pool, n, 1, [&](size_t first, size_t last) {
            for (size_t i = first; i < last; i++)
                got[i] = policy_drive(t, members[i], 0, nullptr, nullptr);
        });
        drives += (long)n;

        order.resize(n);
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return better(got[a], got[b]); });
        if (better(got[order[0]], best_o)) {
            best_o = got[order[0]];
            best = members[order[0]];
        }
        if (got[order[0]].cost < run_best) {
            run_best = got[order[0]].cost;
            stalled = 0;
        } else {
            stalled++;
        }

        size_t e = std::min(ELITE, n);
        double widest = 0;
        for (size_t i = 0; i < g.mean.size(); i++) {
            double m = 0, s = 0;
            for (size_t k = 0; k < e; k++)
                m += members[order[k]][i];
            m /= (double)e;
            for (size_t k = 0; k < e; k++)
                s += (members[order[k]][i] - m) * (members[order[k]][i] - m);
            g.mean[i] = 0.7 * m + 0.3 * g.mean[i];
            g.spread[i] = std::max(SPREAD_FLOOR, 0.7 * std::sqrt(s / (double)e) + 0.3 * g.spread[i]);
            widest = std::max(widest, g.spread[i]);
        }
        /* Restarts take turns: afresh, to find another way round, and
         * about the best drive, to make the most of it. */
        if (stalled >= STALL_GENERATIONS || widest <= 2 * SPREAD_FLOOR) {
            restarts++;
            g = restarts % 2 ? around(policy_default(t->track), SPREAD_START)
                             : around(best, best_o.clean ? SPREAD_RESTART : SPREAD_START);
            stalled = 0;
            run_best = INFINITY;
        }

        if (how->progress) {
            double lap = best_o.clean ? (double)best_o.best_ticks / 100 : NAN;
            if (!(budget ? how->progress(how->ctx, (double)drives, (double)budget, lap)
                         : how->progress(how->ctx, elapsed(), how->budget.seconds, lap)))
                break;
        }
    }

    *out = {};
    drive_outcome o = policy_drive(t, best, 0, &out->keys, &out->laps);
    out->clean = o.clean;
    out->laps_done = o.laps_done;
    out->gates = o.gates;
    out->cones = o.cones;
    out->missed = o.missed;
    out->ticks = o.ticks;
    out->drives = drives;
    for (const course_lap &l : out->laps)
        if (l.lap == out->laps.front().lap || course_lap_total(t->track, &l) < out->best_total) {
            out->best = l;
            out->best_total = course_lap_total(t->track, &l);
        }
}
