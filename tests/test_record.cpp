/* A drive recorded through the key seam replays exactly in caravelt-sim; its header reads
 * back whatever the names; the text waiting to be written stays bounded. */
#include "record.h"
#include "script.h"
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
        header.clear();
        record_header(&header, p, p, 0, p, 0x0123456789abcdefull);
        recorded_header h = read_recorded_header(header);
        EXPECT_TRUE(h.recording && h.has_car && !h.car_preset && h.car == p && h.has_course && h.course == p
                    && h.course_hash == 0x0123456789abcdefull) << "read back: " << shell_word(p);
        EXPECT_NE(header.find("\n# replay headless: caravelt-sim --car " + shell_word(p) + " --course " + shell_word(p)
                              + " --trace trace.csv " + shell_word(p) + "\n"), std::string::npos) << header;
    }
    std::string back;
    for (const char *word : {"'a'b'", "$'\\q'", "$'\\x4'", "a b", "'open"})
        EXPECT_FALSE(shell_word_back(word, &back)) << word << " is no word shell_word writes";
}

/* The head of a script as read by its check (a pipe's too): the recording's header. */
static std::string head_of(const temp_dir &d, const std::string &text, bool pipe)
{
    write_file(d / "s.rec", text);
    script_in in;
    char err[256];
    FILE *f = pipe ? popen(("cat '" + d / "s.rec" + "'").c_str(), "r") : nullptr;
    EXPECT_EQ(script_open(&in, pipe ? "-" : (d / "s.rec").c_str(), err, sizeof err), 0);
    if (pipe)
        in.f = f, in.own = false;
    EXPECT_EQ(script_check(&in, SCRIPT_SPOOL_MAX, err, sizeof err), 0) << err;
    std::string head = in.head;
    script_close(&in);
    if (f)
        pclose(f);
    return head;
}

/* Catches a recording replayed from another course's start (or a course's from the centre),
 * a plain script refused for want of a header, the header lost when the script is a pipe or
 * taken from comments after the first stretch. */
TEST(Record, RecordingIsReplayedOnTheCourseItWasDrivenOn)
{
    std::string on_a, on_none;
    record_header(&on_a, "d.rec", nullptr, 0, "a.toml", 0xaa);
    record_header(&on_none, "d.rec", nullptr, 0);
    const std::string late = "1 Up\n" + on_a;   /* a header after a stretch is a comment */
    struct { std::string text; const char *course; uint64_t hash; const char *refused; } cases[] = {
        {on_a, "b.toml", 0xaa, nullptr},
        {on_a, "b.toml", 0xab, "recorded on another course, a.toml (hash 00000000000000aa); b.toml has hash 00000000000000ab"},
        {on_a, nullptr, 0, "recorded on the course a.toml: replay it with --course"},
        {on_none, "b.toml", 0xaa, "recorded without a course: replay it without --course"},
        {on_none, nullptr, 0, nullptr},
        {"# my own script\n", "b.toml", 0xab, nullptr},
        {late, nullptr, 0, nullptr},
    };
    temp_dir d;
    for (const auto &k : cases)
        for (bool pipe : {false, true}) {
            script_in in;
            in.name = "d.rec";
            in.head = head_of(d, k.text + "10 Up\n", pipe);
            char err[256] = "";
            int st = check_recorded_course(&in, k.course, k.hash, err, sizeof err);
            EXPECT_EQ(st, k.refused ? 2 : 0) << k.text << (pipe ? " (pipe)" : "");
            EXPECT_EQ(std::string(err), k.refused ? std::string("d.rec: ") + k.refused : "") << (pipe ? " (pipe)" : "");
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
