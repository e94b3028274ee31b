/* A drive recorded through the key seam replays exactly in caravelt-sim; its header reads
 * back whatever the names; the text waiting to be written stays bounded. */
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

/* Catches a header broken by a name with a newline or quote (the recording then refused on
 * replay), or a replay command that does not give back the very name. */
TEST(Record, HeaderKeepsAnyPathOnOneLineAndAsOneShellWord)
{
    const char *paths[] = {"x\n.toml", "it's here.rec", "tab\there", "\x01\x7f\\", "plain/dir-1.rec", "bell\a'\"$x`"};
    temp_dir d;
    for (const char *p : paths) {
        std::string header;
        record_header(&header, p, p, 0);
        std::istringstream lines(header);
        int n = 0;
        for (std::string line; std::getline(lines, line); n++)
            EXPECT_EQ(line[0], '#') << "line " << n << " of the header for " << shell_word(p);
        EXPECT_EQ(n, 6) << shell_word(p);
        write_file(d / "h.rec", header + "1 Up\n");
        EXPECT_EQ(run_tool(d, "--trace /dev/null h.rec").status, 0) << header;
        write_file(d / "word.sh", "printf %s " + shell_word(p));
        EXPECT_EQ(system(("bash '" + d / "word.sh" + "' >'" + d / "back" + "'").c_str()), 0);
        EXPECT_EQ(read_file(d / "back"), p) << shell_word(p);
    }
}

/* Catches ticks run back to back (after a long title screen or a stopped process) holding
 * all their text until the next frame: it is handed on as soon as it passes the bound. */
TEST_F(Sim, TextWaitingStaysBoundedHoweverManyTicksRunAtOnce)
{
    record_text.clear(), trace_text = std::string(TRACE_HEADER) + "\n";
    recording = tracing = true, ticks_recorded = 0;
    record_keys_from([](int) { return test_read_keys(); });
    static size_t most, spills;
    most = spills = 0;
    record_spill = [] { spills++, record_text.clear(), trace_text.clear(); };
    for (int i = 0; i < 60000; i++) {   /* ten minutes owed: some 4 MB of rows */
        hold(i % 7 ? std::vector<int>{UP} : std::vector<int>{UP, LEFT});
        recorded_tick();
        most = std::max(most, record_text.size() + trace_text.size());
    }
    recording = tracing = false, record_spill = nullptr;
    EXPECT_GE(spills, 2u);
    EXPECT_LT(most, (size_t)RECORD_SPILL_AT);
}
