/*
 * Start state, pedals, wheel, gears, latch, title key and reset, driven
 * through the simulation's key seam.  Most cases run the controls alone,
 * the stage of the tick that owns them; a few run whole ticks.
 */
#include "sim_support.h"

/* The controls stage on its own, n times, with these keys. */
static void press(int n, std::initializer_list<int> keys)
{
    hold(keys);
    for (int i = 0; i < n; i++)
        controls();
}

/* The copy is bit for bit, and everything but the position starts at 0. */
TEST_F(Sim, StartStateIsThePresetAtTheCentre)
{
    EXPECT_EQ(0, memcmp(GearReduction, KVT.GearReduction, sizeof GearReduction));
    EXPECT_BITS(GearReduction[0], -3.953f);
    EXPECT_BITS(RollingResistance, 399.75793f);
    EXPECT_BITS(DragCoeficient, 1.083342f);
    EXPECT_BITS(RevResistance, KVT.RevResistance);
    EXPECT_BITS(EngineCurve, KVT.EngineCurve);
    EXPECT_EQ(GearMax, 5);

    EXPECT_BITS(x, 512.0f);
    EXPECT_BITS(y, 384.0f);
    for (float v : {AxisAngle, TrueAngle, Velocity, TrueVelocity, Acceleration, EngineRev,
                    TransmissionTotal, PedalAccelerator, PedalBrake, PedalClutch,
                    DrivingWheelTurning, EngineForce, RearAxisForce, FrontAxisForce,
                    FrontAxisAcceleration, RearAxisAcceleration, FrontAxisRev, RearAxisRev,
                    FrontAxisWeight, RearAxisWeight})
        EXPECT_BITS(v, 0.0f);
    EXPECT_EQ(Gear | KeyHeld | TractionSlip, 0);
}

TEST_F(Sim, PedalRisesToJustBelowOneAndStays)
{
    press(1, {SIM_KEY_UP});
    EXPECT_BITS(PedalAccelerator, 0.025f);
    press(38, {SIM_KEY_UP});
    EXPECT_BITS(PedalAccelerator, 0.9749996f);
    press(1, {SIM_KEY_UP});
    EXPECT_BITS(PedalAccelerator, 0.9999996f);
    press(100, {SIM_KEY_UP});
    EXPECT_BITS(PedalAccelerator, 0.9999996f);
}

TEST_F(Sim, ReleasedPedalRestsAtAResidueNeverZero)
{
    press(40, {SIM_KEY_UP});
    press(40, {});
    EXPECT_BITS(PedalAccelerator, -1.8253923e-08f);
    press(200, {});
    EXPECT_BITS(PedalAccelerator, -1.8253923e-08f);

    /* The residue depends only on how long the pedal was held. */
    struct { int held; float rest; } cases[] = {
        {1, 3.7252904e-10f}, {2, 3.7252904e-10f}, {3, 4.0978194e-09f},
        {19, 4.0978194e-09f}, {20, -1.8253923e-08f}, {60, -1.8253923e-08f},
    };
    for (auto c : cases) {
        sim_start();
        press(c.held, {SIM_KEY_DOWN});
        press(60, {});
        EXPECT_BITS(PedalBrake, c.rest) << "held " << c.held << " ticks";
    }
}

TEST_F(Sim, PedalsMoveIndependently)
{
    press(3, {SIM_KEY_UP, SIM_KEY_DOWN});
    EXPECT_BITS(PedalAccelerator, PedalBrake);
    EXPECT_NEAR(PedalBrake, 0.075, 1e-6);
    EXPECT_BITS(PedalClutch, 0.0f);
    press(2, {SIM_KEY_X});
    EXPECT_NEAR(PedalClutch, 0.05, 1e-6);
    EXPECT_NEAR(PedalAccelerator, 0.025, 1e-6);
}

TEST_F(Sim, WheelTurnsReturnsAndSnapsToCentre)
{
    press(40, {SIM_KEY_RIGHT});
    EXPECT_BITS(DrivingWheelTurning, 0.9999996f);
    press(17, {});
    EXPECT_BITS(DrivingWheelTurning, 0.14999942f);
    press(1, {});
    EXPECT_BITS(DrivingWheelTurning, 0.09999943f);
    press(1, {});
    EXPECT_BITS(DrivingWheelTurning, 0.0f);

    press(1, {SIM_KEY_RIGHT});
    EXPECT_BITS(DrivingWheelTurning, 0.025f);
    press(1, {});
    EXPECT_BITS(DrivingWheelTurning, 0.0f);

    press(3, {SIM_KEY_RIGHT});
    press(1, {});
    EXPECT_BITS(DrivingWheelTurning, 0.0f);

    press(40, {SIM_KEY_LEFT});
    EXPECT_BITS(DrivingWheelTurning, -0.9999996f);
}

