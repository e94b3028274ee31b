/*
 * Runs of the built caravelt-sim: each kind of bad input is one line
 * naming the file and line, status 2, and nothing written; its trace and
 * frame are the game's own; a frame that cannot be made is status 1;
 * memory stays flat; its floats print as printf's "%.9g" and read back to
 * the same bits.
 */
#include <cfloat>
#include <cmath>
#include <random>
#include <sys/stat.h>
#include <thread>

#include "present_support.h"
#include "tool_support.h"
#include "trace.h"

static const struct { std::string script, args, message; } bad[] = {
    {"1 A\n300 Up\n3 Upp\n", "drive.txt", "drive.txt:3: unknown key \"Upp\""},
    {"\n\nten Up\n", "drive.txt", "drive.txt:3: bad tick count \"ten\""},
    {"# x\n30x Up\n", "drive.txt", "drive.txt:2: bad tick count \"30x\""},
    {"2 Up\x01\n", "drive.txt", "drive.txt:1: unknown key \"Up\\x01\""},
    {"1 " + std::string(40, 'K'), "drive.txt",
     "drive.txt:1: unknown key \"" + std::string(32, 'K') + "...\""},
    {"1 A\n0 Up\n", "drive.txt", "drive.txt:2: tick count \"0\" out of range 1 to 100000000"},
    {"100000001", "drive.txt", "drive.txt:1: tick count \"100000001\" out of range 1 to 100000000"},
    {"18446744073709551621 Up", "drive.txt",   /* 2^64 + 5 */
     "drive.txt:1: tick count \"18446744073709551621\" out of range 1 to 100000000"},
    {"1 A\n3 Upp", "- < drive.txt", "stdin:2: unknown key \"Upp\""},
    {"1 Q Up / Up R\n2 Q / R\n", "drive.txt", "drive.txt:2: \"/\" only on a line of 1 tick that holds Q"},
    {"1 Up / Q\n", "drive.txt", "drive.txt:1: \"/\" only on a line of 1 tick that holds Q"},
    {"1 Q / Up / R\n", "drive.txt", "drive.txt:1: more than one \"/\""},
    {"/ Q\n", "drive.txt", "drive.txt:1: bad tick count \"/\""},
    {"1 A\n", "missing.txt", "missing.txt: No such file or directory"},
    {"1 A\n", ".", ".: cannot read: Is a directory"},
    {"1 A\n", "--speed drive.txt", "unknown option \"--speed\" (try --help)"},
    {"1 A\n", "drive.txt --trace", "option --trace needs a value"},
    {"1 A\n", "--frame x.png drive.txt",
     "the frame \"x.png\" must be named FILE.bmp: it is written as a BMP picture"},
    /* an output that is the script or the other output */
    {"1 A\n", "--trace drive.txt drive.txt",
     "the trace \"drive.txt\" and the script \"drive.txt\" are the same file"},
    {"1 A\n", "--trace ./drive.txt - <drive.txt",
     "the trace \"./drive.txt\" and the script \"standard input\" are the same file"},
    {"1 A\n", "--trace - drive.txt >>drive.txt",
     "the trace \"standard output\" and the script \"drive.txt\" are the same file"},
    {"1 A\n", "--frame drive.txt.bmp --trace ./drive.txt.bmp drive.txt",
     "the frame \"drive.txt.bmp\" and the trace \"./drive.txt.bmp\" are the same file"},
    /* lines past 4 KiB, from a file or endless; a read error is no end */
    {"1 A\n1 #" + std::string(4093, 'x') + "\n1 #" + std::string(4094, 'x') + "\n", "drive.txt",
     "drive.txt:3: line longer than 4096 bytes"},
    {"", "- </dev/zero", "stdin:1: line longer than 4096 bytes"},
    {"", "/proc/self/mem", "/proc/self/mem: cannot read: Input/output error"},
    /* a byte-order mark only at the very start (the tool's run test has one there) */
    {"1 A\n\xef\xbb\xbf" "2 Up\n", "drive.txt", "drive.txt:2: bad tick count \"\\xef\\xbb\\xbf2\""},
};

/* One run a case; the script itself is left alone too. */
TEST(ToolScript, EachBadInputIsOneLineAndStatusTwoAndWritesNothing)
{
    temp_dir d;
    for (const auto &c : bad) {
        write_file(d / "drive.txt", c.script);
        expect_refused(d, "--trace old.csv --frame new.bmp --data '" CARAVELT_DATA_DIR "' " + c.args, c.message);
        EXPECT_EQ(read_file(d / "drive.txt"), c.script) << c.message;
    }
}

static std::string text(float f)
{
    char s[32];
    snprintf(s, sizeof s, "%.9g", f);
    return s;
}
static std::string text(int i) { return std::to_string(i); }

/* The trace row of the state now, printed here. */
static std::string row_now(int tick)
{
    std::string s = std::to_string(tick);
#define PRINT_COLUMN(type, name, start) s += "," + text(name);
    SIM_STATE_TRACED(PRINT_COLUMN)
    return s + "\n";
}
static std::string last_row(const std::string &t) { return t.substr(t.rfind('\n', t.size() - 2) + 1); }

/* bench/drive.txt after a byte-order mark, from a file: the last row is
 * the recorded state.  Three passes from a pipe (a mark again, the second
 * pass with CRLF line ends), past the 1 MiB trace buffer: the same rows
 * first, then the state three passes of the game's tick leave; the frame
 * is what draw_frame then composes. */
