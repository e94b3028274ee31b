/*
 * Long runs: a fixed script hashes to the same state every time, in every
 * build type; ten minutes of random driving stays finite and on screen.
 */
#include <cmath>
#include <cstdint>
#include <random>

#include "sim_support.h"

/* Through the gears, a long right-hand slide, braking, reverse, a reset
 * and a title screen: every stage of the tick gets exercised. */
static void drive_script(void)
{
    ticks(1, {SIM_KEY_A});
    ticks(300, {SIM_KEY_UP});
    for (int g = 0; g < 4; g++) {
        ticks(2, {});
        ticks(1, {SIM_KEY_A});
        ticks(250, {SIM_KEY_UP});
    }
    ticks(400, {SIM_KEY_UP, SIM_KEY_RIGHT});
    ticks(150, {SIM_KEY_DOWN, SIM_KEY_LEFT});
    ticks(100, {SIM_KEY_X, SIM_KEY_UP});
    for (int g = 0; g < 6; g++) {
        ticks(1, {});
        ticks(1, {SIM_KEY_Z});
    }
    ticks(500, {SIM_KEY_UP, SIM_KEY_LEFT});
    ticks(1, {SIM_KEY_Q});
    ticks(3, {SIM_KEY_R});
    ticks(1, {});
    ticks(1, {SIM_KEY_A});
    ticks(1, {});
    ticks(1, {SIM_KEY_A});
    ticks(600, {SIM_KEY_UP, SIM_KEY_RIGHT});
}

/* Recorded from this script; any change to the arithmetic shows here. */
static const uint64_t GOLDEN = 0x0d4afc397efa1b9aull;

TEST_F(Sim, FixedScriptGivesTheSameStateBitForBit)
{
    drive_script();
    uint64_t first = state_hash();
    SetUp();
    drive_script();
    EXPECT_EQ(state_hash(), first);
    EXPECT_EQ(first, GOLDEN) << std::hex << "hash 0x" << first;
}

TEST_F(Sim, TenMinutesOfRandomDrivingStayFiniteAndOnScreen)
{
    static const int keys[] = {SIM_KEY_UP, SIM_KEY_DOWN, SIM_KEY_LEFT, SIM_KEY_RIGHT,
                               SIM_KEY_A, SIM_KEY_Z, SIM_KEY_X, SIM_KEY_R, SIM_KEY_Q};
    std::mt19937 rng(20261206);
    int tick = 0;
    while (tick < 60000) {
        for (bool &k : held_keys)
            k = false;
        for (int k : keys) {
            /* throttle often, reset and title rarely */
            unsigned chance = (k == SIM_KEY_UP) ? 60 : (k == SIM_KEY_R || k == SIM_KEY_Q) ? 1 : 20;
            held_keys[k] = rng() % 100 < chance;
        }
        int n = 1 + (int)(rng() % 300);
        for (int i = 0; i < n && tick < 60000; i++, tick++) {
            logic();
            for (float f : {x, y, AxisAngle, TrueAngle, Velocity, TrueVelocity,
                            Acceleration, EngineRev})
                ASSERT_TRUE(std::isfinite(f)) << "tick " << tick;
            float step = std::fabs(TrueVelocity) / 10 + 1e-3f;
            ASSERT_GE(x, -step) << "tick " << tick;
            ASSERT_LE(x, 1024 + step) << "tick " << tick;
            ASSERT_GE(y, -step) << "tick " << tick;
            ASSERT_LE(y, 768 + step) << "tick " << tick;
            ASSERT_GE(Gear, -1);
            ASSERT_LE(Gear, GearMax);
            ASSERT_LT(std::fabs(DrivingWheelTurning), 1.001f);
        }
    }
}
