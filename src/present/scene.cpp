/*
 * present/scene.cpp -- the driving view: tarmac, car, dashboard.
 */
#include <cmath>
#include <cstdio>

#include "chart.h"
#include "present.h"
#include "sim/state.h"

/* Made by start-up (or by a tool or test that composes frames), kept for
 * the whole run. */
BITMAP *buffer;
BITMAP *Track;
BITMAP *kvtcar;

bool chart_shown;
bool paused_shown;

/* The library turns sprites in 256ths of a turn: 360 / 256 degrees each. */
static const double DEG_PER_ANGLE_UNIT = 1.40625;

/* The car is drawn only with its pivot this close to the screen: beyond,
 * the sprite (27 x 50 px) would not show, and the library's fixed-point
 * coordinates overflow far out. */
static const float SPRITE_REACH = 64;

/* A heading beyond this many degrees is taken within one turn first; the
 * library's angle saturates near 32768 units. */
static const double HEADING_WIDE = 23040;

/* Where each dashboard line's top-left corner goes; the gear line stands
 * 40 px right of the others. */
static const int dash_col[DASHBOARD_LINES] = {940, 900, 900, 900};
static const int dash_row[DASHBOARD_LINES] = {300, 310, 320, 330};

/* A heading taken within one turn when the library's angle would not
 * hold it. */
static double drawn_heading(float heading)
{
    double h = heading;
    return std::fabs(h) < HEADING_WIDE ? h : std::fmod(h, 360.0);
}

/* A position or heading that is not finite, or a position far off the
 * screen, draws no car: no such float is ever converted to int. */
bool car_drawable(float px, float py, float heading)
{
    return px >= -SPRITE_REACH && px <= 1024 + SPRITE_REACH && py >= -SPRITE_REACH
           && py <= 768 + SPRITE_REACH && std::isfinite(drawn_heading(heading));
}

fixed car_turn(float heading)
{
    return ftofix(drawn_heading(heading) / DEG_PER_ANGLE_UNIT);
}

void dashboard_text(int i, char *out, size_t size)
{
    switch (i) {
    case 0: snprintf(out, size, "Gear:%d", Gear); break;
    case 1: snprintf(out, size, "Velocity:%.2f", (double)Velocity); break;
    case 2: snprintf(out, size, "Speed:%.1f", (double)Velocity * 3.6); break;  /* km/h */
    default: snprintf(out, size, "RPM = %.3f", (double)EngineRev); break;
    }
}

char replay_progress[64];
double replay_share;

/* "REPLAY" and the progress text, white on black; the share played as a
 * white bar along a grey one under the box. */
static void draw_replay_mark(BITMAP *dst)
{
    char text[96];
    snprintf(text, sizeof text, "REPLAY  %s", replay_progress);
    int w = text_length(font, text) + 12, bottom = REPLAY_Y + REPLAY_H - 1;
    rectfill(dst, REPLAY_X, REPLAY_Y, REPLAY_X + w - 1, bottom + REPLAY_BAR_H, makecol(0, 0, 0));
    textout_ex(dst, font, text, REPLAY_X + 6, REPLAY_Y + 6, makecol(255, 255, 255), -1);
    double share = replay_share > 0 ? (replay_share < 1 ? replay_share : 1) : 0;
    int bar = REPLAY_X + 6 + (int)(share * (w - 12));
    rectfill(dst, REPLAY_X + 6, bottom, REPLAY_X + w - 7, bottom + REPLAY_BAR_H - 2, makecol(96, 96, 96));
    if (bar > REPLAY_X + 6)
        rectfill(dst, REPLAY_X + 6, bottom, bar - 1, bottom + REPLAY_BAR_H - 2, makecol(255, 255, 255));
}

/* ----------------------------------------------------------------------
 * draw_frame: the whole driving view into dst.  The tarmac copy is the
 * only erase; a tarmac smaller than the frame leaves the rest as it was
 * (with a course, black).
 * ---------------------------------------------------------------------- */
void draw_frame(BITMAP *dst)
{
    if (view_race) {
        draw_ground(dst, view_race);
        draw_ghost(dst, view_race);
    } else {
        blit(Track, dst, 0, 0, 0, 0, 1024, 768);
    }

    /* Sprite pixel (13, 25) lands on the car's position, truncated toward
     * zero; heading 0 draws the sprite as stored (facing up). */
    if (car_drawable(x, y, AxisAngle))
        pivot_sprite(dst, kvtcar, (int)x, (int)y, 13, 25, car_turn(AxisAngle));
    if (view_race)
        draw_way(dst, view_race);

    int black = makecol(0, 0, 0);
    for (int i = 0; i < DASHBOARD_LINES; i++) {
        char text[64];
        dashboard_text(i, text, sizeof text);
        textprintf_ex(dst, font, dash_col[i], dash_row[i], black, -1, "%s", text);
    }

    draw_telemetry(dst);

    if (view_race) {
        draw_timing(dst, view_race);
        draw_result(dst, view_race);
    }
    if (chart_shown)
        draw_chart(dst);
    if (replay_progress[0])
        draw_replay_mark(dst);
    if (paused_shown) {
        rectfill(dst, PAUSED_X, PAUSED_Y, PAUSED_X + PAUSED_W - 1, PAUSED_Y + PAUSED_H - 1, black);
        textout_centre_ex(dst, font, "PAUSED", PAUSED_X + PAUSED_W / 2, PAUSED_Y + 6,
                          makecol(255, 255, 255), -1);
    }
}

char view_notice[127];

/* Black text on a white strip along the foot of the screen, clear of the
 * dashboard and the telemetry column. */
static void draw_notice(BITMAP *dst)
{
    int w = text_length(font, view_notice);
    rectfill(dst, 0, 748, w + 11, 767, makecol(255, 255, 255));
    textprintf_ex(dst, font, 6, 754, makecol(0, 0, 0), -1, "%s", view_notice);
}

/* ----------------------------------------------------------------------
 * graphic: one frame of the driving view on the screen, then a 10 ms
 * rest that paces the frames and gives the processor up.
 * ---------------------------------------------------------------------- */
void graphic(void)
{
    acquire_screen();
    draw_frame(buffer);
    if (view_notice[0])
        draw_notice(buffer);
    blit(buffer, screen, 0, 0, 0, 0, 1024, 768);
    release_screen();
    rest(10);
}
