/* Runs of the built caravelt-sim (and the game's replay): refusals, trace and frame, failures, memory. */
#include <thread>
#include "present_support.h"
#include "drive/trace.h"

/* Catches bad input run, refused without file and line, or writing an output or the script. */
TEST(ToolScript, EachBadInputIsOneLineAndStatusTwoAndWritesNothing)
{
    const std::string range = " out of range 1 to 100000000", slash = "\"/\" only on a line of 1 tick that holds Q";
    const struct { std::string script, args, message; } bad[] = {
        {"1 A\n300 Up\n3 Upp\n", "drive.txt", "drive.txt:3: unknown key \"Upp\" (did you mean \"Up\"?)"},
        {"151 up\n", "drive.txt", "drive.txt:1: unknown key \"up\" (did you mean \"Up\"?)"},
        {"1 A Rigth\n", "drive.txt", "drive.txt:1: unknown key \"Rigth\" (did you mean \"Right\"?)"},
        {"1 E\n", "drive.txt", "drive.txt:1: unknown key \"E\""},
        {"\n\nten Up\n", "drive.txt", "drive.txt:3: bad tick count \"ten\""},
        {"# x\n30x Up\n", "drive.txt", "drive.txt:2: bad tick count \"30x\""},
        {"2 Up\x01\n", "drive.txt", "drive.txt:1: unknown key \"Up\\x01\" (did you mean \"Up\"?)"},
        {"1 " + std::string(40, 'K'), "drive.txt", "drive.txt:1: unknown key \"" + std::string(32, 'K') + "...\""},
        {"1 A\n0 Up\n", "drive.txt", "drive.txt:2: tick count \"0\"" + range},
        {"100000001", "drive.txt", "drive.txt:1: tick count \"100000001\"" + range},
        {"18446744073709551621 Up", "drive.txt", "drive.txt:1: tick count \"18446744073709551621\"" + range},   /* 2^64 + 5 */
        {"1 A\n3 Upp", "- < drive.txt", "stdin:2: unknown key \"Upp\" (did you mean \"Up\"?)"},
        {"1 Q Up / Up R\n2 Q / R\n", "drive.txt", "drive.txt:2: " + slash},
        {"1 Up / Q\n", "drive.txt", "drive.txt:1: " + slash},
        {"1 Q / Up / R\n", "drive.txt", "drive.txt:1: more than one \"/\""},
        {"/ Q\n", "drive.txt", "drive.txt:1: bad tick count \"/\""},
        {"1 A\n", "missing.txt", "missing.txt: No such file or directory"},
        {"1 A\n", ".", ".: cannot read: Is a directory"},
        /* lines past 4 KiB, from a file or endless; a read error is no end */
        {"1 A\n1 #" + std::string(4093, 'x') + "\n1 #" + std::string(4094, 'x') + "\n", "drive.txt", "drive.txt:3: line longer than 4096 bytes"},
        {"", "- </dev/zero", "stdin:1: line longer than 4096 bytes"},
        {"", "/proc/self/mem", "/proc/self/mem: cannot read: Input/output error"},
        /* a byte-order mark only at the very start (the run test has one there) */
        {"1 A\n\xef\xbb\xbf" "2 Up\n", "drive.txt", "drive.txt:2: bad tick count \"\\xef\\xbb\\xbf2\""},
    };
    temp_dir d;
    for (const auto &c : bad) {
        write_file(d / "drive.txt", c.script);
        expect_refused(d, "--trace old.csv --frame new.bmp --data '" CARAVELT_DATA_DIR "' " + c.args, c.message);
        EXPECT_EQ(read_file(d / "drive.txt"), c.script) << c.message;
    }
}

