/*
 * course/count.cpp -- what counts on a course: gates, laps, splits, cones
 * (see course.h).  In double from the stored floats, in pixels.
 */
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "course.h"
#include "sim/sim.h"

static const double W = COURSE_SCREEN_W, H = COURSE_SCREEN_H;

/* The car's footprint, px: half its width (2.2 m) and half its length
 * (4.4 m); a cone nearer to it than CONE_GAP (0.25 m) is knocked. */
static const double HALF_WIDTH = 11, HALF_LENGTH = 22, CONE_GAP = 2.5;

/* No cone farther than this from the car's centre can be touched: the
 * footprint's half diagonal and the gap, squared (px^2). */
static const double REACH2 = std::pow(std::sqrt(HALF_WIDTH * HALF_WIDTH + HALF_LENGTH * HALF_LENGTH)
                                      + CONE_GAP, 2);

/* The index: the screen in cells of CELL px.  A cone is listed in every
 * cell holding a point within CELL_REACH px of it (each axis apart), a
 * little more than the reach above; a gate in every cell within
 * GATE_REACH px of its box, so that a move ending in a cell can pass only
 * the gates listed there unless it is longer than GATE_REACH either way
 * (no car moves so far in a tick; one that does is tested in full). */
static constexpr int CELL = 32, CELLS_X = COURSE_SCREEN_W / CELL, CELLS_Y = COURSE_SCREEN_H / CELL,
                     CELL_REACH = 28, GATE_REACH = 32;
static_assert(COURSE_GATES_MAX <= 128, "two words of gate bits a cell");

/* A car gone wild, more than a screen past an edge: any place will do,
 * as long as it is on the screen. */
static __attribute__((noinline, cold)) double wild(double v, double size)
{
    v = std::fmod(v, size);
    v = v < 0 ? v + size : v;
    return v >= 0 && v < size ? v : 0;
}

/* v (px) on a screen side of `size`: the simulation wraps a car at the
 * start of its next tick, so a car may stand a move past an edge. */
static double on_screen(double v, double size)
{
    if (v < 0)
        v += size;
    else if (v >= size)
        v -= size;
    return v >= 0 && v < size ? v : wild(v, size);
}

/* A difference of two places on a screen side of `size`, the short way. */
static double short_way(double d, double size)
{
    if (d > size / 2)
        return d - size;
    if (d < -size / 2)
        return d + size;
    return d;
}

/* The index cell of a point on the screen. */
static int cell_at(double x, double y)
{
    int ix = std::min((int)(x / CELL), CELLS_X - 1), iy = std::min((int)(y / CELL), CELLS_Y - 1);
    return iy * CELLS_X + ix;
}

/* Calls fn(cell) for each cell of the screen that a box reaching from
 * (x0, y0) to (x1, y1) px overlaps, on the torus: once each. */
template <class F> static void each_cell(double x0, double y0, double x1, double y1, F fn)
{
    int ix0 = (int)std::floor(x0 / CELL), ix1 = (int)std::floor(x1 / CELL);
    int iy0 = (int)std::floor(y0 / CELL), iy1 = (int)std::floor(y1 / CELL);
    if (ix1 - ix0 >= CELLS_X)
        ix0 = 0, ix1 = CELLS_X - 1;
    if (iy1 - iy0 >= CELLS_Y)
        iy0 = 0, iy1 = CELLS_Y - 1;
    for (int iy = iy0; iy <= iy1; iy++)
        for (int ix = ix0; ix <= ix1; ix++)
            fn((iy % CELLS_Y + CELLS_Y) % CELLS_Y * CELLS_X + (ix % CELLS_X + CELLS_X) % CELLS_X);
}

/* ----------------------------------------------------------------------
 * course_index: for each cell, the cones a car centred in it may touch, in
 * cone order, and the gates a move ending in it may pass.  The limits keep
 * a cone's number within 16 bits and a gate's within a cell's two words.
 * ---------------------------------------------------------------------- */
