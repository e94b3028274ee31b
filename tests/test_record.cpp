/* Recording headers read back whatever the names; a replay drives its header's car and course, or is refused. */
#include "drive/files.h"
#include "drive/script.h"
#include "run/choose.h"
#include "support.h"

/* Catches a header broken by a newline or quote in a name, a replay command not giving back the
 * very name, a car or course line not read back to the absolute path and hash. */
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
        script_in in;
        in.header = header, in.name = "h.rec";
        char err[256] = "";
        EXPECT_EQ(header_car(&in, &file, &hash, err, sizeof err), 1) << header << err;
        EXPECT_TRUE(file == absolute_path(p) && hash == car_hash()) << file << ' ' << hex16(hash);
        write_file(d / "h.rec", header + "1 Up\n");
        EXPECT_EQ(run_tool(d, "--force --trace /dev/null h.rec").status, 0) << header;
        write_file(d / "word.sh", "printf %s " + shell_word(p));
        EXPECT_EQ(tool_out(d, "word.sh", "/bin/bash"), p) << shell_word(p);
        header.clear(), file.clear();
        record_header(&header, p, p, 0, p, 0x0123456789abcdefull);
        EXPECT_TRUE(header_is_recording(header));
        in.header = header;
        EXPECT_EQ(header_course(&in, &file, &hash, err, sizeof err), 1) << header << err;
        EXPECT_TRUE(file == absolute_path(p) && hash == 0x0123456789abcdefull) << file << ' ' << hex16(hash);
        const std::string word = shell_word(absolute_path(p).c_str());
        EXPECT_NE(header.find(" --course " + word + " --trace trace.csv " + word + "\n"), std::string::npos) << header;
    }
    std::string back;
    for (const char *word : {"'a'b'", "$'\\q'", "$'\\x4'", "a b", "'open"})
        EXPECT_FALSE(shell_word_read(word, &back)) << word << " is no word shell_word writes";
}

/* A script checked as a replay is (a pipe's too), named "d.rec": its header read. */
static void checked(const temp_dir &d, const std::string &text, bool pipe, script_in *in)
{
    write_file(d / "s.rec", text);
    char err[256];
    FILE *f = pipe ? popen(("cat '" + d / "s.rec" + "'").c_str(), "r") : nullptr;
    EXPECT_EQ(script_open(in, pipe ? "-" : (d / "s.rec").c_str(), err, sizeof err), 0);
    if (pipe)
        in->f = f, in->own = false;
    EXPECT_EQ(script_check(in, SCRIPT_SPOOL_MAX, err, sizeof err), 0) << err;
    in->name = "d.rec";
    if (f)
        pclose(f);
}

/* Catches a replay from another course's start (or the centre), --force not heeded, a plain script
 * refused, the header lost from a pipe or taken from a later comment. */
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
            script_in in;
            checked(d, k.text + "10 Up\n", pipe, &in);
            std::string file = "?";
            char err[512] = "";
            int st = replay_course(&in, k.course, k.same ? &b : &c, k.force, &out, &file, err, sizeof err);
            script_close(&in);
            EXPECT_EQ(st, k.refused.empty() ? 0 : -1) << k.text << (pipe ? " (pipe)" : "");
            EXPECT_EQ(std::string(err), k.refused.empty() ? "" : "d.rec: " + k.refused) << (pipe ? " (pipe)" : "");
            EXPECT_TRUE(st != 0 || file == (k.course ? k.course : "")) << k.text << ": " << file;
        }
}

/* Catches a replay driven, in either program, by a car not its own (wrong, changed, lost, a pipe),
 * a refusal not naming both cars, --force or a script without a car refused. */
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

