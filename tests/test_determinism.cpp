/*
 * The shared scenario, bench/drive.txt, ends in the recorded state every
 * run, in every build type.
 */
#include "sim_support.h"

TEST_F(Sim, TheScenarioEndsInTheRecordedStateEveryRun)
{
    for (int run = 0; run < 2; run++) {
        SetUp();
        drive_scenario();
        EXPECT_EQ(state_hash(), DRIVE_GOLDEN) << std::hex << "hash 0x" << state_hash();
    }
}
