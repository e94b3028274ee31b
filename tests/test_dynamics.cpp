/*
 * Behaviour of whole ticks: drive and creep, shifts, brakes, wraps,
 * reversal, grip, reverse gear.
 */
#include <cmath>

#include "sim_support.h"

/* Road speed at which first gear turns the engine at 400 rev/min. */
static const float CREEP_END = 1.1574049f;

/* Neutral ignores the throttle and steering at rest turns nothing. */
TEST_F(Sim, AtRestHeadingUpAlternatesBetween0And360)
{
    TractionSlip = 1;  /* nothing calls the grip function, so it stays */
    for (int i = 0; i < 60; i++) {
        ticks(1, {SIM_KEY_RIGHT, SIM_KEY_UP});
        float want = (i % 2 == 0) ? 360.0f : 0.0f;
        EXPECT_BITS(AxisAngle, want);
        EXPECT_BITS(TrueAngle, want);
        EXPECT_BITS(x, 512.0f);
        EXPECT_BITS(y, 384.0f);
        EXPECT_BITS(Velocity, 0.0f);
        EXPECT_BITS(Acceleration, 0.0f);
    }
    EXPECT_EQ(TractionSlip, 1);
}

TEST_F(Sim, CreepGetsTheCarRollingThenTorqueDrives)
{
    ticks(1, {SIM_KEY_A});
    float before = Velocity;
    int tick = 0;
    while (Velocity < CREEP_END && tick < 100) {
        ticks(1, {SIM_KEY_UP});
        tick++;
        /* every creeping tick adds at least the pedal's first step */
        EXPECT_GE(Velocity - before, 0.02f) << "tick " << tick;
        before = Velocity;
    }
    ASSERT_LT(tick, 100);
    EXPECT_LT(Velocity, CREEP_END + 1.0f);
    EXPECT_GT(EngineRev, 400.0f);

    /* From here only the torque drives: small steps, at first even below
     * the rolling resistance while the pedal is still coming down, then
     * gaining speed. */
    for (int i = 0; i < 50; i++) {
        before = Velocity;
        ticks(1, {SIM_KEY_UP});
        EXPECT_LT(std::fabs(Velocity - before), 0.02f);
        EXPECT_GT(Velocity, CREEP_END);
    }
    ticks(400, {SIM_KEY_UP});
    EXPECT_GT(Velocity, 4.0f);
    EXPECT_LT(y, 384.0f);  /* heading 0: up the screen */
}

TEST_F(Sim, ResetWithThrottleCreepsFromTheCentreAtOnce)
{
    ticks(1, {SIM_KEY_A});
    ticks(200, {SIM_KEY_UP});
    ticks(1, {SIM_KEY_UP, SIM_KEY_R});
    EXPECT_BITS(Velocity, PedalAccelerator);
    EXPECT_NE(y, 384.0f);  /* moved off the centre within the same tick */
    EXPECT_NEAR(y, 384.0f, 0.01);
}

TEST_F(Sim, ShiftReachesTheRatioOnTheNextTick)
{
    Velocity = TrueVelocity = 5;  /* rolling in neutral, above creep speed */
    PedalAccelerator = 0.9999996f;

    ticks(1, {SIM_KEY_UP, SIM_KEY_A});
    EXPECT_EQ(Gear, 1);
    EXPECT_BITS(Acceleration, 0.0f);
    EXPECT_BITS(EngineRev, 0.0f);  /* still the neutral ratio */

    ticks(1, {SIM_KEY_UP});
    EXPECT_BITS(Acceleration, 0.0f);  /* torque of 0 rev/min */
    EXPECT_NEAR(EngineRev, GetEngineRev(Velocity), 0.01);

    ticks(1, {SIM_KEY_UP});
    EXPECT_GT(Acceleration, 0.0f);
}

TEST_F(Sim, BrakedSlowCarAlternatesAboutZero)
{
    PedalBrake = 0.9999996f;
    ticks(1, {SIM_KEY_DOWN});
    EXPECT_BITS(Velocity, 0.0f);  /* exactly 0: nothing applied */

    Velocity = 0.01f;
    ticks(1, {SIM_KEY_DOWN});
    EXPECT_NEAR(Velocity, -0.0129, 0.0001);
    ticks(1, {SIM_KEY_DOWN});
    EXPECT_NEAR(Velocity, 0.01, 1e-6);
    for (int i = 0; i < 20; i++) {
        ticks(1, {SIM_KEY_DOWN});
        EXPECT_NE(Velocity, 0.0f);
    }
}

