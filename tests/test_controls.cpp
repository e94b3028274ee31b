/*
 * Start state and driver controls, the controls stage alone, driven
 * through the key seam.
 */
#include <cstring>

#include "support.h"

/* Stretches of the controls stage: n ticks with these keys held. */
struct stretch { int n; std::vector<int> keys; };
static void press(const std::vector<stretch> &script)
{
    for (const stretch &s : script)
        ticks(s.n, s.keys, controls);
}

/* Catches a variable or car field that start-up leaves as it was. */
TEST_F(Sim, StartPutsEveryVariableBack)
{
#define DIRTY(type, name, ...) name = (type)77;
#define DIRTY_ARRAY(type, name, n) for (type &v : name) v = 77;
    SIM_STATE(DIRTY)
    CAR_FIELDS(DIRTY, DIRTY_ARRAY)
    sim_start();
#define EXPECT_START(type, name, start) EXPECT_BITS(name, (type)start) << #name;
#define EXPECT_KVT(type, name) EXPECT_BITS(name, KVT.name) << #name;
#define EXPECT_KVT_ARRAY(type, name, n) EXPECT_EQ(0, memcmp(name, KVT.name, sizeof name)) << #name;
    SIM_STATE(EXPECT_START)
    CAR_FIELDS(EXPECT_KVT, EXPECT_KVT_ARRAY)
}

/* Catches steps not in double rounded once, a pedal that snaps to 0, a
 * wheel that snaps back or turns the wrong way with both keys. */
TEST_F(Sim, PedalsAndWheelStopAtTheirExactResidues)
{
    struct { std::vector<stretch> script; float *var; float want; } cases[] = {
        {{{39, {UP}}}, &PedalAccelerator, 0.9749996f},
        {{{140, {UP}}}, &PedalAccelerator, 0.9999996f},
        {{{40, {UP}}, {40, {}}}, &PedalAccelerator, -1.8253923e-08f},
        {{{1, {DOWN}}, {60, {}}}, &PedalBrake, 3.7252904e-10f},
        {{{3, {DOWN}}, {60, {}}}, &PedalBrake, 4.0978194e-09f},
        {{{20, {DOWN}}, {60, {}}}, &PedalBrake, -1.8253923e-08f},
        {{{3, {UP, DOWN}}}, &PedalBrake, 0.075f},
        {{{3, {UP, X}}}, &PedalClutch, 0.075f},
        {{{40, {RIGHT}}}, &DrivingWheelTurning, 0.9999996f},
        {{{40, {LEFT}}}, &DrivingWheelTurning, -0.9999996f},
        {{{40, {RIGHT}}, {18, {}}}, &DrivingWheelTurning, 0.09999943f},
        {{{40, {RIGHT}}, {19, {}}}, &DrivingWheelTurning, 0.0f},
        {{{40, {LEFT}}, {20, {RIGHT}}}, &DrivingWheelTurning, 5.7294966e-07f},
        {{{40, {LEFT}}, {60, {RIGHT}}}, &DrivingWheelTurning, 1.0000002f},
        {{{40, {LEFT, RIGHT}}}, &DrivingWheelTurning, 0.9999996f},
        {{{20, {LEFT}}, {5, {LEFT, RIGHT}}}, &DrivingWheelTurning, -0.62499994f},
    };
    for (auto &c : cases) {
        sim_start();
        press(c.script);
        EXPECT_BITS(*c.var, c.want) << "case " << (&c - cases);
    }
}

/* Catches a shift per tick held, out of range, a lost latch at the ends,
 * down winning over up. */
TEST_F(Sim, GearsShiftOncePerPressWithinRange)
{
    std::vector<stretch> six;
    for (int i = 0; i < 6; i++)
        six.insert(six.end(), {{1, {A}}, {1, {}}});
    six.pop_back();
    struct { std::vector<stretch> script; int gear; } cases[] = {
        {{{50, {A}}}, 1}, {six, 5}, {{{1, {Z}}, {1, {}}, {1, {Z}}}, -1}, {{{1, {A, Z}}}, 1},
        {{{2, {A}}, {2, {A, Z}}, {2, {Z}}, {2, {Z, Q}}}, 1}, {{{2, {A}}, {1, {}}, {1, {Z}}}, 0},
    };
    for (auto &c : cases) {
        SetUp();
        press(c.script);
        EXPECT_EQ(Gear, c.gear) << "case " << (&c - cases);
        EXPECT_EQ(KeyHeld, 1);
        EXPECT_EQ(title_calls, 0);
    }
}

/* Catches a title screen per tick Q is held, keys not read again when it
 * returns, or read more than once a tick. */
TEST_F(Sim, TitleScreenOncePerPressAndKeysReadOncePerTickAndAfterIt)
{
    press({{5, {Q}}});
    EXPECT_TRUE(title_calls == 1 && KeyHeld == 1);
    press({{1, {}}});
    on_title = [] { hold({}); };
    press({{1, {Q}}});
    EXPECT_TRUE(title_calls == 2 && KeyHeld == 0);
    Velocity = 3, x = 100;
    on_title = [] { hold({Q, R}); };
    press({{1, {Q}}});
    EXPECT_EQ(title_calls, 3);
    EXPECT_TRUE(x == 512 && Velocity == 0);

    SetUp();
    static int reads;
    sim_read_keys = [] {   /* everything let go right after the read */
        reads++, hold({});
        return test_read_keys() | 1u << SIM_UP | (reads == 1 ? 1u << SIM_Q : 0);
    };
    press({{1, {}}});
    EXPECT_TRUE(reads == 2 && title_calls == 1);
    EXPECT_BITS(PedalAccelerator, 0.025f);
    press({{3, {}}});
    EXPECT_EQ(reads, 5);
    EXPECT_BITS(PedalAccelerator, 0.1f);
}

/* Catches a reset that moves more than the position and the speeds (the
 * heading, travel, pedals, wheel, gear stay), from a moving car. */
TEST_F(Sim, ResetStopsTheCarAtTheCentreAndKeepsTheRest)
{
    float v = 1.5f;
#define DISTINCT(type, name, start) name = (type)(v += 1);
    SIM_STATE(DISTINCT)
    Gear = 2;
    const state_copy before;
    press({{1, {UP}}});
    const state_copy without;
    before.restore();
    press({{1, {UP, R}}});
    EXPECT_EQ(without.changed(), " x y Velocity TrueVelocity Acceleration EngineRev EngineForce RearAxisForce");
    EXPECT_TRUE(x == 512 && y == 384);
    for (float f : {Velocity, TrueVelocity, Acceleration, EngineRev, EngineForce, RearAxisForce})
        EXPECT_BITS(f, 0.0f);
}