/* The trace row of the state now, printed here with printf. */
static std::string row_now(int tick)
{
    std::string s = std::to_string(tick);
    char f[32];
#define PRINT_COLUMN(type, name, start) \
    snprintf(f, sizeof f, #type[0] == 'i' ? "%.0f" : "%.9g", (double)name), s += std::string(",") + f;
    SIM_STATE_TRACED(PRINT_COLUMN)
    return s + "\n";
}
static std::string last_row(const std::string &t) { return t.substr(t.rfind('\n', t.size() - 2) + 1); }

/* Catches a tick, trace or frame not the game's: the scenario after a byte-order mark, then
 * three passes piped (CRLF in the second, past the 1 MiB buffer). */
TEST_F(Sim, ToolTraceAndFrameAreTheGamesOwn)
{
    temp_dir d;
    auto sh = [&](const std::string &cmd) { return system(("cd '" + d.path + "' && " + cmd).c_str()); };
    const std::string f = " '" CARAVELT_SCENARIO "'; ", bom = "printf '\\357\\273\\277'; ";
    ASSERT_EQ(sh("{ " + bom + "cat" + f + "} >bom.txt"), 0);
    ASSERT_EQ(run_tool(d, "--trace t.csv bom.txt").status, 0);
    ASSERT_EQ(sh("{ " + bom + "cat" + f + "sed 's/$/\\r/'" + f + "cat" + f + "} | '" CARAVELT_SIM_EXE
                 "' --frame f.bmp --data '" CARAVELT_DATA_DIR "' >p.csv"), 0);
    const std::string trace = read_file(d / "t.csv"), piped = read_file(d / "p.csv");
    drive_scenario();
    EXPECT_EQ(last_row(trace), row_now(3083));
    EXPECT_EQ(piped.compare(0, trace.size(), trace), 0);
    EXPECT_GT(piped.size(), 1u << 20);
    drive_scenario(), drive_scenario();
    EXPECT_EQ(last_row(piped), row_now(3 * 3083));
    start_library();
    draw_frame(buffer);
    char why[256];
    BITMAP *tool = load_picture((d / "f.bmp").c_str(), why, sizeof why);
    ASSERT_TRUE(tool && tool->w == 1024 && tool->h == 768 && bitmap_color_depth(tool) == 16) << why;
    for (int y = 0; y < 768; y++)
        ASSERT_EQ(memcmp(tool->line[y], buffer->line[y], 1024 * 2), 0) << "row " << y;
    destroy_bitmap(tool);
}

/* Catches a failed frame passed as success, a trace begun when the failure is known before a tick,
 * pictures looked for in a folder the message does not name (a copy of the binary, none anywhere). */
TEST(ToolRun, FrameThatCannotBeMadeIsStatusOne)
{
    temp_dir d{{"drive.txt", "1 A\n30 Up\n"}};
    const std::string copy = d / "bin/caravelt-sim";
    ASSERT_EQ(system(("cd '" + d.path + "' && ln -s /dev/full full.bmp && mkdir bin && cp '" CARAVELT_SIM_EXE "' bin").c_str()), 0);
    const std::string data = " --data '" CARAVELT_DATA_DIR "' drive.txt";
    const struct { std::string args, message; bool traced; const char *exe = CARAVELT_SIM_EXE; } cases[] = {
        {"--trace t.csv --frame f.bmp --data . drive.txt", "cannot load \"./car/kvtcar.bmp\": No such file or directory", false},
        {"--trace t.csv --frame f.bmp drive.txt", "cannot find the pictures tarmac.bmp and car/kvtcar.bmp: not in " + d.path
         + " nor in " + d.path + "/bin/data (--data DIR names their folder)", false, copy.c_str()},
        {"--trace t.csv --frame no/such/f.bmp" + data, "cannot write the frame \"no/such/f.bmp\": No such file or directory", false},
        {"--trace t.csv --frame full.bmp" + data, "cannot write the frame \"full.bmp\": No space left on device", true},
    };
    for (const auto &c : cases) {
        tool_run r = run_tool(d, c.args, c.exe);
        EXPECT_EQ(r.status, 1) << c.message;
        EXPECT_EQ(r.err, "caravelt-sim: " + c.message + "\n");
        EXPECT_EQ(exists(d / "t.csv"), c.traced) << c.message;
        unlink((d / "t.csv").c_str());
    }
}

/* Catches memory that grows with the run or the lines, from a file or a pipe: caravelt-sim's
 * script, the game's replay (checked whole, then the game fails for want of a display). */
TEST(ToolRun, MemoryStaysFlatHoweverLongTheScript)
{
    std::string many;
    for (int i = 0; i < 100000; i++)
        many += "1 Up Left\n1 Up\n";
    temp_dir d{{"short.txt", "1 A\n20000 Up Right\n"}, {"many.txt", many}};
    auto rss = [&](const std::string &file, bool pipe, bool game) {
        std::thread writer;
        if (pipe) {
            unlink((d / "in.fifo").c_str());
            EXPECT_EQ(mkfifo((d / "in.fifo").c_str(), 0600), 0);
            writer = std::thread([&] { write_file(d / "in.fifo", read_file(d / file)); });
        }
        tool_run r = run_tool(d, (game ? "--replay " : "--trace /dev/null ") + (pipe ? "- <in.fifo" : file),
                              game ? CARAVELT_GAME_EXE : CARAVELT_SIM_EXE);
        pipe ? writer.join() : void();
        EXPECT_EQ(r.status, game ? 1 : 0) << r.err;
        return r.max_rss_kb;
    };
    for (bool game : {false, true})
        for (bool pipe : {false, true}) {
            long s = rss("short.txt", pipe, game), m = rss("many.txt", pipe, game);
            EXPECT_LT(m - s, 256) << (game ? "game, " : "") << (pipe ? "pipe: " : "file: ") << s << " kB, then " << m;
        }
}

/* Catches a state gone to inf or NaN written out or run on, or the stop at the wrong tick: a light
 * car with a huge engine on full lock stops at its first tick not finite. */
TEST_F(Sim, StateNoLongerFiniteStopsTheRunAtItsTick)
{
    temp_dir d{{"wild.toml", "Mass = 10\nPeakTorque = 100000\nTransmissionFinal = 20\nDragCoeficient = 200000\n"},
               {"s.txt", "1 A\n# full lock\n1000 Up Right\n"}};
    tool_run r = run_tool(d, "--car wild.toml --trace t.csv --frame f.bmp --data '" CARAVELT_DATA_DIR "' s.txt");
    const car c = car_of(d / "wild.toml");
    load_car(&c);
    std::string bad, last;
    int tick = 1;   /* ticks run: A, then Up and Right until the state is not finite */
    for (ticks(1, {A}); bad.empty() && tick <= 1000; tick++) {
        last = row_now(tick);
        ticks(1, {UP, RIGHT});
        char v[32];
#define FIRST_BAD(type, name, start) \
    if (bad.empty() && !std::isfinite((double)name)) snprintf(v, sizeof v, "%g", (double)name), bad = #name " became " + std::string(v);
        SIM_STATE(FIRST_BAD)
    }
    ASSERT_FALSE(bad.empty()) << "the car stayed finite";
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "caravelt-sim: s.txt:3: tick " + std::to_string(tick) + ": " + bad
                         + " (not a finite number); the trace ends at tick " + std::to_string(tick - 1) + "\n");
    const std::string trace = read_file(d / "t.csv");
    EXPECT_EQ(std::count(trace.begin(), trace.end(), '\n'), tick) << "header and rows";
    EXPECT_EQ(last_row(trace), last);
    EXPECT_FALSE(exists(d / "f.bmp"));
}
