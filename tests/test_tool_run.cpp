/*
 * Runs of the built caravelt-sim: the trace is the game's state tick by
 * tick, bit for bit; runs repeat exactly; bad input is refused with one
 * line and status 2 and leaves no file; memory stays flat.
 */
#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstring>
#include <random>

#include "tool_support.h"
#include "trace.h"

static std::vector<std::string> split(const std::string &s, char sep)
{
    std::vector<std::string> parts;
    size_t start = 0, at;
    while ((at = s.find(sep, start)) != std::string::npos) {
        parts.push_back(s.substr(start, at - start));
        start = at + 1;
    }
    parts.push_back(s.substr(start));
    return parts;
}

static std::string g9(float f)
{
    char b[64];
    snprintf(b, sizeof b, "%.9g", (double)f);
    return b;
}

/* Every row equals, field by field, the state the game's own tick leaves
 * when driven in-process by the test seam; floats read back bit for bit. */
TEST(ToolRun, TraceIsTheStateAfterEachTickBitForBit)
{
    temp_dir d;
    write_file(d / "drive.txt", script_text(drive_steps()));
    tool_run r = run_tool(d, {"--trace", "trace.csv", "drive.txt"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");

    std::vector<std::string> lines = split(read_file(d / "trace.csv"), '\n');
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "tick,x,y,AxisAngle,TrueAngle,Velocity,TrueVelocity,Acceleration,"
                        "EngineRev,TransmissionTotal,PedalAccelerator,PedalBrake,PedalClutch,"
                        "DrivingWheelTurning,Gear,KeyHeld,TractionSlip");
    EXPECT_EQ(lines.back(), "");   /* the last row ends with its newline */

    int slid = 0, reversed = 0, rows = 0;
    drive_in_process(drive_steps(), [&](int n) {
        ASSERT_LT((size_t)n, lines.size() - 1);
        std::vector<std::string> f = split(lines[n], ',');
        ASSERT_EQ(f.size(), 17u) << lines[n];
        EXPECT_EQ(f[0], std::to_string(n));
        const float state[] = {x, y, AxisAngle, TrueAngle, Velocity, TrueVelocity,
                               Acceleration, EngineRev, TransmissionTotal, PedalAccelerator,
                               PedalBrake, PedalClutch, DrivingWheelTurning};
        for (int i = 0; i < 13; i++) {
            ASSERT_EQ(bits(strtof(f[1 + i].c_str(), nullptr)), bits(state[i]))
                << "tick " << n << " column " << i + 1 << ": " << f[1 + i];
            ASSERT_EQ(f[1 + i], g9(state[i]));
        }
        ASSERT_EQ(f[14], std::to_string(Gear));
        ASSERT_EQ(f[15], std::to_string(KeyHeld));
        ASSERT_EQ(f[16], std::to_string(TractionSlip));
        slid += TractionSlip;
        reversed += Gear == -1;
        rows = n;
    });
    EXPECT_EQ((size_t)rows, lines.size() - 2);
    EXPECT_GT(slid, 0);       /* the script really exercised the slide */
    EXPECT_GT(reversed, 0);   /* and reverse */
}

/* Same script, same bytes: by file twice, through a pipe, to stdout. */
TEST(ToolRun, SameScriptGivesTheSameTraceEveryWay)
{
    temp_dir d;
    write_file(d / "drive.txt", script_text(drive_steps()));
    ASSERT_EQ(run_tool(d, {"--trace", "a.csv", "drive.txt"}).status, 0);
    ASSERT_EQ(run_tool(d, {"--trace", "b.csv", "drive.txt"}).status, 0);
    tool_run from_stdin = run_tool(d, {}, d / "drive.txt");
    ASSERT_EQ(from_stdin.status, 0) << from_stdin.err;
    tool_run dash = run_tool(d, {"--trace", "-", "-"}, d / "drive.txt");
    int piped = system(("cat '" + (d / "drive.txt") + "' | " CARAVELT_SIM_EXE " --trace '"
                        + (d / "c.csv") + "'").c_str());
    ASSERT_EQ(piped, 0);

    std::string a = read_file(d / "a.csv");
    EXPECT_GT(a.size(), 100000u);
    EXPECT_EQ(read_file(d / "b.csv"), a);
    EXPECT_EQ(from_stdin.out, a);
    EXPECT_EQ(dash.out, a);
    EXPECT_EQ(read_file(d / "c.csv"), a);
}

/* A script that only holds nothing: just the header and the wraps. */
TEST(ToolRun, EmptyScriptWritesOnlyTheHeader)
{
    temp_dir d;
    write_file(d / "empty.txt", "# nothing\n\n");
    tool_run r = run_tool(d, {"empty.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string(TRACE_HEADER) + "\n");
}

/* Each kind of bad input: status 2, exactly this one line, and neither
 * the trace nor the frame touched (an old trace keeps its contents). */
TEST(ToolRun, BadInputIsRefusedWithOneLineAndWritesNothing)
{
    temp_dir d;
    write_file(d / "good.txt", "1 A\n300 Up\n");
    write_file(d / "typo.txt", "1 A\n300 Up\n3 Upp\n");
    write_file(d / "zero.txt", "0 Up\n");
    write_file(d / "big.txt", "# far too long\n100000001 Up\n");
    write_file(d / "word.txt", "\n\nten Up\n");
    mkdir((d / "folder").c_str(), 0755);
    struct { std::vector<std::string> args; const char *in; const char *message; } cases[] = {
        {{"typo.txt"}, "", "caravelt-sim: typo.txt:3: unknown key \"Upp\"\n"},
        {{"zero.txt"}, "", "caravelt-sim: zero.txt:1: tick count \"0\" out of range 1 to 100000000\n"},
        {{"big.txt"}, "", "caravelt-sim: big.txt:2: tick count \"100000001\" out of range 1 to 100000000\n"},
        {{"word.txt"}, "", "caravelt-sim: word.txt:3: bad tick count \"ten\"\n"},
        {{"-"}, "typo.txt", "caravelt-sim: stdin:3: unknown key \"Upp\"\n"},
        {{"missing.txt"}, "", "caravelt-sim: missing.txt: No such file or directory\n"},
        {{"folder"}, "", "caravelt-sim: folder: cannot read: Is a directory\n"},
        {{"--speed", "good.txt"}, "", "caravelt-sim: unknown option \"--speed\" (try --help)\n"},
        {{"good.txt", "--trace"}, "", "caravelt-sim: option --trace needs a value\n"},
        {{"--frame", "", "good.txt"}, "", "caravelt-sim: option --frame needs a non-empty value\n"},
        {{"good.txt", "good.txt"}, "", "caravelt-sim: more than one script: \"good.txt\"\n"},
    };
    for (const auto &c : cases) {
        std::vector<std::string> args = {"--trace", "new.csv", "--frame", "new.bmp",
                                         "--data", CARAVELT_DATA_DIR};
        args.insert(args.end(), c.args.begin(), c.args.end());
        tool_run r = run_tool(d, args, *c.in ? d / c.in : "");
        EXPECT_EQ(r.status, 2) << c.message;
        EXPECT_EQ(r.err, c.message);
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(exists(d / "new.csv")) << c.message;
        EXPECT_FALSE(exists(d / "new.bmp")) << c.message;
    }

    write_file(d / "old.csv", "keep me\n");
    EXPECT_EQ(run_tool(d, {"--trace", "old.csv", "typo.txt"}).status, 2);
    EXPECT_EQ(read_file(d / "old.csv"), "keep me\n");
}

/* A frame that cannot be made fails with status 1, before any tick
 * when it can be known then (no trace is written). */
TEST(ToolRun, FrameThatCannotBeMadeIsStatusOne)
{
    temp_dir d;
    write_file(d / "good.txt", "1 A\n30 Up\n");
    mkdir((d / "nodata").c_str(), 0755);

    tool_run r = run_tool(d, {"--trace", "t.csv", "--frame", "f.bmp", "--data", "nodata", "good.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "caravelt-sim: cannot load \"nodata/car/kvtcar.bmp\": No such file or directory\n");
    EXPECT_FALSE(exists(d / "t.csv"));

    mkdir((d / "nodata/car").c_str(), 0755);
    write_file(d / "nodata/car/kvtcar.bmp", "not a picture");
    r = run_tool(d, {"--trace", "t.csv", "--frame", "f.bmp", "--data", "nodata", "good.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "caravelt-sim: cannot load \"nodata/car/kvtcar.bmp\": "
                     "not a BMP picture the library can read\n");
    EXPECT_FALSE(exists(d / "t.csv"));

    r = run_tool(d, {"--trace", "t.csv", "--frame", "no/such/f.bmp", "--data", CARAVELT_DATA_DIR,
                     "good.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "caravelt-sim: cannot write the frame \"no/such/f.bmp\": No such file or directory\n");
    EXPECT_FALSE(exists(d / "t.csv"));

    r = run_tool(d, {"--trace", "t.csv", "--frame", "/dev/full", "--data", CARAVELT_DATA_DIR,
                     "good.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "caravelt-sim: cannot write the frame \"/dev/full\": No space left on device\n");

    r = run_tool(d, {"--trace", "/dev/full", "good.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "caravelt-sim: cannot write the trace \"/dev/full\": No space left on device\n");
}

/* Memory does not follow the length of the run, nor the number of lines
 * of a script file (it is read twice rather than kept).  The short run
 * already fills the trace buffer, so any growth beyond is the run's. */
TEST(ToolRun, MemoryStaysFlatHoweverLongTheScript)
{
    temp_dir d;
    write_file(d / "short.txt", "1 A\n20000 Up Right\n");
    write_file(d / "long.txt", "1 A\n400000 Up Right\n");
    std::string many;
    for (int i = 0; i < 200000; i++)
        many += i % 2 ? "1 Up\n" : "1 Up Left\n";
    write_file(d / "many.txt", many);

    tool_run s = run_tool(d, {"--trace", "/dev/null", "short.txt"});
    tool_run l = run_tool(d, {"--trace", "/dev/null", "long.txt"});
    tool_run m = run_tool(d, {"--trace", "/dev/null", "many.txt"});
    ASSERT_EQ(s.status, 0);
    ASSERT_EQ(l.status, 0);
    ASSERT_EQ(m.status, 0);
    EXPECT_LT(l.max_rss_kb - s.max_rss_kb, 256) << s.max_rss_kb << " kB then " << l.max_rss_kb;
    EXPECT_LT(m.max_rss_kb - s.max_rss_kb, 256) << s.max_rss_kb << " kB then " << m.max_rss_kb;
}

/* Random scripts through the real program, about a second's worth: it
 * exits 0 with no message, or 2 with one line and no trace file. */
TEST(ToolRun, FuzzedScriptsNeverCrashTheTool)
{
    static const char *pieces[] = {"1", "3", "25", "0", "100000001", "-2", "x", "Up", "Down",
                                   "Left", "Right", "A", "Z", "X", "R", "Q", "Upp", "q",
                                   "#", " ", "\t", "\r", "\xc3\xa9"};
    std::mt19937 rng(99);
    temp_dir d;
    auto stop = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    int runs = 0;
    while (std::chrono::steady_clock::now() < stop || runs < 20) {
        std::string text;
        for (int line = 0, lines = (int)(rng() % 6); line < lines; line++) {
            for (int i = 0, n = (int)(rng() % 5); i < n; i++) {
                text += rng() % 8 ? pieces[rng() % (sizeof pieces / sizeof *pieces)]
                                  : std::string(1, (char)(1 + rng() % 255));
                text += ' ';
            }
            text += '\n';
        }
        write_file(d / "fuzz.txt", text);
        tool_run r = run_tool(d, {"--trace", "fuzz.csv", "-"}, d / "fuzz.txt");
        runs++;
        ASSERT_TRUE(r.status == 0 || r.status == 2) << r.status << " for " << text;
        if (r.status == 0) {
            ASSERT_EQ(r.err, "") << text;
            ASSERT_TRUE(exists(d / "fuzz.csv"));
            unlink((d / "fuzz.csv").c_str());
        } else {
            ASSERT_EQ(r.err.rfind("caravelt-sim: stdin:", 0), 0u) << r.err;
            ASSERT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
            ASSERT_EQ(r.err.back(), '\n');
            ASSERT_FALSE(exists(d / "fuzz.csv")) << text;
        }
    }
}
