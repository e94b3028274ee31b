/*
 * present/chart.h -- the live chart: the last ten seconds of the drive.
 *
 * Two halves.  The ring (chart_ring.cpp) takes one sample of the state
 * after every tick the game runs and never writes the state; it does not
 * include the game library, so it is tested and could be filled anywhere
 * a tick runs.  The drawing (chart.cpp) puts the ring over a panel along
 * the bottom of a frame.
 */
#ifndef CARAVELT_PRESENT_CHART_H
#define CARAVELT_PRESENT_CHART_H

struct BITMAP;

/* Ten seconds of 0.01 s ticks. */
enum { CHART_TICKS = 1000 };

/* One tick's values, each worked out in double and stored once. */
struct chart_sample {
    float true_kmh;   /* TrueVelocity, km/h */
    float wheel_kmh;  /* Velocity, km/h */
    float rev;        /* EngineRev, rev/min */
    float slip_deg;   /* AxisAngle - TrueAngle, within (-180, 180], degrees */
    int sliding;      /* TractionSlip */
};

/* ----------------------------------------------------------------------
 * The ring (chart_ring.cpp).
 * ---------------------------------------------------------------------- */

/* Samples the state the latest tick left; past CHART_TICKS samples the
 * oldest is dropped.  Reads the state only. */
void chart_record(void);

/* Empties the ring. */
void chart_clear(void);

/* Samples held, 0 .. CHART_TICKS. */
int chart_count(void);

/* Sample i, 0 the oldest held .. chart_count() - 1 the latest. */
const chart_sample &chart_at(int i);

/* Heading minus direction of travel, degrees, brought within (-180, 180]. */
double slip_angle(double axis_deg, double travel_deg);

/* ----------------------------------------------------------------------
 * The drawing (chart.cpp).
 * ---------------------------------------------------------------------- */

/* The panel: the whole width, this many rows at the bottom of the frame. */
enum { CHART_PANEL_TOP = 568, CHART_PANEL_H = 200 };

/* Panel, scales, legend, the four lines and the slide marks into dst. */
void draw_chart(BITMAP *dst);

#endif
