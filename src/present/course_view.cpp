/*
 * present/course_view.cpp -- a course over the driving view: cones and
 * gates on the tarmac, the ghost of the lap to beat, the timing box.
 */
#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "course/race.h"
#include "chart.h"
#include "sim/sim.h"
#include "present.h"

const course_race *view_race;

/* Seconds to the hundredth from ticks, exactly. */
static std::string seconds(uint64_t ticks)
{
    char t[32];
    snprintf(t, sizeof t, "%" PRIu64 ".%02u", ticks / 100, (unsigned)(ticks % 100));
    return t;
}

/* A lap's total as shown, "-" for none. */
static std::string total(const course *c, const course_lap_head *l)
{
    char t[40] = "-";
    if (l)
        snprintf(t, sizeof t, "%.2f", course_lap_total(c, l));
    return t;
}

static std::string plural(int n, const char *what)
{
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

/* The name in at most TIMING_CHARS bytes, cut between characters: the
 * library reads a character's bytes as its first byte announces them. */
static std::string cut_name(const std::string &name)
{
    size_t n = std::min(name.size(), (size_t)TIMING_CHARS);
    while (n < name.size() && n > 0 && ((unsigned char)name[n] & 0xc0) == 0x80)
        n--;
    return name.substr(0, n);
}

/* The countdown's second as shown: 3, 2, then 1 for its last second. */
static int countdown_second(const course_progress *p)
{
    return (p->countdown + 99) / 100;
}

/* Up held in neutral: the car will not move until a gear is in. */
static bool first_gear_hint(void)
{
    return Gear == 0 && ((KeyMask >> SIM_UP) & 1);
}

void timing_text(const course_race *r, int i, char *out, size_t size)
{
    const course *c = r->c;
    const course_progress *p = &r->p;
    const course_lap_head *best = race_best(r);
    std::string t;
    if (i == 0)
        t = cut_name(c->name);
    else if (i == 1 && p->countdown > 0)
        t = "Get ready  " + std::to_string(countdown_second(p));
    else if (i == 1 && course_finished(c, p))
        t = "Finished, " + plural(c->laps, "lap") + ": R to go again";
    else if (i == 1 && !p->in_lap)
        t = "To the start gate";
    else if (i == 1)
        t = "Lap " + std::to_string(p->now.lap) + (c->laps ? " of " + std::to_string(c->laps) : "") + "  "
            + seconds(p->tick - p->now.start_tick) + (p->now.cones ? "  " + plural(p->now.cones, "cone") : "");
    else if (i == 2)
        t = "Last " + total(c, p->has_best ? &p->last : nullptr) + "  Best " + total(c, best)
            + (best && best != &p->best ? " (ghost)" : "");
    else if (i == TIMING_SPLIT_LINE && first_gear_hint())
        t = "A: first gear";
    else if (i == TIMING_SPLIT_LINE && p->in_lap && p->missed)
        t = "Missed gate " + std::to_string(p->missed) + ": back to it";
    else if (i == TIMING_SPLIT_LINE && r->split.kind != course_split::NONE) {
        char s[64];
        snprintf(s, sizeof s, "%.2f", r->split.time);
        t = (r->split.kind == course_split::GATE ? "Gate " : "Lap ") + std::to_string(r->split.number) + "  " + s;
    } else if (i == 4 && !r->targets.empty()) {
        const course_target *next = race_next_target(r);
        char s[64];
        snprintf(s, sizeof s, "%.2f", next ? next->total : 0.0);
        t = next ? "Next target: " + next->name + " " + s : "Every target beaten";
    }
    snprintf(out, size, "%s", t.c_str());
}

/* The split line's colour: yellow for the hint, red for a gate gone by,
 * else white. */
static int split_line_colour(const course_race *r)
{
    return first_gear_hint() ? makecol(255, 220, 0)
           : r->p.in_lap && r->p.missed ? makecol(255, 70, 70) : makecol(255, 255, 255);
}

int timing_delta_text(const course_race *r, char *out, size_t size)
{
    out[0] = '\0';
    if (r->split.kind == course_split::NONE || !r->split.compared || first_gear_hint()
        || (r->p.in_lap && r->p.missed))
        return 0;
    double d = r->split.delta;
    snprintf(out, size, "%+.2f", d);
    return d < 0 ? -1 : d > 0 ? 1 : 0;
}

/* ----------------------------------------------------------------------
 * Cones and gates, on the tarmac under the car.
 * ---------------------------------------------------------------------- */

/* A standing cone seen from above: an orange disc, its tip white.  A
 * fallen one lies on its side, dull, its tip to the lower right. */
static void draw_cone(BITMAP *dst, int x, int y, bool fallen)
{
    if (fallen) {
        triangle(dst, x - 3, y - 5, x - 5, y + 2, x + 6, y + 4, makecol(150, 70, 20));
        return;
    }
    circlefill(dst, x, y, 4, makecol(255, 120, 0));
    circle(dst, x, y, 4, makecol(110, 45, 0));
    circlefill(dst, x, y, 1, makecol(255, 255, 255));
}

course_point gate_number_at(const course_gate &g)
{
    double dx = (double)g.b.x - g.a.x, dy = (double)g.b.y - g.a.y, len = std::hypot(dx, dy);
    return {(float)(g.a.x - dx / len * 12), (float)(g.a.y - dy / len * 12)};
}

/* A gate's two posts: the start gate's white, the others blue; the gate
 * that counts next yellow, larger, with a line between them.  Its number
 * (1 the start gate) stands beside post a, away from b. */
static void draw_gate(BITMAP *dst, const course_gate &g, int number, bool next)
{
    int col = next ? makecol(255, 220, 0) : number == 1 ? makecol(255, 255, 255) : makecol(30, 80, 230);
    if (next) {
        double dy = (double)g.b.y - g.a.y;
        line(dst, (int)g.a.x, (int)g.a.y, (int)g.b.x, (int)g.b.y, col);
        line(dst, (int)g.a.x + (dy != 0), (int)g.a.y + (dy == 0), (int)g.b.x + (dy != 0), (int)g.b.y + (dy == 0), col);
    }
    for (const course_point &q : {g.a, g.b}) {
        circlefill(dst, (int)q.x, (int)q.y, next ? 4 : 3, col);
        circle(dst, (int)q.x, (int)q.y, next ? 4 : 3, makecol(0, 0, 0));
    }
    char text[16];
    snprintf(text, sizeof text, "%d", number);
    course_point at = gate_number_at(g);
    int tx = (int)at.x - text_length(font, text) / 2, ty = (int)at.y - 4;
    textout_ex(dst, font, text, tx, ty, next ? col : makecol(0, 0, 0), -1);
}

/* The tarmac with the course drawn once, so that a frame costs one copy
 * however many cones: `full` with every gate and cone standing, `bare`
 * with the gates alone, what a fallen cone lies on.  Made again when the
 * tarmac or the course's places change. */
static struct {
    BITMAP *full, *bare;
    const BITMAP *track;
    std::vector<course_gate> gates;
    std::vector<course_point> cones;
} ground;

void forget_course_ground(void)
{
    for (BITMAP *b : {ground.full, ground.bare})
        if (b)
            destroy_bitmap(b);
    ground.full = ground.bare = nullptr;
    ground.track = nullptr;
}

/* ground made for c over the tarmac, or false when there is no memory
 * for it (the course is then drawn whole each frame). */
static bool ground_for(const course *c)
{
    auto same = [](const auto &a, const auto &b) {
        return a.size() == b.size() && (a.empty() || memcmp(a.data(), b.data(), a.size() * sizeof a[0]) == 0);
    };
    if (ground.full && ground.track == Track && same(ground.gates, c->gates) && same(ground.cones, c->cones))
        return true;
    forget_course_ground();
    ground.full = create_bitmap(1024, 768), ground.bare = create_bitmap(1024, 768);
    if (!ground.full || !ground.bare) {
        forget_course_ground();
        return false;
    }
    clear_to_color(ground.bare, makecol(0, 0, 0));
    blit(Track, ground.bare, 0, 0, 0, 0, 1024, 768);
    for (size_t g = 0; g < c->gates.size(); g++)
        draw_gate(ground.bare, c->gates[g], (int)g + 1, false);
    blit(ground.bare, ground.full, 0, 0, 0, 0, 1024, 768);
    for (const course_point &k : c->cones)
        draw_cone(ground.full, (int)k.x, (int)k.y, false);
    ground.track = Track, ground.gates = c->gates, ground.cones = c->cones;
    return true;
}

void draw_ground(BITMAP *dst, const course_race *r)
{
    const course *c = r->c;
    const course_progress *p = &r->p;
    bool made = ground_for(c);
    blit(made ? ground.full : Track, dst, 0, 0, 0, 0, 1024, 768);
    for (size_t g = 0; !made && g < c->gates.size(); g++)
        draw_gate(dst, c->gates[g], (int)g + 1, false);
    for (size_t k = 0; k < c->cones.size(); k++) {
        int cx = (int)c->cones[k].x, cy = (int)c->cones[k].y;
        if (made && p->knocked[k])   /* the standing cone taken away */
            blit(ground.bare, dst, cx - 6, cy - 6, cx - 6, cy - 6, 13, 13);
        if (!made || p->knocked[k])
            draw_cone(dst, cx, cy, p->knocked[k] != 0);
    }
    if (!course_finished(c, p))
        draw_gate(dst, c->gates[p->next_gate], p->next_gate + 1, true);
}

/* ----------------------------------------------------------------------
 * The ghost: the car's sprite turned into a scratch bitmap, recoloured
 * pale blue by its brightness (so it is never taken for the car), then
 * laid over the view at half strength.
 * ---------------------------------------------------------------------- */

/* The sprite's pixels in the ghost's colour, each as bright as it was. */
static void ghost_colours(BITMAP *b)
{
    const int mask = bitmap_mask_color(b), depth = bitmap_color_depth(b);
    for (int py = 0; py < b->h; py++)
        for (int px = 0; px < b->w; px++) {
            int c = getpixel(b, px, py);
            if (c == mask)
                continue;
            int lum = (getr_depth(depth, c) * 3 + getg_depth(depth, c) * 6 + getb_depth(depth, c)) / 10;
            int v = 90 + lum * 165 / 255;   /* never black: the ghost stays seen on dark tarmac */
            int g = makecol_depth(depth, v / 5, v * 3 / 5, v);
            putpixel(b, px, py, g == mask ? g ^ 1 : g);
        }
}

/* Room for the sprite turned any way about its pivot (13, 25): its
 * farthest corner is 29 px from it. */
enum { GHOST_SIZE = 64 };

void draw_ghost(BITMAP *dst, const course_race *r)
{
    const course_pose *g = race_ghost(r);
    if (!g || !car_drawable(g->x, g->y, g->angle))
        return;
    static BITMAP *scratch;
    if (!scratch || bitmap_color_depth(scratch) != bitmap_color_depth(dst)) {
        if (scratch)
            destroy_bitmap(scratch);
        if (!(scratch = create_bitmap_ex(bitmap_color_depth(dst), GHOST_SIZE, GHOST_SIZE)))
            return;   /* no memory for it: no ghost this frame */
    }
    clear_to_color(scratch, bitmap_mask_color(scratch));
    pivot_sprite(scratch, kvtcar, GHOST_SIZE / 2, GHOST_SIZE / 2, 13, 25, car_turn(g->angle));
    ghost_colours(scratch);
    int gx = (int)g->x - GHOST_SIZE / 2, gy = (int)g->y - GHOST_SIZE / 2;
    if (bitmap_color_depth(dst) != 16 || !is_memory_bitmap(dst)) {
        set_trans_blender(0, 0, 0, 128);
        draw_trans_sprite(dst, scratch, gx, gy);
        return;
    }
    /* Half the car and half what is under it, channel by channel: the low
     * bit of each 5-6-5 channel dropped, the halves added.  The library's
     * blender does the same through a call per pixel, three times slower. */
    const uint16_t mask = (uint16_t)bitmap_mask_color(scratch);
    for (int sy = std::max(0, dst->ct - gy); sy < GHOST_SIZE && gy + sy < dst->cb; sy++) {
        const uint16_t *from = (const uint16_t *)scratch->line[sy];
        uint16_t *to = (uint16_t *)dst->line[gy + sy] + gx;
        for (int sx = std::max(0, dst->cl - gx); sx < GHOST_SIZE && gx + sx < dst->cr; sx++)
            if (from[sx] != mask)
                to[sx] = (uint16_t)(((from[sx] & 0xf7de) >> 1) + ((to[sx] & 0xf7de) >> 1));
    }
}

std::vector<view_box> course_view_boxes(const course *c)
{
    int tx = (int)c->timing.x, ty = (int)c->timing.y;
    return {
        {"the timing box", tx, ty, tx + TIMING_W, ty + TIMING_H},
        {"the telemetry column", TELEMETRY_COL, TELEMETRY_TOP, TELEMETRY_COL + TELEMETRY_W,
         TELEMETRY_TOP + TELEMETRY_H},
        {"the dashboard", DASHBOARD_X, DASHBOARD_Y, 1024, DASHBOARD_Y + DASHBOARD_H},
        {"the chart", 0, CHART_PANEL_TOP, 1024, CHART_PANEL_TOP + CHART_PANEL_H},
        {"the pause sign", PAUSED_X, PAUSED_Y, PAUSED_X + PAUSED_W, PAUSED_Y + PAUSED_H},
        {"the replay's mark", REPLAY_X, REPLAY_Y, REPLAY_X + REPLAY_W, REPLAY_Y + REPLAY_H + REPLAY_BAR_H},
    };
}

/* ----------------------------------------------------------------------
 * The timing box at the top: white on black, the split's difference
 * green when ahead of the lap to beat, red when behind.  Text is slow to
 * draw: the box is kept, and a line drawn again only when it changes
 * (mostly the running time).
 * ---------------------------------------------------------------------- */
static struct {
    BITMAP *box;
    char lines[TIMING_LINES][TIMING_CHARS + 1];
    char delta[16];
    int sign;
    bool stale;   /* the box is new: every line to draw */
} shown;

/* Line i of the box as text in its colour (and the split's difference
 * after it), in b at its place, on black. */
static void box_line(BITMAP *b, int bx, int by, int i, const char *text, int colour, const char *delta, int sign)
{
    int white = makecol(255, 255, 255), ty = by + 6 + 12 * i;
    rectfill(b, bx, ty - 2, bx + TIMING_W - 1, ty + 9, makecol(0, 0, 0));
    textout_ex(b, font, text, bx + 8, ty, colour, -1);
    if (delta) {
        int col = sign < 0 ? makecol(60, 220, 60) : sign > 0 ? makecol(255, 70, 70) : white;
        textout_ex(b, font, delta, bx + 8 + text_length(font, text) + 16, ty, col, -1);
    }
}

void draw_timing(BITMAP *dst, const course_race *r)
{
    if (!shown.box || bitmap_color_depth(shown.box) != bitmap_color_depth(dst)) {
        if (shown.box)
            destroy_bitmap(shown.box);
        shown.box = create_bitmap_ex(bitmap_color_depth(dst), TIMING_W, TIMING_H);
        if (shown.box)
            clear_to_color(shown.box, makecol(0, 0, 0));
        shown.stale = true;
    }
    BITMAP *b = shown.box ? shown.box : dst;
    const int x0 = (int)r->c->timing.x, y0 = (int)r->c->timing.y;
    int bx = shown.box ? 0 : x0, by = shown.box ? 0 : y0;
    if (!shown.box)
        rectfill(dst, x0, y0, x0 + TIMING_W - 1, y0 + TIMING_H - 1, makecol(0, 0, 0));
    char text[TIMING_CHARS + 1], delta[sizeof shown.delta];
    for (int i = 0; i < TIMING_LINES; i++) {
        timing_text(r, i, text, sizeof text);
        bool last = i == TIMING_SPLIT_LINE;
        int sign = last ? timing_delta_text(r, delta, sizeof delta) : 0;
        if (shown.box && !shown.stale && !strcmp(text, shown.lines[i])
            && (!last || (!strcmp(delta, shown.delta) && sign == shown.sign)))
            continue;
        box_line(b, bx, by, i, text, last ? split_line_colour(r) : makecol(255, 255, 255), last ? delta : nullptr,
                 sign);
        if (shown.box)
            memcpy(shown.lines[i], text, sizeof text);
        if (shown.box && last)
            memcpy(shown.delta, delta, sizeof delta), shown.sign = sign;
    }
    if (shown.box)
        blit(shown.box, dst, 0, 0, x0, y0, TIMING_W, TIMING_H);
    shown.stale = false;
}

/* ----------------------------------------------------------------------
 * The way to the next gate: a small yellow arrow ahead of the car.
 * ---------------------------------------------------------------------- */
/* px: how far the gate must be, the arrow's place ahead of the car, its half size */
static const double WAY_FAR = 250, WAY_AHEAD = 40, WAY_SIZE = 7;

static double short_way(double d, double size)
{
    return d > size / 2 ? d - size : d < -size / 2 ? d + size : d;
}

void draw_way(BITMAP *dst, const course_race *r)
{
    const course_progress *p = &r->p;
    if (course_finished(r->c, p) || !std::isfinite(x) || !std::isfinite(y))
        return;
    const course_gate &g = r->c->gates[p->next_gate];
    double dx = short_way(((double)g.a.x + g.b.x) / 2 - x, 1024), dy = short_way(((double)g.a.y + g.b.y) / 2 - y, 768);
    double d = std::hypot(dx, dy);
    if (!(d > WAY_FAR) || std::fabs(x) > 2048 || std::fabs(y) > 2048)
        return;
    double ux = dx / d, uy = dy / d, tx = x + ux * WAY_AHEAD, ty = y + uy * WAY_AHEAD;
    int col = makecol(255, 220, 0);
    triangle(dst, (int)(tx + ux * WAY_SIZE), (int)(ty + uy * WAY_SIZE), (int)(tx - ux * WAY_SIZE - uy * WAY_SIZE),
             (int)(ty - uy * WAY_SIZE + ux * WAY_SIZE), (int)(tx - ux * WAY_SIZE + uy * WAY_SIZE),
             (int)(ty - uy * WAY_SIZE - ux * WAY_SIZE), col);
}

/* ----------------------------------------------------------------------
 * The result after the last lap, in a black box over the middle.
 * ---------------------------------------------------------------------- */
enum { RESULT_W = 400, RESULT_LINE = 12 };

bool result_text(const course_race *r, int i, char *out, size_t size)
{
    const course *c = r->c;
    const int laps = (int)r->laps.size();
    std::string t;
    if (i == 0)
        t = "Result: " + cut_name(c->name);
    else if (i == 1)
        t = "";
    else if (i - 2 < laps) {
        const course_lap_head &l = r->laps[i - 2];
        char s[96];
        snprintf(s, sizeof s, "Lap %d  %s  %s  %s", l.lap, seconds(l.ticks).c_str(), plural(l.cones, "cone").c_str(),
                 total(c, &l).c_str());
        t = s;
    } else if (i - 2 == laps) {
        double sum = 0;
        for (const course_lap_head &l : r->laps)
            sum += course_lap_total(c, &l);
        char s[64];
        snprintf(s, sizeof s, "Total %.2f   Best %s", sum, total(c, race_best(r)).c_str());
        t = s;
    } else if (i - 3 == laps) {
        std::string beaten;
        for (const course_target &k : r->targets)
            if (race_beat(r, &k))
                beaten += (beaten.empty() ? "" : ", ") + k.name;
        t = r->targets.empty() ? "" : "Targets beaten: " + (beaten.empty() ? std::string("none") : beaten);
    } else if (i - 4 == laps) {
        t = "";
    } else if (i - 5 == laps) {
        t = "R: go again   Q: title screen   Escape: quit";
    } else {
        return false;
    }
    snprintf(out, size, "%s", t.c_str());
    return true;
}

void draw_result(BITMAP *dst, const course_race *r)
{
    if (!course_finished(r->c, &r->p) || r->laps.empty())
        return;
    char text[128];
    int n = 0;
    while (result_text(r, n, text, sizeof text))
        n++;
    int h = n * RESULT_LINE + 16, x0 = 512 - RESULT_W / 2, y0 = 384 - h / 2;
    rectfill(dst, x0, y0, x0 + RESULT_W - 1, y0 + h - 1, makecol(0, 0, 0));
    rect(dst, x0, y0, x0 + RESULT_W - 1, y0 + h - 1, makecol(255, 220, 0));
    for (int i = 0; i < n; i++) {
        result_text(r, i, text, sizeof text);
        textout_ex(dst, font, text, x0 + 12, y0 + 8 + i * RESULT_LINE, makecol(255, 255, 255), -1);
    }
}
