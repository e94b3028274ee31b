/*
 * A drive recorded through the key seam replays exactly in caravelt-sim,
 * however the keys change across title screens inside ticks.
 */
#include <random>

#include "record.h"
#include "sim_support.h"
#include "tool_support.h"
#include "trace.h"

enum { UP = SIM_KEY_UP, LEFT = SIM_KEY_LEFT, RIGHT = SIM_KEY_RIGHT, A = SIM_KEY_A, Q = SIM_KEY_Q, R = SIM_KEY_R };

/* n ticks with these keys held, each through recorded_tick. */
static void rticks(int n, const std::vector<int> &keys)
{
    hold(keys);
    for (int i = 0; i < n; i++)
        recorded_tick();
}

/* drive() through recorded_tick with a recording and a trace on; then
 * caravelt-sim replays the recording and must give the same trace.
 * Returns the recording. */
static std::string record_and_replay(void (*drive)(void))
{
    sim_start();
    record_text.clear();
    trace_text = std::string(TRACE_HEADER) + "\n";
    recording = tracing = true;
    ticks_recorded = 0;
    record_header(&record_text, "drive.rec", nullptr, 0);
    record_keys_from([](int) { return test_read_keys(); });   /* the keys held now, whichever read */
    drive();
    record_flush_line();
    recording = tracing = false;
    temp_dir d;
    write_file(d / "drive.rec", record_text);
    tool_run r = run_tool(d, "--trace sim.csv drive.rec");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(read_file(d / "sim.csv") == trace_text) << "the replay's trace differs";
    return record_text;
}

/* Keys let go, pressed or kept while the title screen is up; the owed
 * ticks then run with the keys it returned to. */
TEST_F(Sim, KeysChangedAcrossTheTitleScreenReplayExactly)
{
    std::string rec = record_and_replay([] {
        rticks(1, {A});
        rticks(300, {UP, RIGHT});
        on_title = [] { hold({UP, R}); };   /* R pressed, Right let go */
        rticks(1, {UP, RIGHT, Q});
        on_title = [] { hold({Q}); };       /* all but Q let go: latched */
        rticks(50, {UP});
        rticks(1, {Q, LEFT});
        rticks(1, {});
        on_title = [] { hold({}); };        /* Q let go: latch free again */
        rticks(1, {Q});
        rticks(1, {Q});
        on_title = nullptr;                 /* nothing changed */
        rticks(1, {});
        rticks(3, {Q, UP});
    });
    for (const char *line : {"\n1 Up Right Q / Up R\n", "\n1 Left Q / Q\n", "\n1 Q /\n1 Q /\n", "\n3 Up Q\n"})
        EXPECT_NE(rec.find(line), std::string::npos) << line << " in\n" << rec;
    EXPECT_EQ(title_calls, 5);
}

/* A minute of random keys with frequent title screens, each returning to
 * random keys: every tick of the replay is the drive's. */
TEST_F(Sim, RandomDriveWithTitleScreensReplaysExactly)
{
    static std::mt19937 rng(99);
    on_title = [] {
        hold({});
        for (int k : SIM_KEY_NUMBERS)
            held_keys[k] = rng() % 100 < (k == UP ? 60u : k == Q ? 15u : 20u);
    };
    record_and_replay([] {
        for (int tick = 0; tick < 6000;) {
            on_title();
            for (int n = 1 + (int)(rng() % 40); n > 0; n--, tick++)
                recorded_tick();
        }
    });
    EXPECT_GT(title_calls, 10);
}
