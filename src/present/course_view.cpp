/*
 * present/course_view.cpp -- a course over the driving view: cones and
 * gates on the tarmac, the ghost of the lap to beat, the timing box.
 */
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <string>

#include "course/race.h"
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
static std::string total(const course *c, const course_lap *l)
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

void timing_text(const course_race *r, int i, char *out, size_t size)
{
    const course *c = r->c;
    const course_progress *p = &r->p;
    const course_lap *best = race_best(r);
    std::string t;
    if (i == 0)
        t = c->name.substr(0, TIMING_CHARS);
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
    else if (r->split.kind != course_split::NONE) {
        char s[64];
        snprintf(s, sizeof s, "%.2f", r->split.time);
        t = (r->split.kind == course_split::GATE ? "Gate " : "Lap ") + std::to_string(r->split.number) + "  " + s;
    }
    snprintf(out, size, "%s", t.c_str());
}

int timing_delta_text(const course_race *r, char *out, size_t size)
{
    out[0] = '\0';
    if (r->split.kind == course_split::NONE || !r->split.compared)
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

/* A gate's two posts: the start gate's white, the others blue; the gate
 * that counts next yellow, larger, with a dotted line between them. */
static void draw_gate(BITMAP *dst, const course_gate &g, bool start, bool next)
{
    int col = next ? makecol(255, 220, 0) : start ? makecol(255, 255, 255) : makecol(30, 80, 230);
    if (next) {
        double dx = (double)g.b.x - g.a.x, dy = (double)g.b.y - g.a.y;
        int dots = (int)(std::hypot(dx, dy) / 6);
        for (int k = 1; k < dots; k++)
            circlefill(dst, (int)(g.a.x + dx * k / dots), (int)(g.a.y + dy * k / dots), 1, col);
    }
    for (const course_point &q : {g.a, g.b}) {
        circlefill(dst, (int)q.x, (int)q.y, next ? 4 : 3, col);
        circle(dst, (int)q.x, (int)q.y, next ? 4 : 3, makecol(0, 0, 0));
    }
}

void draw_course(BITMAP *dst, const course_race *r)
{
    const course *c = r->c;
    const course_progress *p = &r->p;
    int next = course_finished(c, p) ? -1 : p->next_gate;
    for (size_t g = 0; g < c->gates.size(); g++)
        draw_gate(dst, c->gates[g], g == 0, (int)g == next);
    for (size_t k = 0; k < c->cones.size(); k++)
        draw_cone(dst, (int)c->cones[k].x, (int)c->cones[k].y, p->knocked[k] != 0);
}

/* ----------------------------------------------------------------------
 * The ghost: the car's sprite turned into a scratch bitmap, then laid
 * over the view translucent.
 * ---------------------------------------------------------------------- */

/* Room for the sprite turned any way about its pivot (13, 25): its
 * farthest corner is 29 px from it. */
enum { GHOST_SIZE = 64, GHOST_ALPHA = 110 };

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
    set_trans_blender(0, 0, 0, GHOST_ALPHA);
    draw_trans_sprite(dst, scratch, (int)g->x - GHOST_SIZE / 2, (int)g->y - GHOST_SIZE / 2);
}

/* ----------------------------------------------------------------------
 * The timing box at the top: white on black, the split's difference
 * green when ahead of the lap to beat, red when behind.
 * ---------------------------------------------------------------------- */
void draw_timing(BITMAP *dst, const course_race *r)
{
    int white = makecol(255, 255, 255);
    rectfill(dst, TIMING_X, TIMING_Y, TIMING_X + TIMING_W - 1, TIMING_Y + TIMING_H - 1, makecol(0, 0, 0));
    char text[96];
    for (int i = 0; i < TIMING_LINES; i++) {
        timing_text(r, i, text, sizeof text);
        int tx = TIMING_X + 8, ty = TIMING_Y + 6 + 12 * i;
        textprintf_ex(dst, font, tx, ty, white, -1, "%.*s", TIMING_CHARS, text);
        if (i == TIMING_LINES - 1) {
            tx += text_length(font, text) + 16;
            int sign = timing_delta_text(r, text, sizeof text);
            int col = sign < 0 ? makecol(60, 220, 60) : sign > 0 ? makecol(255, 70, 70) : white;
            textprintf_ex(dst, font, tx, ty, col, -1, "%s", text);
        }
    }
}