TEST(ToolRun, TraceAndFrameAreTheGamesOwn)
{
    temp_dir d;
    auto sh = [&](const std::string &cmd) { return system(("cd '" + d.path + "' && " + cmd).c_str()); };
    const std::string f = " '" CARAVELT_SCENARIO "'; ", bom = "printf '\\357\\273\\277'; ";
    ASSERT_EQ(sh("{ " + bom + "cat" + f + "} >bom.txt"), 0);
    tool_run r = run_tool(d, "--trace t.csv bom.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(sh("{ " + bom + "cat" + f + "sed 's/$/\\r/'" + f + "cat" + f + "} | '" CARAVELT_SIM_EXE
                 "' --frame f.bmp --data '" CARAVELT_DATA_DIR "' >p.csv"), 0);
    const std::string trace = read_file(d / "t.csv"), piped = read_file(d / "p.csv");
    sim_start();
    sim_read_keys = test_read_keys;
    sim_title_screen = [] {};
    drive_scenario();
    EXPECT_EQ(state_hash(), DRIVE_GOLDEN);
    EXPECT_EQ(last_row(trace), row_now(3083));
    EXPECT_EQ(piped.compare(0, trace.size(), trace), 0);
    EXPECT_GT(piped.size(), 1u << 20);
    drive_scenario();
    drive_scenario();
    EXPECT_EQ(last_row(piped), row_now(3 * 3083));

    start_library();
    Track = game_track, kvtcar = game_car;
    draw_frame(buffer);
    char why[256];
    BITMAP *tool = load_picture((d / "f.bmp").c_str(), why, sizeof why);
    ASSERT_TRUE(tool && tool->w == 1024 && tool->h == 768 && bitmap_color_depth(tool) == 16) << why;
    int rows = 0;   /* that differ */
    for (int y = 0; y < 768; y++)
        rows += memcmp(tool->line[y], buffer->line[y], 1024 * 2) != 0;
    EXPECT_EQ(rows, 0);
    destroy_bitmap(tool);
}

/* A frame that cannot be made: status 1 and the reason; no trace when
 * that is known before the first tick. */
TEST(ToolRun, FrameThatCannotBeMadeIsStatusOne)
{
    temp_dir d;
    write_file(d / "drive.txt", "1 A\n30 Up\n");
    ASSERT_EQ(symlink("/dev/full", (d / "full.bmp").c_str()), 0);
    const std::string data = " --data '" CARAVELT_DATA_DIR "' drive.txt";
    const struct { std::string args, message; bool traced; } cases[] = {
        {"--frame f.bmp --data . drive.txt",
         "cannot load \"./car/kvtcar.bmp\": No such file or directory", false},
        {"--frame no/such/f.bmp" + data, "cannot write the frame \"no/such/f.bmp\": No such file or directory", false},
        {"--frame full.bmp" + data, "cannot write the frame \"full.bmp\": No space left on device", true},
        {"--trace /dev/full drive.txt", "cannot write the trace \"/dev/full\": No space left on device", false},
    };
    for (const auto &c : cases) {
        tool_run r = run_tool(d, "--trace t.csv " + c.args);
        EXPECT_EQ(r.status, 1) << c.message;
        EXPECT_EQ(r.err, "caravelt-sim: " + c.message + "\n");
        EXPECT_EQ(access((d / "t.csv").c_str(), F_OK) == 0, c.traced) << c.message;
        unlink((d / "t.csv").c_str());
    }
}

/* Memory follows neither the length of the run nor the number of lines
 * (a script file is read twice rather than kept, a pipe spooled to a
 * temporary file first). */
TEST(ToolRun, MemoryStaysFlatHoweverLongTheScript)
{
    temp_dir d;
    std::string many;
    for (int i = 0; i < 200000; i++)
        many += i % 2 ? "1 Up\n" : "1 Up Left\n";
    write_file(d / "many.txt", many);
    write_file(d / "short.txt", "1 A\n20000 Up Right\n");
    auto through_pipe = [&](const std::string &file) {
        unlink((d / "in.fifo").c_str());
        EXPECT_EQ(mkfifo((d / "in.fifo").c_str(), 0600), 0);
        std::thread writer([&] { write_file(d / "in.fifo", read_file(d / file)); });
        tool_run r = run_tool(d, "--trace /dev/null - <in.fifo");
        writer.join();
        return r;
    };
    tool_run s = run_tool(d, "--trace /dev/null short.txt"), m = run_tool(d, "--trace /dev/null many.txt");
    tool_run ps = through_pipe("short.txt"), pm = through_pipe("many.txt");
    ASSERT_EQ(s.status + m.status + ps.status + pm.status, 0) << pm.err;
    EXPECT_LT(m.max_rss_kb - s.max_rss_kb, 256) << s.max_rss_kb << " kB, then " << m.max_rss_kb;
    EXPECT_LT(pm.max_rss_kb - ps.max_rss_kb, 256) << ps.max_rss_kb << " kB, then " << pm.max_rss_kb;
}

TEST(ToolTrace, FloatsPrintAsPrintfAndReadBackBitForBit)
{
    std::vector<float> values = {0.0f, -0.0f, 0.1f, 16777217.0f, 1e9f, 123456789.0f,
                                 FLT_TRUE_MIN, -FLT_MIN, FLT_MAX, -FLT_MAX, INFINITY,
                                 -INFINITY, NAN, -NAN,
                                 1048576.125f, 1048576.375f};   /* ties: to even */
    std::mt19937 rng(7);   /* every exponent, NaN payloads, subnormals */
    for (int i = 0; i < 100000; i++)
        values.push_back(std::bit_cast<float>((uint32_t)rng()));
    for (float f : values) {
        char text[FLOAT_TEXT_MAX + 1], want[64];
        *put_float(text, f) = '\0';
        snprintf(want, sizeof want, "%.9g", (double)f);
        ASSERT_STREQ(text, want) << "bits 0x" << std::hex << bits(f);
        ASSERT_TRUE(std::isnan(f) || bits(strtof(text, nullptr)) == bits(f)) << text;
    }
}
