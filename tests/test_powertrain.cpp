/*
 * The small functions at their edge values.  These only come out as shown
 * when the arithmetic is double and rounded at the right points.
 */
#include <cmath>
#include <limits>

#include "sim_support.h"

TEST_F(Sim, SinTakesDegreesWithPiToEightDecimals)
{
    EXPECT_BITS(Sin(0), 0.0f);
    EXPECT_BITS(Sin(30), 0.5f);
    EXPECT_BITS(Sin(45), 0.70710677f);
    EXPECT_BITS(Sin(90), 1.0f);
    EXPECT_BITS(Sin(-90), -1.0f);
    EXPECT_BITS(Sin(180), 3.5897931e-09f);
}

TEST_F(Sim, ModuloIsAbsoluteValueKeepingNegativeZero)
{
    EXPECT_BITS(Modulo(-2.5f), 2.5f);
    EXPECT_BITS(Modulo(3), 3.0f);
    EXPECT_BITS(Modulo(-0.0f), -0.0f);
}

TEST_F(Sim, TorqueIsAQuarterSineOfEngineSpeed)
{
    struct { float rev, torque; } cases[] = {
        {0, 0.0f}, {1000, 140.06789f}, {1948, 252.43712f}, {3896, 357.0f},
        {5844, 252.43712f}, {7792, 1.2815561e-06f}, {8000, -29.90361f},
        {-1000, -140.06789f},
    };
    for (auto c : cases)
        EXPECT_BITS(GetTorqueArcade(c.rev), c.torque) << "at " << c.rev;

    EngineCurve = 100;
    EXPECT_BITS(GetTorqueArcade(3896), 457.0f);
}

TEST_F(Sim, EngineRevFollowsTheGearEngagedAtTheCall)
{
    Gear = 1;
    EXPECT_BITS(GetEngineRev(10), 3456.0076f);
    EXPECT_BITS(GetEngineRev(1), 345.60074f);
    EXPECT_LT(GetEngineRev(1.1574048f), 400.0f);
    EXPECT_GE(GetEngineRev(1.1574049f), 400.0f);
    Gear = 5;
    EXPECT_BITS(GetEngineRev(30), 2634.321f);
    Gear = -1;
    EXPECT_BITS(GetEngineRev(-2), 811.018f);
    Gear = 0;
    EXPECT_BITS(GetEngineRev(25), 0.0f);
    /* TransmissionTotal plays no part */
    TransmissionTotal = 99;
    Gear = 1;
    EXPECT_BITS(GetEngineRev(10), 3456.0076f);
}

TEST_F(Sim, TractionLatchesOnOneSignedBound)
{
    Acceleration = 0.01f;
    EXPECT_BITS(GetTraction(), 0.7f);
    EXPECT_EQ(TractionSlip, 1);
    EXPECT_BITS(GetTraction(), 0.7f);  /* twice in a tick: same answer */
    Acceleration = 0.005f;
    EXPECT_BITS(GetTraction(), 1.0f);
    EXPECT_EQ(TractionSlip, 0);
    Acceleration = 0;
    EXPECT_BITS(GetTraction(), 1.0f);
    Acceleration = -0.03f;
    EXPECT_BITS(GetTraction(), 1.0f);
}

TEST_F(Sim, TractionAtExactlyTheLimitKeepsTheLatch)
{
    /* Demand and limit both exactly 0. */
    G = 0;
    Acceleration = 0;
    TractionSlip = 1;
    EXPECT_BITS(GetTraction(), 0.7f);
    EXPECT_EQ(TractionSlip, 1);
    TractionSlip = 0;
    EXPECT_BITS(GetTraction(), 1.0f);
    EXPECT_EQ(TractionSlip, 0);

    Acceleration = std::numeric_limits<float>::quiet_NaN();
    TractionSlip = 1;
    EXPECT_BITS(GetTraction(), 0.7f);
    EXPECT_EQ(TractionSlip, 1);
}
