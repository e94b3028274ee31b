/* Whole ticks from set states, and the shared scenario ending in the recorded state. */
#include "support.h"

/* Catches creep at exactly 400 rev/min (at400 lands there after the rolling resistance),
 * creep that stops short, drive against the heading, no levelling off; both gears. */
TEST_F(Sim, CreepThenTorqueInBothDirections)
{
    for (auto [gear, at400] : {std::pair{1, 1.16067362f}, {-1, -0.98968327f}}) {
        SCOPED_TRACE(testing::Message() << "gear " << gear);
        SetUp();
        Gear = gear, Velocity = at400, PedalAccelerator = 0.9999996f;
        ticks(1, {UP});
        EXPECT_BITS(GetEngineRev(Velocity), 400.0f);
        SetUp();
        Gear = gear;
        auto step = [] { float before = Velocity; ticks(1, {UP}); return Velocity - before; };
        int creeping = 0;
        for (; GetEngineRev(Velocity) < 400 && creeping < 100; creeping++)
            EXPECT_GE(gear * step(), 0.02f) << "tick " << creeping;
        ASSERT_LT(creeping, 100);
        for (int i = 0; i < 50; i++)
            EXPECT_TRUE(std::fabs(step()) < 0.02f && GetEngineRev(Velocity) >= 400) << "tick " << i;
        EXPECT_EQ(y < 384, gear > 0);   /* heading 0: up forwards, down in reverse */
        ticks(3000, {UP});
        EXPECT_TRUE(gear * Velocity > 15 && EngineRev < 2 * EnginePeakRev) << Velocity << ", " << EngineRev;
    }
}

/* Catches the new ratio used on the shift tick itself, into first from neutral, and drive in
 * neutral from the shift tick on (Acceleration 0 once its ratio is in). */
TEST_F(Sim, ShiftTakesItsRatioOnTheNextTick)
{
    Velocity = TrueVelocity = 5, PedalAccelerator = 0.9999996f;   /* rolling in neutral */
    ticks(1, {UP, A});
    EXPECT_TRUE(Gear == 1 && bits(Acceleration) == 0 && bits(EngineRev) == 0);
    ticks(1, {UP});   /* torque of 0 rev/min */
    EXPECT_TRUE(bits(Acceleration) == 0 && bits(EngineRev) == bits(GetEngineRev(Velocity)));
    ticks(1, {UP});
    EXPECT_GT(Acceleration, 0.0f);
    SetUp();
    G = 100, Gear = 1;   /* grip that never slides: the runs differ in the pedal alone */
    Velocity = TrueVelocity = 10;
    EngineRev = GetEngineRev(Velocity);
    const state_copy start;
    float coasting[3];
    for (int i = 0; i < 3; i++)
        ticks(1, {i == 0 ? Z : 0}), coasting[i] = Velocity;
    start.restore();
    PedalAccelerator = 0.9999996f;
    for (int i = 0; i < 3; i++) {
        ticks(1, {UP, i == 0 ? Z : 0});
        EXPECT_EQ(Gear, 0);
        EXPECT_BITS(Velocity, coasting[i]) << "tick " << i;
        EXPECT_EQ(Acceleration > 0, i == 0) << "tick " << i;
    }
}

/* Catches an inclusive bound at the screen's edges. */
TEST_F(Sim, ScreenWrapsAtExclusiveBounds)
{
    struct { float x, y, want_x, want_y; } cases[] = {
        {1024, 768, 1024, 768}, {-0.5f, 768.5f, 1023.5f, 0.5f}, {1024.25f, -0.25f, 0.25f, 767.75f}, {0, 0, 0, 0},
    };
    for (auto c : cases) {
        x = c.x, y = c.y, ticks(1);
        EXPECT_TRUE(bits(x) == bits(c.want_x) && bits(y) == bits(c.want_y)) << x << "," << y;
    }
}

/* Catches followers limited to the gap (TrueAngle 1.88 deg gripping, 1.316 sliding;
 * TrueVelocity 0.0188 m/s + (slip - 90) / 25 past 90), the slide's swing (SWING: Sin(slip)
 * x pedal x drive^2) cut by the clutch, a brake that stops at 0, a reset that does not creep. */
