/* A drive recorded through the key seam replays exactly in caravelt-sim; its header reads
 * back whatever the names; the text waiting to be written stays bounded. */
#include <map>
#include "files.h"
#include "header.h"
#include "record.h"
#include "script.h"
#include "support.h"
#include "trace.h"

/* Recording and tracing from tick 1 the keys the test holds, nothing left of another test's line. */
static void start_recording(void)
{
    record_flush_line();
    record_text.clear(), trace_text = std::string(TRACE_HEADER) + "\n";
    recording = tracing = true, ticks_recorded = ticks_noted = 0;
    record_keys_from([](int) { return test_read_keys(); });   /* the keys held now, whichever read */
}
/* Ticks from..to-1 of a drive that changes its keys every 7 ticks, recorded. */
static void drive_recorded(int from, int to)
{
    for (int i = from; i < to; i++) {
        hold(i % 7 ? std::vector<int>{UP} : std::vector<int>{UP, LEFT});
        recorded_tick();
    }
}

/* Catches a title screen's tick recorded with one key set, or replayed with other keys:
 * R pressed, keys let go or kept while the title is up, the Q latch held and freed. */
TEST_F(Sim, KeysChangedAcrossTheTitleScreenReplayExactly)
{
    start_recording();
    record_header(&record_text, "drive.rec", nullptr, 0);
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
    temp_dir d{{"drive.rec", record_text}};
    EXPECT_TRUE(tool_out(d, "--trace - drive.rec") == trace_text) << "the replay's trace differs";
}

/* Catches a header broken by a name with a newline or quote (refused on replay), a replay
 * command not giving back the very name, a car line not read back to the absolute path and hash. */
TEST(Record, HeaderKeepsAnyPathOnOneLineAndAsOneShellWord)
{
    const char *paths[] = {"x\n.toml", "it's here.rec", "tab\there", "\x01\x7f\\", "plain/dir-1.rec",
                           "bell\a'\"$x`", "a, parameters hash 0123456789abcdef"};
    temp_dir d;
    for (const char *p : paths) {
        std::string header, file;
        uint64_t hash = 0;
        record_header(&header, p, p, 0);
        std::istringstream lines(header);
        int n = 0;
        for (std::string line; std::getline(lines, line); n++)
            EXPECT_EQ(line[0], '#') << "line " << n << " of the header for " << shell_word(p);
        EXPECT_EQ(n, 6) << shell_word(p);
        EXPECT_EQ(header_car(header, &file, &hash), 1) << header;
        EXPECT_EQ(file, absolute_path(p));
        EXPECT_EQ(hash, car_hash());
        write_file(d / "h.rec", header + "1 Up\n");
        EXPECT_EQ(run_tool(d, "--force --trace /dev/null h.rec").status, 0) << header;
        write_file(d / "word.sh", "printf %s " + shell_word(p));
        EXPECT_EQ(tool_out(d, "word.sh", "/bin/bash"), p) << shell_word(p);
        header.clear();
        record_header(&header, p, p, 0, p, 0x0123456789abcdefull);
        file.clear();
        EXPECT_TRUE(header_is_recording(header));
        EXPECT_EQ(header_course(header, &file, &hash), 1) << header;
        EXPECT_EQ(file, absolute_path(p));
        EXPECT_EQ(hash, 0x0123456789abcdefull);
        const std::string word = shell_word(absolute_path(p).c_str());
        EXPECT_NE(header.find(" --course " + word + " --trace trace.csv " + word + "\n"), std::string::npos) << header;
    }
    std::string back;
    for (const char *word : {"'a'b'", "$'\\q'", "$'\\x4'", "a b", "'open"})
        EXPECT_FALSE(shell_word_read(word, &back)) << word << " is no word shell_word writes";
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
    std::string head = in.header;
    script_close(&in);
    if (f)
        pclose(f);
    return head;
}

/* Catches a recording replayed from another course's start (or a course's from the centre), --force
 * not heeded, a plain script refused, the header lost from a pipe or taken from a later comment. */
