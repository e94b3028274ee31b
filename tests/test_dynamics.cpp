/*
 * Whole ticks, from set states; and the shared scenario, bench/drive.txt,
 * ending in the recorded state every run, in every build type.
 */
#include <cmath>

#include "sim_support.h"

enum { UP = SIM_KEY_UP, DOWN = SIM_KEY_DOWN, RIGHT = SIM_KEY_RIGHT, X = SIM_KEY_X, R = SIM_KEY_R };

/* First gear forwards, reverse backwards: the creep adds the bare throttle
 * each tick while the engine turns below 400 rev/min (not at exactly 400),
 * then only the torque drives, along the heading, levelling off below
 * twice the peak's engine speed. */
TEST_F(Sim, CreepThenTorqueInBothDirections)
{
    /* at400: lands on exactly 400 rev/min after the rolling resistance */
    for (auto [gear, at400] : {std::pair{1, 1.16067362f}, {-1, -0.98968327f}}) {
        SCOPED_TRACE(testing::Message() << "gear " << gear);
        SetUp();
        Gear = gear;
        Velocity = at400;
        PedalAccelerator = 0.9999996f;
        ticks(1, {UP});
        EXPECT_BITS(GetEngineRev(Velocity), 400.0f);   /* no creep added */

        SetUp();
        Gear = gear;
        int creeping = 0;
        for (; GetEngineRev(Velocity) < 400 && creeping < 100; creeping++) {
            float before = Velocity;
            ticks(1, {UP});
            EXPECT_GE(gear * (Velocity - before), 0.02f) << "tick " << creeping;
        }
        ASSERT_LT(creeping, 100);
        for (int i = 0; i < 50; i++) {
            float before = Velocity;
            ticks(1, {UP});
            EXPECT_LT(std::fabs(Velocity - before), 0.02f);
            EXPECT_GE(GetEngineRev(Velocity), 400.0f);
        }
        EXPECT_EQ(y < 384, gear > 0);   /* heading 0: up forwards, down in reverse */
        ticks(3000, {UP});
        EXPECT_GT(gear * Velocity, 15.0f);
        EXPECT_LT(EngineRev, 2 * EnginePeakRev);
    }
}

TEST_F(Sim, ShiftReachesTheRatioOnTheNextTick)
{
    Velocity = TrueVelocity = 5;  /* rolling in neutral, above creep speed */
    PedalAccelerator = 0.9999996f;
    ticks(1, {UP, SIM_KEY_A});
    EXPECT_EQ(Gear, 1);
    EXPECT_BITS(Acceleration, 0.0f);
    EXPECT_BITS(EngineRev, 0.0f);  /* still the neutral ratio */
    ticks(1, {UP});
    EXPECT_BITS(Acceleration, 0.0f);  /* torque of 0 rev/min */
    EXPECT_BITS(EngineRev, GetEngineRev(Velocity));
    ticks(1, {UP});
    EXPECT_GT(Acceleration, 0.0f);
}

/* From the tick of a shift into neutral on, the accelerator does not move
 * the car: Velocity as with the pedal at rest; Acceleration 0 once the
 * neutral ratio is in (on the shift tick it still has first's ratio). */
TEST_F(Sim, NeutralTakesNoDriveFromTheShiftTickOn)
{
    G = 100;   /* grip that never slides: the two runs differ in the pedal alone */
    Gear = 1;
    Velocity = TrueVelocity = 10;
    EngineRev = GetEngineRev(Velocity);
    const state_copy start;
    float coasting[3];
    for (int i = 0; i < 3; i++) {
        ticks(1, {i == 0 ? SIM_KEY_Z : 0});
        coasting[i] = Velocity;
    }
    start.restore();
    PedalAccelerator = 0.9999996f;
    for (int i = 0; i < 3; i++) {
        ticks(1, {UP, i == 0 ? SIM_KEY_Z : 0});
        EXPECT_EQ(Gear, 0);
        EXPECT_BITS(Velocity, coasting[i]) << "tick " << i;
        EXPECT_EQ(Acceleration > 0, i == 0) << "tick " << i;
    }
}

