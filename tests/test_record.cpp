/* A drive recorded through the key seam replays exactly in caravelt-sim. */
#include "record.h"
#include "support.h"
#include "trace.h"

/* Catches a title screen's tick recorded with one key set, or replayed with other keys:
 * R pressed, keys let go or kept while the title is up, the Q latch held and freed. */
TEST_F(Sim, KeysChangedAcrossTheTitleScreenReplayExactly)
{
    record_text.clear(), trace_text = std::string(TRACE_HEADER) + "\n";
    recording = tracing = true, ticks_recorded = 0;
    record_header(&record_text, "drive.rec", nullptr, 0);
    record_keys_from([](int) { return test_read_keys(); });   /* the keys held now, whichever read */
    const struct { int n; std::vector<int> keys; std::function<void()> title; } drive[] = {
        {1, {A}, nullptr}, {300, {UP, RIGHT}, nullptr}, {1, {UP, RIGHT, Q}, [] { hold({UP, R}); }},
        {50, {UP}, [] { hold({Q}); }}, {1, {Q, LEFT}, nullptr}, {1, {}, nullptr},
        {1, {Q}, [] { hold({}); }}, {1, {Q}, nullptr}, {1, {}, [] {}}, {3, {Q, UP}, nullptr},
    };
    for (auto &s : drive) {
        on_title = s.title ? s.title : on_title;   /* until the next row that sets one */
        ticks(s.n, s.keys, [] { recorded_tick(); });
    }
    record_flush_line();
    recording = tracing = false;
    EXPECT_EQ(title_calls, 5);
    for (const char *line : {"\n1 Up Right Q / Up R\n", "\n1 Left Q / Q\n", "\n1 Q /\n1 Q /\n", "\n3 Up Q\n"})
        EXPECT_NE(record_text.find(line), std::string::npos) << line << " in\n" << record_text;
    temp_dir d;
    write_file(d / "drive.rec", record_text);
    tool_run r = run_tool(d, "--trace sim.csv drive.rec");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(read_file(d / "sim.csv") == trace_text) << "the replay's trace differs";
}