TEST(Record, RecordingIsReplayedOnTheCourseItWasDrivenOn)
{
    course b = {}, c = {}, out;
    b.name = "b", c.name = "c";
    const uint64_t h = course_hash(&b);
    std::string on_a, on_none;
    record_header(&on_a, "d.rec", nullptr, 0, "/c/a.toml", h);
    record_header(&on_none, "d.rec", nullptr, 0);
    const std::string late = "1 Up\n" + on_a;   /* a header after a stretch is a comment */
    const std::string or_force = ", or --force to replay it anyway", was = " (hash " + hex16(h) + ")";
    const struct { std::string text; const char *course; bool same; bool force; std::string refused; } cases[] = {
        {on_a, "b.toml", true, false, ""},
        {on_a, "b.toml", false, false, "recorded on the course /c/a.toml" + was + "; this course is b.toml "
                                       "(hash " + hex16(course_hash(&c)) + "): pass --course with the course it was recorded on" + or_force},
        {on_a, nullptr, true, false, "recorded on the course /c/a.toml" + was + ", which cannot be read "
                                     "(/c/a.toml: No such file or directory); no course is given: "
                                     "pass --course with the course it was recorded on" + or_force},
        {on_none, "b.toml", true, false, "recorded without a course; this course is b.toml" + was + ": "
                                         "replay it without --course" + or_force},
        {on_none, nullptr, true, false, ""},
        {on_a, "b.toml", false, true, ""},
        {on_a, nullptr, true, true, ""},
        {on_none, "b.toml", true, true, ""},
        {"# my own script\n", "b.toml", false, false, ""},
        {late, nullptr, true, false, ""},
    };
    temp_dir d;
    for (const auto &k : cases)
        for (bool pipe : {false, true}) {
            std::string header = head_of(d, k.text + "10 Up\n", pipe), file = "?";
            char err[512] = "";
            int st = replay_course(header, "d.rec", k.course, k.same ? &b : &c, k.force, &out, &file, err, sizeof err);
            EXPECT_EQ(st, k.refused.empty() ? 0 : 2) << k.text << (pipe ? " (pipe)" : "");
            EXPECT_EQ(std::string(err), k.refused.empty() ? "" : "d.rec: " + k.refused) << (pipe ? " (pipe)" : "");
            EXPECT_TRUE(st != 0 || file == (k.course ? k.course : "")) << k.text << ": " << file;
        }
}

/* Catches ticks run back to back (after a long title screen or a stopped process) holding
 * all their text until the next frame: it is handed on as soon as it passes the bound. */
TEST_F(Sim, TextWaitingStaysBoundedHoweverManyTicksRunAtOnce)
{
    start_recording();
    static size_t most, spills;
    most = spills = 0;
    record_spill = [] { spills++, record_text.clear(), trace_text.clear(); };
    for (int i = 0; i < 60000; i++) {   /* ten minutes owed: some 4 MB of rows */
        drive_recorded(i, i + 1);
        most = std::max(most, record_text.size() + trace_text.size());
    }
    recording = tracing = false, record_spill = nullptr;
    EXPECT_GE(spills, 2u);
    EXPECT_LT(most, (size_t)RECORD_SPILL_AT);
}

/* Catches a replay silently driven, in either program, by a car not its own (wrong, changed, lost,
 * a pipe that would hang), a refusal not naming both cars, --force or a script without a car refused. */
