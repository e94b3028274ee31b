/*
 * Runs of the built caravelt-sim: its trace and frame are the game's own;
 * a frame that cannot be made is status 1; memory stays flat; its floats
 * print as printf's "%.9g" and read back to the same bits.
 */
#include <allegro.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <thread>

#include "present/present.h"
#include "sim_support.h"
#include "tool_support.h"
#include "trace.h"

/* Rows of pixels that differ between two 1024x768 16-bit bitmaps. */
static int differing_rows(BITMAP *a, BITMAP *b)
{
    int n = 0;
    for (int y = 0; y < 768; y++)
        n += memcmp(a->line[y], b->line[y], 1024 * 2) != 0;
    return n;
}

static std::string text(float f)
{
    char s[32];
    snprintf(s, sizeof s, "%.9g", f);
    return s;
}
static std::string text(int i) { return std::to_string(i); }

/* bench/drive.txt from a file: the last row holds the recorded state.
 * Three passes from a pipe (the second with CRLF line ends), past the
 * 1 MiB trace buffer: the same rows first, and every row is the state the
 * game's own tick leaves, driven in-process and printed here; the frame
 * is what draw_frame then composes. */
TEST(ToolRun, TraceAndFrameAreTheGamesOwn)
{
    temp_dir d;
    tool_run r = run_tool(d, "--trace t.csv '" CARAVELT_SCENARIO "'");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string trace = read_file(d / "t.csv");
    std::istringstream last(trace.substr(trace.rfind('\n', trace.size() - 2) + 1));
    std::string tick;
    std::getline(last, tick, ',');
    EXPECT_EQ(tick, "3083");
#define READ_COLUMN(type, name, start) { std::string c; std::getline(last, c, ','); name = (type)std::stod(c); }
    SIM_STATE_TRACED(READ_COLUMN)
    EXPECT_EQ(state_hash(), DRIVE_GOLDEN);

    const std::string f = "'" CARAVELT_SCENARIO "'";
    ASSERT_EQ(system(("cd '" + d.path + "' && { cat " + f + "; sed 's/$/\\r/' " + f + "; cat " + f
                      + "; } | '" CARAVELT_SIM_EXE "' --frame f.bmp --data '" CARAVELT_DATA_DIR
                      "' > p.csv").c_str()), 0);
    const std::string piped = read_file(d / "p.csv");
    EXPECT_EQ(piped.compare(0, trace.size(), trace), 0);
    EXPECT_GT(piped.size(), 1u << 20);
    std::istringstream rows(piped);
    std::string row;
    std::getline(rows, row);   /* the header */
    sim_start();
    sim_read_keys = test_read_keys;
    sim_title_screen = [] {};
    int n = 0;
    for (int pass = 0; pass < 3; pass++)
        drive_scenario([&] {
            std::string want = std::to_string(++n);
#define PRINT_COLUMN(type, name, start) want += "," + text(name);
            SIM_STATE_TRACED(PRINT_COLUMN)
            ASSERT_TRUE(std::getline(rows, row)) << "no row for tick " << n;
            ASSERT_EQ(row, want);
        });
    EXPECT_FALSE(std::getline(rows, row)) << "extra row " << row;

    char why[256];
    ASSERT_EQ(start_headless(why, sizeof why), 0) << why;
    kvtcar = load_picture(CARAVELT_DATA_DIR "/car/kvtcar.bmp", why, sizeof why);
    Track = load_picture(CARAVELT_DATA_DIR "/tarmac.bmp", why, sizeof why);
    BITMAP *tool = load_picture((d / "f.bmp").c_str(), why, sizeof why);
    BITMAP *game = create_bitmap(1024, 768);
    ASSERT_TRUE(kvtcar && Track && tool && game);
    ASSERT_TRUE(tool->w == 1024 && tool->h == 768 && bitmap_color_depth(tool) == 16);
    draw_frame(game);
    EXPECT_EQ(differing_rows(tool, game), 0);
    destroy_bitmap(game);
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
    tool_run s = run_tool(d, "--trace /dev/null short.txt");
    tool_run m = run_tool(d, "--trace /dev/null many.txt");
    auto through_pipe = [&](const std::string &text) {
        unlink((d / "in.fifo").c_str());
        EXPECT_EQ(mkfifo((d / "in.fifo").c_str(), 0600), 0);
        std::thread writer([&] { write_file(d / "in.fifo", text); });
        tool_run r = run_tool(d, "--trace /dev/null - <in.fifo");
        writer.join();
        return r;
    };
    tool_run ps = through_pipe(read_file(d / "short.txt")), pm = through_pipe(many);
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
