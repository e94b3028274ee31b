/*
 * Long runs: bench/drive.txt hashes to the recorded state every time, in
 * every build type; ten minutes of random driving stays finite and on
 * screen.
 */
#include <cmath>
#include <random>

#include "sim_support.h"

TEST_F(Sim, TheScenarioEndsInTheRecordedStateEveryRun)
{
    for (int run = 0; run < 2; run++) {
        SetUp();
        drive_scenario();
        EXPECT_EQ(state_hash(), DRIVE_GOLDEN) << std::hex << "hash 0x" << state_hash();
    }
}

TEST_F(Sim, TenMinutesOfRandomDrivingStayFiniteAndOnScreen)
{
    static const int keys[] = {SIM_KEY_UP, SIM_KEY_DOWN, SIM_KEY_LEFT, SIM_KEY_RIGHT,
                               SIM_KEY_A, SIM_KEY_Z, SIM_KEY_X, SIM_KEY_R, SIM_KEY_Q};
    std::mt19937 rng(20261206);
    for (int tick = 0; tick < 60000;) {
        for (int k : keys)   /* throttle often, reset and title rarely */
            held_keys[k] = rng() % 100 < (k == SIM_KEY_UP ? 60u : k == SIM_KEY_R || k == SIM_KEY_Q ? 1u : 20u);
        for (int n = 1 + (int)(rng() % 300); n > 0 && tick < 60000; n--, tick++) {
            logic();
            for (float f : {x, y, AxisAngle, TrueAngle, Velocity, TrueVelocity, Acceleration, EngineRev})
                ASSERT_TRUE(std::isfinite(f)) << "tick " << tick;
            float step = std::fabs(TrueVelocity) / 10 + 1e-3f;
            ASSERT_TRUE(x >= -step && x <= 1024 + step && y >= -step && y <= 768 + step)
                << "tick " << tick << " at " << x << "," << y;
            ASSERT_TRUE(Gear >= -1 && Gear <= GearMax && std::fabs(DrivingWheelTurning) < 1.001f);
        }
    }
}