int course_index(course *c)
{
    if (c->gates.empty() || c->gates.size() > (size_t)COURSE_GATES_MAX
        || c->cones.size() > (size_t)COURSE_CONES_MAX)
        return -1;
    std::vector<uint32_t> &first = c->cell_first;
    first.assign(CELLS_X * CELLS_Y + 1, 0);
    c->cell_cones.clear();
    for (int pass = 0; pass < 2; pass++) {
        std::vector<uint32_t> fill(first.begin(), first.end() - 1);
        if (pass == 1)
            c->cell_cones.resize(first.back());
        for (size_t i = 0; i < c->cones.size(); i++) {
            const course_point &k = c->cones[i];
            each_cell((double)k.x - CELL_REACH, (double)k.y - CELL_REACH, (double)k.x + CELL_REACH,
                      (double)k.y + CELL_REACH, [&](int cell) {
                          if (pass == 0)
                              first[cell + 1]++;
                          else
                              c->cell_cones[fill[cell]++] = (uint16_t)i;
                      });
        }
        if (pass == 0)
            for (size_t k = 1; k < first.size(); k++)
                first[k] += first[k - 1];
    }
    c->cell_gates.assign(2 * CELLS_X * CELLS_Y, 0);
    for (size_t g = 0; g < c->gates.size(); g++) {
        const course_gate &k = c->gates[g];
        each_cell(std::min(k.a.x, k.b.x) - (double)GATE_REACH, std::min(k.a.y, k.b.y) - (double)GATE_REACH,
                  std::max(k.a.x, k.b.x) + (double)GATE_REACH, std::max(k.a.y, k.b.y) + (double)GATE_REACH,
                  [&](int cell) { c->cell_gates[2 * cell + g / 64] |= 1ull << (g % 64); });
    }
    return 0;
}

void course_start(const course *c)
{
    sim_start_at(c->start.x, c->start.y, c->heading);
}

course_point course_line(const course *c)
{
    const course_gate &g = c->gates[0];
    return {(float)(((double)g.a.x + g.b.x) / 2), (float)(((double)g.a.y + g.b.y) / 2)};
}

void course_start_standing(const course *c)
{
    course_point at = course_line(c);
    sim_start_at(at.x, at.y, c->heading);
    Gear = 1;
}

/* The lap in progress's splits, when kept: 0 again for a lap begun. */
static void clear_now_splits(course_progress *p)
{
    if (p->kept)
        memset(p->kept->splits[COURSE_NOW], 0, sizeof p->kept->splits[COURSE_NOW]);
}

void course_progress_start(course_progress *p, const course *c, course_keep keep)
{
    p->countdown = p->standing ? COURSE_COUNTDOWN : 0;
    p->tick = 0;
    p->in_lap = false;
    p->next_gate = 0;
    p->laps_done = 0;
    p->now = p->last = p->best = course_lap_head{};
    p->has_best = false;
    p->missed = 0;
    p->knocked.assign(c->cones.size(), 0);
    p->keep = keep;
    if (keep == COURSE_KEEP_NONE)
        p->kept.reset();
    else if (!p->kept)
        p->kept = std::make_unique<course_lap_detail>();
    if (p->kept) {
        memset(p->kept->splits, 0, sizeof p->kept->splits);
        p->kept->poses.clear();
        p->kept->best_poses.clear();
    }
    p->angle_bits = 0;        /* +0 degrees */
    p->angle_sin = 0;
    p->angle_cos = 1;
}

course_lap course_lap_of(const course_progress *p, course_which_lap w)
{
    course_lap l = {};
    static_cast<course_lap_head &>(l) = w == COURSE_NOW ? p->now : w == COURSE_LAST ? p->last : p->best;
    if (p->kept)
        memcpy(l.splits, p->kept->splits[w], sizeof l.splits);
    return l;
}

