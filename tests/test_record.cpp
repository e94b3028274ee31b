/*
 * A drive recorded through the key seam replays exactly in caravelt-sim,
 * however the keys change across title screens inside ticks.
 */
#include <random>

#include "record.h"
#include "sim_support.h"
#include "tool_support.h"
#include "trace.h"

/* The keys the drive holds at each read of the seam, as the game's
 * source does: the held keys now, whichever read it is. */
static unsigned held_now(int) { return test_read_keys(); }

/* n ticks with these keys held, each through recorded_tick. */
static void rticks(int n, const std::vector<int> &keys)
{
    hold(keys);
    for (int i = 0; i < n; i++)
        recorded_tick();
}

/* Runs fn's drive through recorded_tick with a recording and a trace on;
 * then caravelt-sim replays the recording and must give the same trace. */
static void record_and_replay(const std::function<void(std::mt19937 &)> &drive, std::string *rec)
{
    sim_start();
    record_text.clear();
    trace_text = std::string(TRACE_HEADER) + "\n";
    recording = tracing = true;
    ticks_recorded = 0;
    record_header(&record_text, "drive.rec", nullptr, 0);
    record_keys_from(held_now);
    std::mt19937 rng(99);
    drive(rng);
    record_flush_line();
    recording = tracing = false;

    temp_dir d;
    write_file(d / "drive.rec", record_text);
    tool_run r = run_tool(d, "--trace sim.csv drive.rec");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(read_file(d / "sim.csv") == trace_text) << "the replay's trace differs";
    *rec = record_text;
}

/* Keys let go, pressed or kept while the title screen is up; the owed
 * ticks then run with the keys it returned to. */
TEST_F(Sim, KeysChangedAcrossTheTitleScreenReplayExactly)
{
    std::string rec;
    record_and_replay([](std::mt19937 &) {
        rticks(1, {SIM_KEY_A});
        rticks(300, {SIM_KEY_UP, SIM_KEY_RIGHT});
        on_title = [] { hold({SIM_KEY_UP, SIM_KEY_R}); };   /* R pressed, Right let go */
        rticks(1, {SIM_KEY_UP, SIM_KEY_RIGHT, SIM_KEY_Q});
        on_title = [] { hold({SIM_KEY_Q}); };               /* all but Q let go: latched */
        rticks(50, {SIM_KEY_UP});
        rticks(1, {SIM_KEY_Q, SIM_KEY_LEFT});
        rticks(1, {});
        on_title = [] { hold({}); };                        /* Q let go: latch free again */
        rticks(1, {SIM_KEY_Q});
        rticks(1, {SIM_KEY_Q});
        on_title = nullptr;                                 /* nothing changed */
        rticks(1, {});
        rticks(3, {SIM_KEY_Q, SIM_KEY_UP});
    }, &rec);
    EXPECT_NE(rec.find("\n1 Up Right Q / Up R\n"), std::string::npos) << rec;
    EXPECT_NE(rec.find("\n1 Left Q / Q\n"), std::string::npos) << rec;
    EXPECT_NE(rec.find("\n1 Q /\n1 Q /\n"), std::string::npos) << rec;
    EXPECT_NE(rec.find("\n3 Up Q\n"), std::string::npos) << rec;
    EXPECT_EQ(title_calls, 5);
}

/* A minute of random keys with frequent title screens, each returning to
 * random keys: every tick of the replay is the drive's. */
TEST_F(Sim, RandomDriveWithTitleScreensReplaysExactly)
{
    static std::mt19937 *r;
    static auto random_keys = [] {
        hold({});
        for (int k : SIM_KEY_NUMBERS)
            held_keys[k] = (*r)() % 100 < (k == SIM_KEY_UP ? 60u : k == SIM_KEY_Q ? 15u : 20u);
    };
    std::string rec;
    record_and_replay([](std::mt19937 &rng) {
        r = &rng;
        on_title = random_keys;
        for (int tick = 0; tick < 6000; ) {
            random_keys();
            for (int n = 1 + (int)(rng() % 40); n > 0; n--, tick++)
                recorded_tick();
        }
    }, &rec);
    EXPECT_GT(title_calls, 10);
}
