/*
 * present/chart.cpp -- the chart drawn over the bottom of the driving view.
 *
 * Ten seconds at one pixel column per tick, the latest at the right.
 * Each line has a zero in the middle of the plot and a scale of 1, 2 or
 * 5 times a power of ten just above the largest size it reached in the
 * ten seconds (the two speeds share one), so a line never leaves the plot.
 */
#include <allegro.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "chart.h"

/* Rows and columns inside the panel. */
static const int LEGEND_ROW = CHART_PANEL_TOP + 6;
static const int SCALE_ROW = CHART_PANEL_TOP + 18;
static const int PLOT_TOP = CHART_PANEL_TOP + 32;
static const int PLOT_HALF = 76;                 /* px from zero to full scale */
static const int PLOT_ZERO = PLOT_TOP + PLOT_HALF;
static const int MARK_TOP = PLOT_ZERO + PLOT_HALF + 4;  /* slide marks below the plot */
static const int MARK_H = 6;
static const int PLOT_LEFT = 12;                 /* column of the oldest of 1000 */

/* Halves every channel of the panel's pixels: the tarmac shows through,
 * dark.  Straight on the rows of a 16-bit memory bitmap, where the
 * library's blender would make a call per pixel; anything else gets a
 * plain panel. */
static void darken_panel(BITMAP *dst)
{
    if (!is_memory_bitmap(dst) || bitmap_color_depth(dst) != 16 || dst->w < 1) {
        rectfill(dst, 0, CHART_PANEL_TOP, dst->w - 1, CHART_PANEL_TOP + CHART_PANEL_H - 1,
                 makecol(40, 40, 40));
        return;
    }
    /* The lowest bit of each channel, dropped before the shift so that
     * no channel spills into its neighbour. */
    const uint16_t keep = (uint16_t)~((1u << _rgb_r_shift_16) | (1u << _rgb_g_shift_16)
                                      | (1u << _rgb_b_shift_16));
    int bottom = CHART_PANEL_TOP + CHART_PANEL_H;
    if (bottom > dst->h)
        bottom = dst->h;
    for (int py = CHART_PANEL_TOP; py < bottom; py++) {
        uint16_t *p = (uint16_t *)dst->line[py];
        for (int px = 0; px < dst->w; px++)
            p[px] = (uint16_t)((p[px] & keep) >> 1);
    }
}

/* The smallest of 1, 2, 5 x 10^k at or above m, from least (a power of
 * ten) up to most (a value past most is drawn at the plot's edge). */
static double nice_scale(double m, double least, double most)
{
    double s = least;
    for (int k = 0; s < m && s < most; k++)
        s *= k % 3 == 1 ? 2.5 : 2;  /* 1 -> 2 -> 5 -> 10 */
    return s < most ? s : most;
}

/* Row of value v on a scale of +-scale, within the plot. */
static int row_of(double v, double scale)
{
    double r = PLOT_ZERO - v / scale * PLOT_HALF;
    if (std::isnan(r))
        r = PLOT_ZERO;
    r = std::clamp(r, (double)PLOT_TOP, (double)PLOT_ZERO + PLOT_HALF);
    return (int)(r + 0.5);  /* positive: nearest row */
}

/* One line through the held samples: a vertical run per column, from
 * the previous sample's row to this one's, so steep changes stay joined. */
static void plot(BITMAP *dst, float chart_sample::*field, double scale, int colour)
{
    int n = chart_count();
    int left = PLOT_LEFT + CHART_TICKS - n;
    int prev = 0;
    for (int i = 0; i < n; i++) {
        int r = row_of(chart_at(i).*field, scale);
        vline(dst, left + i, i ? prev : r, r, colour);
        prev = r;
    }
}

/* The largest size either field reached in the ring; 0 when empty. */
static double largest(float chart_sample::*a, float chart_sample::*b)
{
    double m = 0;  /* a NaN never wins a comparison, so it is passed over */
    for (int i = 0, n = chart_count(); i < n; i++) {
        const chart_sample &s = chart_at(i);
        double va = std::fabs((double)(s.*a)), vb = std::fabs((double)(s.*b));
        if (va > m)
            m = va;
        if (vb > m)
            m = vb;
    }
    return m;
}

/* ----------------------------------------------------------------------
 * draw_chart: panel, frame lines, legend, scales, the four lines (the
 * speeds last, on top) and the slide marks.  Reads the ring only.
 * ---------------------------------------------------------------------- */
void draw_chart(BITMAP *dst)
{
    darken_panel(dst);

    double speed = nice_scale(largest(&chart_sample::true_kmh, &chart_sample::wheel_kmh), 10, 1e6);
    double rev = nice_scale(largest(&chart_sample::rev, &chart_sample::rev), 1000, 1e7);
    double slip = nice_scale(largest(&chart_sample::slip_deg, &chart_sample::slip_deg), 10, 180);

    struct line {
        float chart_sample::*field;
        double scale;
        int colour;
        const char *name;
    } lines[] = {
        {&chart_sample::rev, rev, makecol(255, 160, 0), "EngineRev rev/min"},
        {&chart_sample::slip_deg, slip, makecol(80, 255, 80), "slip angle deg"},
        {&chart_sample::wheel_kmh, speed, makecol(0, 210, 255), "Velocity km/h"},
        {&chart_sample::true_kmh, speed, makecol(255, 255, 255), "TrueVelocity km/h"},
    };
    int grey = makecol(150, 150, 150);
    int red = makecol(255, 40, 40);

    int right = PLOT_LEFT + CHART_TICKS - 1;
    hline(dst, PLOT_LEFT, PLOT_TOP, right, makecol(90, 90, 90));
    hline(dst, PLOT_LEFT, PLOT_ZERO, right, grey);
    hline(dst, PLOT_LEFT, PLOT_ZERO + PLOT_HALF, right, makecol(90, 90, 90));

    /* Legend: each name in its line's colour after a swatch; the
     * slide mark last. */
    int col = PLOT_LEFT;
    for (const line &l : lines) {
        rectfill(dst, col, LEGEND_ROW + 3, col + 11, LEGEND_ROW + 4, l.colour);
        textout_ex(dst, font, l.name, col + 16, LEGEND_ROW, l.colour, -1);
        col += 16 + text_length(font, l.name) + 24;
    }
    rectfill(dst, col, LEGEND_ROW, col + 2, LEGEND_ROW + 7, red);
    textout_ex(dst, font, "TractionSlip 1", col + 8, LEGEND_ROW, red, -1);

    textprintf_ex(dst, font, PLOT_LEFT, SCALE_ROW, grey, -1,
                  "full scale: speeds +-%.0f km/h, EngineRev +-%.0f rev/min, slip +-%.0f deg;"
                  " last 10 s, latest at the right",
                  speed, rev, slip);

    for (const line &l : lines)
        plot(dst, l.field, l.scale, l.colour);

    int n = chart_count();
    for (int i = 0, left = PLOT_LEFT + CHART_TICKS - n; i < n; i++)
        if (chart_at(i).sliding)
            vline(dst, left + i, MARK_TOP, MARK_TOP + MARK_H - 1, red);
}
