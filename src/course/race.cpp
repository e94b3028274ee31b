/*
 * course/race.cpp -- a course as the front ends drive it (see race.h).
 */
#include "race.h"

#include "sim/sim.h"

/* t as a run of laps begins, its progress keeping `keep`. */
static void timing_fresh(course_timing *t, const course *c, course_keep keep, bool standing)
{
    t->p.standing = standing;
    course_progress_start(&t->p, c, keep);
    t->split = course_split{};
    t->laps.clear();
}

void race_start(course_race *r, const course *c, bool keep_poses, bool standing)
{
    r->c = c;
    timing_fresh(r, c, keep_poses ? COURSE_KEEP_POSES : COURSE_KEEP_SPLITS, standing);
    r->has_given = false;
    r->given = course_lap{};
    r->given_poses.clear();
}

void race_again(course_race *r)
{
    timing_fresh(r, r->c, r->p.keep, r->p.standing);
}

void timing_start(course_timing *t, const course *c)
{
    timing_fresh(t, c, COURSE_KEEP_NONE, false);
}

const course_target *race_next_target(const course_race *r)
{
    for (const course_target &t : r->targets)
        if (!r->p.has_best || course_lap_total(r->c, &r->p.best) >= t.total)
            return &t;
    return nullptr;
}

bool race_beat(const course_race *r, const course_target *t)
{
    for (const course_lap_head &l : r->laps)
        if (course_lap_total(r->c, &l) < t->total)
            return true;
    return false;
}

/* Whether this car's best lap is the one to beat. */
static bool own_best(const course_race *r)
{
    return r->p.has_best
           && (!r->has_given || course_lap_total(r->c, &r->p.best) < course_lap_total(r->c, &r->given));
}

const course_lap_head *race_best(const course_race *r)
{
    return own_best(r) ? &r->p.best : r->has_given ? &r->given : nullptr;
}

/* The lap to beat's splits (race_best's), or null when there is none. */
static const uint64_t *best_splits(const course_race *r)
{
    return own_best(r) ? r->p.kept->splits[COURSE_BEST] : r->has_given ? r->given.splits : nullptr;
}

const course_pose *race_ghost(const course_race *r)
{
    if (!r->p.in_lap || !race_best(r))
        return nullptr;
    const std::vector<course_pose> &poses = own_best(r) ? r->p.kept->best_poses : r->given_poses;
    uint64_t k = r->p.tick - r->p.now.start_tick;
    return k < poses.size() ? &poses[k] : nullptr;
}

/* ----------------------------------------------------------------------
 * count_tick: the tick counted on c in t, against the lap to beat as the
 * tick finds it (best, null for none; the lap the tick ends may replace
 * it) and its splits (null: not kept, no gate compared).
 * ---------------------------------------------------------------------- */
static unsigned count_tick(const course *c, course_timing *t, const course_lap_head *best,
                           const uint64_t *splits, float x0, float y0)
{
    course_progress *p = &t->p;
    if (((KeyMask >> SIM_R) & 1) && course_finished(c, p)) {
        course_progress_again(p, c);
        t->laps.clear();
    }
    double best_total = best ? course_lap_total(c, best) : 0;
    int gate = p->next_gate;
    double best_split = splits && gate > 0 ? (double)splits[gate - 1] / 100 : 0;

    unsigned ev = course_after_tick(c, p, x0, y0);
    course_split &s = t->split;
    if (ev & COURSE_LAP_DONE)
        t->laps.push_back(p->last);
    if (ev & COURSE_GATE)
        s = {course_split::GATE, splits != nullptr, gate + 1, (double)(p->tick - p->now.start_tick) / 100, 0};
    else if (ev & COURSE_LAP_DONE)
        s = {course_split::LAP, best != nullptr, p->last.lap, course_lap_total(c, &p->last), 0};
    else if (ev & (COURSE_LAP_BEGUN | COURSE_ABANDONED))
        s = course_split{};
    if (ev & (COURSE_GATE | COURSE_LAP_DONE) && s.compared)
        s.delta = s.time - (s.kind == course_split::GATE ? best_split : best_total);
    return ev;
}

unsigned race_after_tick(course_race *r, float x0, float y0)
{
    const course_lap_head *best = race_best(r);   /* as R after the last lap (count_tick) leaves it */
    return count_tick(r->c, r, best, best ? best_splits(r) : nullptr, x0, y0);
}

unsigned timing_after_tick(const course *c, course_timing *t, float x0, float y0)
{
    const course_progress *p = &t->p;
    const course_lap_head *best = p->has_best ? &p->best : nullptr;
    return count_tick(c, t, best, best && p->kept ? p->kept->splits[COURSE_BEST] : nullptr, x0, y0);
}
