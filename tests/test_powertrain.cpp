/* The small functions at edge values that only come out so in double, rounded once. */
#include "support.h"

/* Catches single-precision steps, a lost sign of zero, a double rounding. */
TEST_F(Sim, SinModuloAndTorqueAtTheirEdges)
{
    EXPECT_BITS(Sin(30), 0.5f);
    EXPECT_BITS(Sin(-90), -1.0f);
    EXPECT_BITS(Sin(180), 3.5897931e-09f);   /* pi to eight decimals, extended product */
    EXPECT_BITS(Modulo(-2.5f), 2.5f);
    EXPECT_BITS(Modulo(-0.0f), -0.0f);
    struct { float rev, torque; } cases[] = {
        {1000, 140.06789f}, {3896, 357.0f}, {5844, 252.43712f}, {7792, 1.2815561e-06f},
        {8000, -29.90361f}, {-1000, -140.06789f},
    };
    for (auto c : cases)
        EXPECT_BITS(GetTorqueArcade(c.rev), c.torque) << "at " << c.rev;
    EngineCurve = 100;
    EXPECT_BITS(GetTorqueArcade(3896), 457.0f);
}

/* Catches the ratio taken from TransmissionTotal rather than Gear. */
TEST_F(Sim, EngineRevFollowsTheGearEngagedAtTheCall)
{
    struct { int gear; float v, rev; } cases[] = {{1, 10, 3456.0076f}, {5, 30, 2634.321f}, {-1, -2, 811.018f}, {0, 25, 0}};
    TransmissionTotal = 99;
    for (auto c : cases) {
        Gear = c.gear;
        EXPECT_BITS(GetEngineRev(c.v), c.rev) << "gear " << c.gear;
    }
}

/* Catches a latch with two bounds or an unsigned one (equality or NaN keeps it). */
TEST_F(Sim, TractionLatchesOnOneSignedBound)
{
    struct { float accel, g; int slip_before; float grip; int slip; } cases[] = {
        {0.01f, 0.94f, 0, 0.7f, 1}, {0.005f, 0.94f, 1, 1.0f, 0}, {-0.03f, 0.94f, 1, 1.0f, 0},
        {0, 0, 1, 0.7f, 1}, {0, 0, 0, 1.0f, 0}, {NAN, 0.94f, 1, 0.7f, 1}, {NAN, 0.94f, 0, 1.0f, 0},
    };
    for (auto c : cases) {
        Acceleration = c.accel, G = c.g, TractionSlip = c.slip_before;
        EXPECT_BITS(GetTraction(), c.grip) << "at " << c.accel << ", G " << c.g;
        EXPECT_EQ(TractionSlip, c.slip);
    }
}
