/*
 * present/chart_ring.cpp -- the chart's ring of the last ten seconds.
 *
 * A fixed array written round and round: recording costs a few stores a
 * tick and nothing is ever allocated.  Filled whether or not the chart is
 * shown, so it has the whole ten seconds the moment it is turned on.
 */
#include <cmath>

#include "chart.h"
#include "sim/state.h"

static chart_sample ring[CHART_TICKS];
static int next;    /* where the next sample goes */
static int held;    /* samples held, up to CHART_TICKS */

double slip_angle(double axis_deg, double travel_deg)
{
    double d = std::fmod(axis_deg - travel_deg, 360.0);  /* (-360, 360) */
    if (d > 180)
        d -= 360;
    else if (d <= -180)
        d += 360;
    return d;
}

void chart_record(void)
{
    chart_sample &s = ring[next];
    s.true_kmh = (float)((double)TrueVelocity * 3.6);
    s.wheel_kmh = (float)((double)Velocity * 3.6);
    s.rev = EngineRev;
    s.slip_deg = (float)slip_angle(AxisAngle, TrueAngle);
    s.sliding = TractionSlip;
    next = next == CHART_TICKS - 1 ? 0 : next + 1;
    if (held < CHART_TICKS)
        held++;
}

void chart_clear(void)
{
    next = held = 0;
}

int chart_count(void)
{
    return held;
}

const chart_sample &chart_at(int i)
{
    int at = next - held + i;  /* below next, so at most one turn back */
    return ring[at < 0 ? at + CHART_TICKS : at];
}