TEST_F(Sim, ReplayDrivesItsOwnCarOrIsRefused)
{
    temp_dir d;
    const std::string keys = "1 A\n150 Up Right\n";
    write_file(d / "keys.txt", keys);
    std::map<std::string, uint64_t> hash = {{"preset", car_hash_of(&KVT)}};
    auto take = [&](const std::string &name, const std::string &text) {   /* its hash and its trace */
        write_file(d / name, text);
        const car c = car_of(d / name);
        hash[name] = car_hash_of(&c);
        ASSERT_EQ(run_tool(d, "--car " + name + " --trace '" + name + ".csv' keys.txt").status, 0);
        load_car(&c);
        std::string rec;
        record_header(&rec, (d / name).c_str(), (d / name).c_str(), 0);
        write_file(d / (name + ".rec"), rec + keys);
    };
    for (const char *name : {"drift.toml", "light.toml", "changed.toml", "gone.toml"})
        take(name, std::string("G = 0.65\nLockMax = 42\n") + "Mass = " + std::to_string(900 + name[0]) + "\n");
    const std::string changed_rec = read_file(d / "changed.toml.rec");
    const uint64_t changed_was = hash["changed.toml"];
    take("changed.toml", "Mass = 1001\n");   /* its recording made before the change */
    write_file(d / "changed.toml.rec", changed_rec);
    unlink((d / "gone.toml").c_str());
    ASSERT_EQ(run_tool(d, "--trace preset.csv keys.txt").status, 0);
    ASSERT_EQ(mkfifo((d / "pipe.toml").c_str(), 0600), 0);   /* a recording may name anything */
    write_file(d / "pipe.toml.rec", "# car: " + d / "pipe.toml" + ", parameters hash 0123456789abcdef\n" + keys);

    auto refused = [&](const std::string &file, uint64_t was, const std::string &why, const std::string &now) {
        return file + ".rec: recorded with " + d.path + "/" + file + " (hash " + hex16(was) + ")" + why + "; this car is "
               + (now == "preset" ? "the preset" : now) + " (hash " + hex16(hash[now])
               + "): pass --car with the car it was recorded with, or --force to replay it anyway";
    };
    const struct { std::string opts, rec, message, drove; } cases[] = {
        {"--car drift.toml", "drift.toml.rec", "", "drift.toml"},   /* the right car */
        {"", "drift.toml.rec", "", "drift.toml"},                   /* none given, found */
        {"", "changed.toml.rec", refused("changed.toml", changed_was, ", which has changed since (hash "
                                         + hex16(hash["changed.toml"]) + ")", "preset"), ""},
        {"", "gone.toml.rec", refused("gone.toml", hash["gone.toml"], ", which cannot be read (" + d.path
                                      + "/gone.toml: No such file or directory)", "preset"), ""},
        {"", "pipe.toml.rec", refused("pipe.toml", 0x0123456789abcdef, ", which cannot be read (not a regular file)",
                                      "preset"), ""},
        {"--car light.toml", "drift.toml.rec", refused("drift.toml", hash["drift.toml"], "", "light.toml"), ""},
        {"--force --car light.toml", "drift.toml.rec", "", "light.toml"},
        {"--force", "changed.toml.rec", "", "changed.toml"},        /* the file as it is now */
        {"--force", "gone.toml.rec", "", "preset"},
        {"", "keys.txt", "", "preset"},                             /* an old recording: no car line */
        {"--car light.toml", "keys.txt", "", "light.toml"},
    };
    for (const auto &c : cases) {
        unlink((d / "t.csv").c_str());
        const std::string args = c.opts + " " + c.rec;
        tool_run sim = run_tool(d, "--trace t.csv " + args), game = run_tool(d, c.opts + " --replay " + c.rec, CARAVELT_GAME_EXE);
        EXPECT_EQ(sim.status, c.drove.empty() ? 2 : 0) << args << ": " << sim.err;
        EXPECT_EQ(sim.err, c.message.empty() ? "" : "caravelt-sim: " + c.message + "\n") << args;
        EXPECT_EQ(game.err, "caravelt: " + (c.message.empty() ? "cannot start the Allegro library: no display to open "
                                                                "(DISPLAY is not set)" : c.message) + "\n") << args;
        EXPECT_TRUE(c.drove.empty() || read_file(d / "t.csv") == read_file(d / (c.drove + ".csv")))
            << args << " did not drive " << c.drove;
    }
}

/* Catches a drive run again from its start (a replay's jump back) that writes keys or rows
 * a second time, or skips the ones past where it had been: the files equal one run's. */
TEST_F(Sim, ReRunFromTheStartWritesEachTickOnce)
{
    std::string once[2];
    for (int pass = 0; pass < 2; pass++) {
        start_recording();
        sim_start(), hold({});
        ticks(1, {A}, [] { recorded_tick(); });
        if (pass == 1) {   /* on to 700, back to the start, on to 300, back again, on to the end */
            drive_recorded(1, 700), state_start(), record_rerun(), ticks(1, {A}, [] { recorded_tick(); });
            drive_recorded(1, 300), state_start(), record_rerun(), ticks(1, {A}, [] { recorded_tick(); });
        }
        drive_recorded(1, 1000);
        record_flush_line();
        once[pass] = record_text + trace_text;
    }
    recording = tracing = false;
    EXPECT_TRUE(once[1] == once[0]) << "a re-run wrote its ticks again";
}
