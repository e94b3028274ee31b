/* The chart's ring against a trace of the same run, no game library. */
#include "present/chart.h"
#include "support.h"

/* Catches a ring that loses order or values, holds other than ten seconds, mixes up slides. */
TEST_F(Sim, ChartRingHoldsTheLastTenSecondsOfTheTrace)
{
    struct row { float TrueVelocity, Velocity, EngineRev, AxisAngle, TrueAngle; int TractionSlip; };
    for (int n : {0, 1, 999, 1000, 1001, 2345, 4500}) {
        sim_start(), chart_clear();
        std::vector<row> trace;
        /* Full throttle in first, right lock from 6 s, a reset every 20 s. */
        for (int t = 0; t < n; t++) {
            ticks(1, t == 0 ? std::vector<int>{A} : t % 2000 == 0 ? std::vector<int>{R}
                     : t % 2000 < 600 ? std::vector<int>{UP} : std::vector<int>{UP, RIGHT});
            chart_record();
            trace.push_back({TrueVelocity, Velocity, EngineRev, AxisAngle, TrueAngle, TractionSlip});
        }
        int held = std::min(n, (int)CHART_TICKS), slides = 0;
        ASSERT_EQ(chart_count(), held) << n << " ticks";
        for (int i = 0; i < held; i++) {
            const chart_sample &s = chart_at(i);
            const row &r = trace[n - held + i];
            EXPECT_BITS(s.true_kmh, (float)(r.TrueVelocity * 3.6));
            EXPECT_BITS(s.wheel_kmh, (float)(r.Velocity * 3.6));
            EXPECT_BITS(s.rev, r.EngineRev);
            EXPECT_BITS(s.slip_deg, (float)slip_angle(r.AxisAngle, r.TrueAngle));
            EXPECT_EQ(s.sliding, r.TractionSlip);
            slides += s.sliding;
        }
        EXPECT_TRUE(n <= 1000 || (slides > 0 && slides < held)) << n;   /* both grip and slide */
    }
}

/* Catches a slip angle outside (-180, 180] across the wraps the dynamics leave. */
TEST(ChartSlip, AngleBetweenHeadingAndTravel)
{
    struct { double axis, travel, want; } cases[] = {
        {90, 90, 0}, {10, 350, 20}, {350, 10, -20}, {0, 180, 180}, {180, 0, 180}, {0, 359.5, 0.5}, {360, 179, -179},
    };
    for (auto c : cases)
        EXPECT_DOUBLE_EQ(slip_angle(c.axis, c.travel), c.want) << c.axis << " - " << c.travel;
}