int course_progress_check(const course_progress *p, const course *c, char *err, size_t errsize)
{
    int gates = (int)c->gates.size();
    const course_lap_head *laps[] = {&p->now, &p->last, &p->best};
    bool laps_ok = true;
    for (const course_lap_head *l : laps)
        laps_ok = laps_ok && l->lap >= 0 && l->cones >= 0 && l->start_tick <= p->tick;
    double a = 0;
    float angle;
    memcpy(&angle, &p->angle_bits, sizeof angle);
    a = (double)angle * PI8 / 180;
    double s = std::sin(a), k = std::cos(a);
    const char *why = p->knocked.size() != c->cones.size() ? "its cones are not the course's"
                      : std::any_of(p->knocked.begin(), p->knocked.end(), [](uint8_t v) { return v > 1; })
                          ? "a cone is neither standing nor fallen"
                      : p->next_gate < 0 || p->next_gate >= gates || (!p->in_lap && p->next_gate != 0)
                          ? "its next gate is not one of the course's"
                      : p->laps_done < 0 || (c->laps && p->laps_done > c->laps) ? "its laps done are not the course's"
                      : !laps_ok ? "a lap's numbers are not a lap's"
                      : p->keep != COURSE_KEEP_NONE || p->kept ? "it keeps splits or poses"
                      : memcmp(&s, &p->angle_sin, sizeof s) != 0 || memcmp(&k, &p->angle_cos, sizeof k) != 0
                          ? "its heading's sine and cosine are not the heading's"
                          : nullptr;
    if (why)
        snprintf(err, errsize, "a car's laps on the course %s: %s", c->name.c_str(), why);
    return why ? -1 : 0;
}

void course_progress_again(course_progress *p, const course *c)
{
    p->in_lap = false;
    p->next_gate = 0;
    p->laps_done = 0;
    p->now = course_lap_head{};
    clear_now_splits(p);
    if (p->kept)
        p->kept->poses.clear();
    p->knocked.assign(c->cones.size(), 0);
}

double course_lap_total(const course *c, const course_lap_head *l)
{
    return (double)l->ticks / 100 + l->cones * (double)c->penalty;
}

/* ----------------------------------------------------------------------
 * crosses: whether the move p -> q crosses the gate g: each segment's
 * ends strictly on opposite sides of the other's line.  An end on the
 * other's line (a touch) is no crossing.
 * ---------------------------------------------------------------------- */
static bool crosses(double px, double py, double qx, double qy, const course_gate &g)
{
    double ax = g.a.x, ay = g.a.y, bx = g.b.x, by = g.b.y;
    /* most moves are nowhere near the gate */
    if (std::max(px, qx) < std::min(ax, bx) || std::min(px, qx) > std::max(ax, bx)
        || std::max(py, qy) < std::min(ay, by) || std::min(py, qy) > std::max(ay, by))
        return false;
    double gx = bx - ax, gy = by - ay, mx = qx - px, my = qy - py;
    double p_side = gx * (py - ay) - gy * (px - ax);
    double q_side = gx * (qy - ay) - gy * (qx - ax);
    double a_side = mx * (ay - py) - my * (ax - px);
    double b_side = mx * (by - py) - my * (bx - px);
    return ((p_side < 0 && q_side > 0) || (p_side > 0 && q_side < 0))
           && ((a_side < 0 && b_side > 0) || (a_side > 0 && b_side < 0));
}

/* Whether m's move passes g.  The move starts on the screen and goes the
 * short way; a part of it past an edge lies at the screen's other side. */
static bool passes(const course_move *m, const course_gate &g)
{
    double x0 = on_screen(m->x0, W), y0 = on_screen(m->y0, H);
    double x1 = x0 + short_way((double)m->x1 - m->x0, W);
    double y1 = y0 + short_way((double)m->y1 - m->y0, H);
    double sx = x1 < 0 ? W : x1 >= W ? -W : 0;
    double sy = y1 < 0 ? H : y1 >= H ? -H : 0;
    return crosses(x0, y0, x1, y1, g)
           || (sx != 0 && crosses(x0 + sx, y0, x1 + sx, y1, g))
           || (sy != 0 && crosses(x0, y0 + sy, x1, y1 + sy, g))
           || (sx != 0 && sy != 0 && crosses(x0 + sx, y0 + sy, x1 + sx, y1 + sy, g));
}

/* A lap begins in this tick: the next one's number, every cone standing. */
static void begin_lap(const course *c, course_progress *p)
{
    p->in_lap = true;
    p->missed = 0;
    p->now = course_lap_head{};
    p->now.lap = p->laps_done + 1;
    p->now.start_tick = p->tick;
    p->next_gate = 1 % (int)c->gates.size();
    clear_now_splits(p);
    if (p->kept)
        p->kept->poses.clear();
    std::fill(p->knocked.begin(), p->knocked.end(), 0);
}

/* The pose after a tick of the lap in progress, while there is room. */
static void keep_pose(course_progress *p, const course_pose &pose)
{
    if (p->keep == COURSE_KEEP_POSES && p->kept->poses.size() < COURSE_POSES_MAX)
        p->kept->poses.push_back(pose);
}