TEST_F(Sim, WheelTurnedAgainstItselfCrossesTheCentre)
{
    press(40, {SIM_KEY_LEFT});
    press(20, {SIM_KEY_RIGHT});
    EXPECT_BITS(DrivingWheelTurning, 5.7294966e-07f);
    press(40, {SIM_KEY_RIGHT});
    EXPECT_BITS(DrivingWheelTurning, 1.0000002f);

    sim_start();
    press(40, {SIM_KEY_RIGHT});
    press(60, {SIM_KEY_LEFT});
    EXPECT_BITS(DrivingWheelTurning, -1.0000002f);
}

TEST_F(Sim, BothSteeringKeysKeepTheSide)
{
    press(40, {SIM_KEY_LEFT, SIM_KEY_RIGHT});
    EXPECT_BITS(DrivingWheelTurning, 0.9999996f);

    sim_start();
    press(20, {SIM_KEY_LEFT});
    EXPECT_BITS(DrivingWheelTurning, -0.50000006f);
    press(5, {SIM_KEY_LEFT, SIM_KEY_RIGHT});
    EXPECT_BITS(DrivingWheelTurning, -0.62499994f);
}

TEST_F(Sim, GearsShiftOncePerPress)
{
    press(50, {SIM_KEY_A});
    EXPECT_EQ(Gear, 1);
    for (int i = 0; i < 5; i++) {
        press(1, {});
        press(3, {SIM_KEY_A});
    }
    EXPECT_EQ(Gear, 5);  /* the sixth press stays in top */
    EXPECT_EQ(KeyHeld, 1);

    sim_start();
    press(1, {SIM_KEY_Z});
    EXPECT_EQ(Gear, -1);
    press(1, {});
    press(1, {SIM_KEY_Z});
    EXPECT_EQ(Gear, -1);
    EXPECT_EQ(KeyHeld, 1);  /* latched even though nothing shifted */

    sim_start();
    press(1, {SIM_KEY_A, SIM_KEY_Z});
    EXPECT_EQ(Gear, 1);
}

TEST_F(Sim, LatchWaitsForAllShiftKeysReleased)
{
    press(2, {SIM_KEY_A});
    press(2, {SIM_KEY_A, SIM_KEY_Z});
    press(2, {SIM_KEY_Z});
    press(2, {SIM_KEY_Z, SIM_KEY_Q});
    EXPECT_EQ(Gear, 1);
    EXPECT_EQ(title_calls, 0);
    press(1, {});
    EXPECT_EQ(KeyHeld, 0);
    press(1, {SIM_KEY_Z});
    EXPECT_EQ(Gear, 0);
}

TEST_F(Sim, TitleScreenOncePerPressAndKeysReadAfterIt)
{
    press(5, {SIM_KEY_Q});
    EXPECT_EQ(title_calls, 1);
    EXPECT_EQ(KeyHeld, 1);

    /* Q let go while the screen is up: the same tick frees the latch. */
    press(1, {});
    on_title = [] { hold({}); };
    press(1, {SIM_KEY_Q});
    EXPECT_EQ(title_calls, 2);
    EXPECT_EQ(KeyHeld, 0);

    /* R pressed while the screen is up: the reset sees it on return. */
    Velocity = 3;
    x = 100;
    on_title = [] { hold({SIM_KEY_Q, SIM_KEY_R}); };
    press(1, {SIM_KEY_Q});
    EXPECT_EQ(title_calls, 3);
    EXPECT_BITS(x, 512.0f);
    EXPECT_BITS(Velocity, 0.0f);
}

TEST_F(Sim, ResetRestoresPositionAndMotionOnly)
{
    ticks(1, {SIM_KEY_A});
    ticks(600, {SIM_KEY_UP});
    ticks(45, {SIM_KEY_UP, SIM_KEY_RIGHT});  /* pedal and wheel at their ends */
    ASSERT_GT(Velocity, 5);
    const float axis = AxisAngle, pedal = PedalAccelerator, wheel = DrivingWheelTurning;
    const int slip = TractionSlip;

    press(1, {SIM_KEY_R, SIM_KEY_UP, SIM_KEY_RIGHT});
    EXPECT_BITS(x, 512.0f);
    EXPECT_BITS(y, 384.0f);
    for (float v : {EngineRev, EngineForce, Velocity, TrueVelocity, Acceleration, RearAxisForce})
        EXPECT_BITS(v, 0.0f);
    EXPECT_BITS(AxisAngle, axis);
    EXPECT_BITS(PedalAccelerator, pedal);
    EXPECT_BITS(DrivingWheelTurning, wheel);
    EXPECT_EQ(Gear, 1);
    EXPECT_EQ(TractionSlip, slip);

    /* Held in neutral, every tick ends at the centre, at rest. */
    press(1, {SIM_KEY_Z});
    for (int i = 0; i < 5; i++) {
        ticks(1, {SIM_KEY_R});
        EXPECT_BITS(x, 512.0f);
        EXPECT_BITS(y, 384.0f);
        EXPECT_BITS(Velocity, 0.0f);
        EXPECT_BITS(TrueVelocity, 0.0f);
    }
}