TEST_F(Sim, ScreenWrapsAtExclusiveBounds)
{
    struct { float x, y, want_x, want_y; } cases[] = {
        {1024, 768, 1024, 768}, {-0.5f, 768.5f, 1023.5f, 0.5f}, {1024.25f, -0.25f, 0.25f, 767.75f}, {0, 0, 0, 0},
    };
    for (auto c : cases) {
        x = c.x, y = c.y;
        ticks(1);
        EXPECT_TRUE(bits(x) == bits(c.want_x) && bits(y) == bits(c.want_y)) << x << "," << y;
    }
}

/* Right lock turns clockwise rolling forwards, anticlockwise backwards. */
TEST_F(Sim, SteeringTurnsWithTheDirectionOfRolling)
{
    for (float v : {8.0f, -8.0f}) {
        SetUp();
        Gear = v > 0 ? 1 : -1;
        Velocity = TrueVelocity = v;
        ticks(20, {RIGHT});
        EXPECT_TRUE(v > 0 ? AxisAngle > 0 && AxisAngle < 180 : AxisAngle > 180 && AxisAngle < 360) << AxisAngle;
    }
}

/* One tick from a set state.  Followers step a fixed amount, not limited
 * to the gap: TrueAngle 1.88 deg gripping, 1.316 sliding; TrueVelocity
 * 0.0188 m/s, plus (slip - 90) / 25 past 90 degrees of slip.  While the
 * drive is too much, the body swings out by Sin(slip) times the pedal (not
 * the clutch-reduced throttle) times the drive squared: SWING.  Keys: Up
 * and Down hold their pedal at the top, X the clutch from half. */
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
        {0, 0, 0, 0, 0, {UP, RIGHT}, 1, 360, 360, 0, 0, 1},    /* at rest: wraps, no grip call */
        {360, 360, 0, 0, 0, {UP, RIGHT}, 1, 0, 0, 0, 0, 1},
        {0, 0, 0, 0, 0, {DOWN}, 0, 360, 360, 0, 0, 0},         /* braked at 0: stays */
        {0, 0, 0.01f, 0, 0, {DOWN}, 0, 360, 360, -0.0128926f, -0.0188f, 0},   /* passes 0 */
        {0, 0, -0.0128926f, 0, 0, {DOWN}, 0, 360, 360, 0.01f, 0.0188f, 0},  /* and back */
        {0, 0, 10, 10, 1, {UP, R}, 0, 360, 360, 0.9999996f, 0.0188f, 0},   /* reset: creeps at once */
    };
    for (auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        SetUp();
        AxisAngle = c.axis, TrueAngle = c.travel, Velocity = c.v, TrueVelocity = c.tv;
        Gear = c.gear, TractionSlip = c.slip;
        EngineRev = GetEngineRev(Velocity);
        for (int k : c.keys)
            if (k != RIGHT && k != R)
                *(k == UP ? &PedalAccelerator : k == DOWN ? &PedalBrake : &PedalClutch) = k == X ? 0.5f : 0.9999996f;
        ticks(1, c.keys);
        float want_axis = c.want_axis;
        if (std::isnan(want_axis))
            want_axis = (float)(c.axis + std::copysign(1.0, c.axis - c.travel) * Sin(std::fabs(c.axis - c.travel))
                                * PedalAccelerator * Acceleration * Acceleration);
        EXPECT_BITS(AxisAngle, want_axis);
        EXPECT_NEAR(TrueAngle, c.want_travel, 1e-4);
        EXPECT_TRUE(std::isnan(c.want_v) || std::fabs(Velocity - c.want_v) <= 1e-6) << Velocity;
        EXPECT_NEAR(TrueVelocity, c.want_tv, 1e-4);
        EXPECT_EQ(TractionSlip, c.want_slip);
    }
}

TEST_F(Sim, TheScenarioEndsInTheRecordedStateEveryRun)
{
    for (int run = 0; run < 2; run++) {
        SetUp();
        drive_scenario();
        EXPECT_EQ(state_hash(), DRIVE_GOLDEN) << std::hex << "hash 0x" << state_hash();
    }
}