TEST_F(Sim, OneTickOfGripSlideReversalBrakeAndWrap)
{
    const float SWING = NAN, ANY = NAN;
    struct { float axis, travel, v, tv; int gear; std::vector<int> keys; int slip;
             float want_axis, want_travel, want_v, want_tv; int want_slip; } cases[] = {
        {200, 20, 5, 5, 0, {}, 0, 200, 200, ANY, -5 + 0.0188f + 3.6f, 0},      /* reversed */
        {200, 20.1f, 5, 5, 0, {}, 0, 200, 21.98f, ANY, 5 - 0.0188f - 3.596f, 0},
        {150, 50, 10, 5, 0, {}, 0, 150, 51.88f, ANY, 5.4188f, 0},              /* slip 100 */
        {140, 50, 10, 5, 0, {}, 0, 140, 51.88f, ANY, 5.0188f, 0},              /* slip 90 */
        {30, 10, 6, 6, 1, {UP}, 0, SWING, 11.316f, ANY, 6.01316f, 1},          /* sliding */
        {10, 30, 6, 6, 1, {UP}, 0, SWING, 28.684f, ANY, 6.01316f, 1},          /* the other way */
        {30, 10, 6, 6, 1, {UP, X}, 0, SWING, 11.316f, ANY, 6.01316f, 1},       /* clutch half in */
        {30, 10, 6, 6, 1, {}, 1, 30, 11.88f, ANY, 5.9812f, 0},                 /* grips again */
        {50, 48.76f, 0, 0, 0, {}, 0, 50, 50.64f, 0, 0, 0},                     /* overshoots */
        {50, 50.64f, 0, 0, 0, {}, 0, 50, 48.76f, 0, 0, 0},                     /* and back */
        {0, 0, 0, 0, 0, {UP, RIGHT}, 1, 360, 360, 0, 0, 1},                    /* at rest: wraps, no grip call */
        {360, 360, 0, 0, 0, {UP, RIGHT}, 1, 0, 0, 0, 0, 1},
        {0, 0, 0, 0, 0, {DOWN}, 0, 360, 360, 0, 0, 0},                         /* braked at 0: stays */
        {0, 0, 0.01f, 0, 0, {DOWN}, 0, 360, 360, -0.0128926f, -0.0188f, 0},    /* passes 0 */
        {0, 0, -0.0128926f, 0, 0, {DOWN}, 0, 360, 360, 0.01f, 0.0188f, 0},     /* and back */
        {0, 0, 10, 10, 1, {UP, R}, 0, 360, 360, 0.9999996f, 0.0188f, 0},       /* reset: creeps at once */
    };
    for (auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        SetUp();
        AxisAngle = c.axis, TrueAngle = c.travel, Velocity = c.v, TrueVelocity = c.tv;
        Gear = c.gear, TractionSlip = c.slip, EngineRev = GetEngineRev(Velocity);
        for (int k : c.keys)
            if (k == UP || k == DOWN || k == X)
                *(k == UP ? &PedalAccelerator : k == DOWN ? &PedalBrake : &PedalClutch) = k == X ? 0.5f : 0.9999996f;
        ticks(1, c.keys);
        const float d = c.axis - c.travel;
        double swing = std::copysign(1.0, d) * Sin(std::fabs(d)) * PedalAccelerator * Acceleration;
        EXPECT_BITS(AxisAngle, std::isnan(c.want_axis) ? (float)(c.axis + swing * Acceleration) : c.want_axis);
        EXPECT_NEAR(TrueAngle, c.want_travel, 1e-4);
        EXPECT_TRUE(std::isnan(c.want_v) || std::fabs(Velocity - c.want_v) <= 1e-6) << Velocity;
        EXPECT_NEAR(TrueVelocity, c.want_tv, 1e-4);
        EXPECT_EQ(TractionSlip, c.want_slip);
    }
}

/* Catches any change to the arithmetic or the order of a tick, or state left from a run. */
TEST_F(Sim, TheScenarioEndsInTheRecordedStateEveryRun)
{
    for (int run = 0; run < 2; run++) {
        SetUp();
        drive_scenario();
        EXPECT_EQ(state_hash(), DRIVE_GOLDEN) << std::hex << "hash 0x" << state_hash();
    }
}
