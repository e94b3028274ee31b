/* Start state, and the controls stage alone driven through the key seam. */
#include <cstring>
#include "support.h"

/* Stretches of the controls stage (held_for): n ticks with these keys held. */
struct held_for { int n; std::vector<int> keys; };
static void press(const std::vector<held_for> &script)
{
    for (const held_for &s : script)
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

/* Catches steps not rounded once from double, a pedal snapped to 0, a wheel that snaps
 * back against a key or turns the wrong way with both. */
TEST_F(Sim, PedalsAndWheelStopAtTheirExactResidues)
{
    struct { std::vector<held_for> script; float *var; float want; } cases[] = {
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

/* Catches a shift per tick held, out of range, no latch at the ends, down beating up. */
TEST_F(Sim, GearsShiftOncePerPressWithinRange)
{
    std::vector<held_for> six;
    for (int i = 0; i < 11; i++)
        six.push_back({1, i % 2 ? std::vector<int>{} : std::vector<int>{A}});
    struct { std::vector<held_for> script; int gear; } cases[] = {
        {{{50, {A}}}, 1}, {six, 5}, {{{1, {Z}}, {1, {}}, {1, {Z}}}, -1}, {{{1, {A, Z}}}, 1},
        {{{2, {A}}, {2, {A, Z}}, {2, {Z}}, {2, {Z, Q}}}, 1}, {{{2, {A}}, {1, {}}, {1, {Z}}}, 0},
    };
    for (auto &c : cases) {
        SetUp();
        press(c.script);
        EXPECT_TRUE(Gear == c.gear && KeyHeld == 1 && title_calls == 0) << "case " << (&c - cases) << ": gear " << Gear;
    }
}

/* Catches a title screen per tick of Q, keys not read again after it or read twice a tick. */
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
    EXPECT_TRUE(title_calls == 3 && x == 512 && Velocity == 0);
    SetUp();
    static int reads;
    sim_read_keys = [] {   /* everything let go right after the read */
        reads++, hold({});
        return test_read_keys() | 1u << SIM_UP | (reads == 1 ? 1u << SIM_Q : 0);
    };
    press({{1, {}}});
    EXPECT_TRUE(reads == 2 && title_calls == 1 && PedalAccelerator == 0.025f);
    press({{3, {}}});
    EXPECT_TRUE(reads == 5 && PedalAccelerator == 0.1f);
}

/* Catches a reset of a moving car that touches more than the position and the speeds. */
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

/* Catches the state a halted car starts again from losing the run's own start (a course's,
 * set by sim_start_at) or keeping anything of the drive, parameters aside. */
TEST_F(Sim, StartStateAgainIsTheRunsOwnStart)
{
    const float mass = Mass = 900;
    for (bool course : {false, true}) {
        sim_start(), Mass = mass;
        course ? sim_start_at(100, 200, 90) : void();
        const state_copy start;
        ticks(1, {A}), ticks(300, {UP, RIGHT});
        state_start();
        EXPECT_EQ(start.changed(), "") << (course ? "course" : "centre");
        EXPECT_EQ(Mass, mass);
        ticks(1, {R});   /* and R still puts it there */
        EXPECT_EQ(x, course ? 100 : 512);
    }
}