TEST_F(Sim, ScreenWrapsAtExclusiveBounds)
{
    struct { float x, y, want_x, want_y; } cases[] = {
        {1024, 768, 1024, 768}, {-0.5f, 768.5f, 1023.5f, 0.5f},
        {1024.25f, -0.25f, 0.25f, 767.75f}, {0, 0, 0, 0},
    };
    for (auto c : cases) {
        x = c.x;
        y = c.y;
        ticks(1);
        EXPECT_BITS(x, c.want_x);
        EXPECT_BITS(y, c.want_y);
    }
}

/* One tick from a set state: reversal at exactly half a turn, the grip-
 * limited follow of direction (1.88 deg gripping, 1.316 sliding) and of
 * speed (0.0188 m/s, plus (slip - 90) / 25 past 90 degrees of slip), and
 * the slide term that swings the body out while the drive is too much. */
TEST_F(Sim, OneTickOfGripSlideAndReversal)
{
    struct { float axis, travel, v, tv; int gear, throttle, slip;
             float want_travel, want_tv; int want_slip; bool swings; } cases[] = {
        {200, 20, 5, 5, 0, 0, 0, 200, -5 + 0.0188f + 3.6f, 0, false},    /* reversed */
        {200, 20.1f, 5, 5, 0, 0, 0, 21.98f, 5 - 0.0188f - 3.596f, 0, false},
        {150, 50, 10, 5, 0, 0, 0, 51.88f, 5.4188f, 0, false},            /* slip 100 */
        {140, 50, 10, 5, 0, 0, 0, 51.88f, 5.0188f, 0, false},            /* slip 90 */
        {30, 10, 6, 6, 1, 1, 0, 11.316f, 6.01316f, 1, true},             /* sliding */
        {30, 10, 6, 6, 1, 0, 1, 11.88f, 5.9812f, 0, false},              /* grips again */
    };
    for (auto &c : cases) {
        sim_start();
        AxisAngle = c.axis;
        TrueAngle = c.travel;
        Velocity = c.v;
        TrueVelocity = c.tv;
        Gear = c.gear;
        EngineRev = GetEngineRev(Velocity);
        TractionSlip = c.slip;
        PedalAccelerator = c.throttle ? 0.9999996f : 0;
        if (c.throttle)
            ticks(1, {SIM_KEY_UP});
        else
            ticks(1);
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        EXPECT_NEAR(TrueAngle, c.want_travel, 1e-4);
        EXPECT_NEAR(TrueVelocity, c.want_tv, 1e-4);
        EXPECT_EQ(TractionSlip, c.want_slip);
        EXPECT_EQ(AxisAngle > c.axis, c.swings);
        EXPECT_GE(AxisAngle, c.axis);
    }
}

TEST_F(Sim, TravelDirectionOvershootsAndAlternates)
{
    AxisAngle = 50;
    TrueAngle = 45;
    const float want[] = {46.88f, 48.76f, 50.64f, 48.76f, 50.64f, 48.76f};
    for (float w : want) {
        ticks(1);
        EXPECT_NEAR(TrueAngle, w, 1e-4);
        EXPECT_BITS(AxisAngle, 50.0f);
    }
}

TEST_F(Sim, SteeringTurnsWithTheDirectionOfRolling)
{
    Gear = 1;
    ticks(600, {SIM_KEY_UP});
    ASSERT_GT(Velocity, 5.0f);
    ticks(20, {SIM_KEY_UP, SIM_KEY_RIGHT});
    float heading = AxisAngle;
    EXPECT_GT(heading, 1.0f);
    EXPECT_LT(heading, 180.0f);  /* clockwise, a right turn */
    EXPECT_GT(x, 512.0f);
}

TEST_F(Sim, ReverseCreepsBackwardsAndStaysBounded)
{
    ticks(1, {SIM_KEY_Z});
    ASSERT_EQ(Gear, -1);
    float rev = 0;
    for (int s = 0; s < 3; s++) {
        ticks(100, {SIM_KEY_UP});
        EXPECT_LT(Velocity, 0.0f);
        EXPECT_GT(EngineRev, rev) << "second " << s;
        rev = EngineRev;
    }
    EXPECT_GT(y, 384.0f);  /* heading 0: down the screen */

    /* Held much longer, the speed levels off like in a forward gear. */
    ticks(3000, {SIM_KEY_UP});
    EXPECT_GT(Velocity, -25.0f);
    EXPECT_LT(EngineRev, 2 * EnginePeakRev);
}