/* The start gate passed again after all the others, its pose the lap's
 * last: the lap is done, and the next begins unless it was the last. */
static unsigned end_lap(const course *c, course_progress *p, const course_pose &pose)
{
    course_lap_head &l = p->now;
    course_lap_detail *k = p->kept.get();
    l.ticks = p->tick - l.start_tick;
    keep_pose(p, pose);
    p->last = l;
    if (k)
        memcpy(k->splits[COURSE_LAST], k->splits[COURSE_NOW], sizeof k->splits[COURSE_NOW]);
    p->laps_done++;
    if (!p->has_best || course_lap_total(c, &l) < course_lap_total(c, &p->best)) {
        p->best = l;
        p->has_best = true;
        if (k) {
            memcpy(k->splits[COURSE_BEST], k->splits[COURSE_NOW], sizeof k->splits[COURSE_NOW]);
            std::swap(k->poses, k->best_poses);
        }
    }
    if (course_finished(c, p)) {
        p->in_lap = false;
        p->next_gate = 0;
        if (k)
            k->poses.clear();
        std::fill(p->knocked.begin(), p->knocked.end(), 0);
        return COURSE_LAP_DONE | COURSE_FINISHED;
    }
    begin_lap(c, p);
    return COURSE_LAP_DONE | COURSE_LAP_BEGUN;
}

/* The next gate is passed in this tick. */
static unsigned gate_passed(const course *c, course_progress *p, const course_pose &pose)
{
    if (!p->in_lap) {
        if (course_finished(c, p))
            return 0;   /* the course is done: nothing counts any more */
        begin_lap(c, p);
        return COURSE_LAP_BEGUN;
    }
    p->missed = 0;
    if (p->next_gate == 0)
        return end_lap(c, p, pose);
    if (p->kept)
        p->kept->splits[COURSE_NOW][p->next_gate - 1] = p->tick - p->now.start_tick;
    p->next_gate = (p->next_gate + 1) % (int)c->gates.size();
    return COURSE_GATE;
}

/* Whether a move ending in `cell` may pass gate g: listed there, or a move
 * too long for the index to tell (one across an edge, as the simulation
 * holds it, included). */
static bool may_pass(const course *c, int cell, int g, const course_move *m)
{
    if (c->cell_gates[2 * cell + g / 64] >> (g % 64) & 1)
        return true;
    double dx = (double)m->x1 - m->x0, dy = (double)m->y1 - m->y0;
    return !(std::fabs(dx) <= GATE_REACH && std::fabs(dy) <= GATE_REACH);
}

/* ----------------------------------------------------------------------
 * knock_cones: the cones of `cell` the footprint comes within CONE_GAP of,
 * the car at (x, y) on the screen heading `angle`, not already fallen;
 * they fall, and count when in a lap.
 * ---------------------------------------------------------------------- */
static __attribute__((noinline)) unsigned knock_cones(const course *c, course_progress *p, int cell, double x,
                                                      double y, float angle)
{
    unsigned ev = 0;
    for (uint32_t k = c->cell_first[cell]; k < c->cell_first[cell + 1]; k++) {
        uint16_t i = c->cell_cones[k];
        if (p->knocked[i])
            continue;
        double dx = short_way(c->cones[i].x - x, W), dy = short_way(c->cones[i].y - y, H);
        if (dx * dx + dy * dy >= REACH2)
            continue;
        uint32_t bits;
        memcpy(&bits, &angle, sizeof bits);
        if (bits != p->angle_bits) {
            double a = (double)angle * PI8 / 180;
            p->angle_bits = bits;
            p->angle_sin = std::sin(a);
            p->angle_cos = std::cos(a);
        }
        /* the cone along the car (ahead positive) and across it (right) */
        double along = dx * p->angle_sin - dy * p->angle_cos;
        double across = dx * p->angle_cos + dy * p->angle_sin;
        double out_l = std::max(std::fabs(along) - HALF_LENGTH, 0.0);
        double out_w = std::max(std::fabs(across) - HALF_WIDTH, 0.0);
        if (out_l * out_l + out_w * out_w < CONE_GAP * CONE_GAP) {
            p->knocked[i] = 1;
            if (p->in_lap) {
                p->now.cones++;
                ev |= COURSE_CONE;
            }
        }
    }
    return ev;
}

/* The gates' part of a tick that may pass one or holds R: R passes no
 * gate, drops the lap and stands every cone up again. */
static __attribute__((noinline)) unsigned gates_of_tick(const course *c, course_progress *p,
                                                        const course_move *m)
{
    if (m->reset) {
        unsigned ev = p->in_lap ? COURSE_ABANDONED : 0;
        p->in_lap = false;
        p->missed = 0;
        p->next_gate = 0;
        if (p->kept)
            p->kept->poses.clear();
        std::fill(p->knocked.begin(), p->knocked.end(), 0);
        return ev;
    }
    if (!passes(m, c->gates[p->next_gate]))
        return 0;
    return gate_passed(c, p, {m->x1, m->y1, m->angle});
}

/* Gate g drawn out a gate's length beyond each post: what passes it but
 * not g goes beside g. */
static course_gate drawn_out(const course_gate &g)
{
    double dx = (double)g.b.x - g.a.x, dy = (double)g.b.y - g.a.y;
    return {{(float)(g.a.x - dx), (float)(g.a.y - dy)}, {(float)(g.b.x + dx), (float)(g.b.y + dy)}};
}

/* ----------------------------------------------------------------------
 * gone_by: whether a move in a lap that did not pass the next gate went by
 * it: beside it, or through a gate later in the lap (the start gate last).
 * ---------------------------------------------------------------------- */
static __attribute__((noinline)) bool gone_by(const course *c, const course_progress *p, int cell,
                                              const course_move *m)
{
    if (passes(m, drawn_out(c->gates[p->next_gate])))
        return true;
    int n = (int)c->gates.size(), last = p->next_gate >= 2 ? n : n - 1;   /* the start gate once past gate 2 */
    for (int g = p->next_gate + 1; p->next_gate != 0 && g <= last; g++)
        if (may_pass(c, cell, g % n, m) && passes(m, c->gates[g % n]))
            return true;
    return false;
}

/* A standing start's tick while the car is held, or with R: R drops the
 * lap and begins the countdown again; its last tick begins a lap with the
 * car on the line, where it has been held. */
static unsigned countdown_tick(const course *c, course_progress *p, const course_move *m)
{
    if (m->reset) {
        unsigned ev = gates_of_tick(c, p, m);
        p->countdown = COURSE_COUNTDOWN;
        return ev | COURSE_COUNTING;
    }
    if (--p->countdown > 0)
        return COURSE_COUNTING;
    if (course_finished(c, p))
        return 0;
    begin_lap(c, p);
    return COURSE_LAP_BEGUN;
}

/* ----------------------------------------------------------------------
 * course_count: R or the next gate first, then the cones, which so count
 * for the lap the tick leaves running; then the pose.  Most ticks are
 * near no gate and no cone: the index tells at once.
 * ---------------------------------------------------------------------- */
unsigned course_count(const course *c, course_progress *p, const course_move *m)
{
    double x = on_screen(m->x1, W), y = on_screen(m->y1, H);   /* where the tick leaves the car */
    int cell = cell_at(x, y);
    unsigned ev = 0;
    p->tick++;
    if (p->standing && (m->reset || p->countdown > 0))
        ev = countdown_tick(c, p, m);
    else if (m->reset || may_pass(c, cell, p->next_gate, m))
        ev = gates_of_tick(c, p, m);
    if (p->in_lap && !p->missed && !(ev & (COURSE_GATE | COURSE_LAP_BEGUN | COURSE_LAP_DONE))
        && gone_by(c, p, cell, m)) {
        p->missed = p->next_gate + 1;
        ev |= COURSE_MISSED;
    }
    if (c->cell_first[cell] != c->cell_first[cell + 1])
        ev |= knock_cones(c, p, cell, x, y, m->angle);
    if (p->in_lap)
        keep_pose(p, {m->x1, m->y1, m->angle});
    return ev;
}

unsigned course_after_tick(const course *c, course_progress *p, float x0, float y0)
{
    course_move m = {x0, y0, x, y, AxisAngle, ((KeyMask >> SIM_R) & 1) != 0};
    return course_count(c, p, &m);
}
