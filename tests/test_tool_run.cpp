/*
 * Runs of the built caravelt-sim: its trace and frame are the game's own,
 * every run; a frame that cannot be made is status 1; memory stays flat.
 */
#include <allegro.h>

#include <cstring>
#include <sstream>
#include <sys/stat.h>
#include <thread>

#include "present/present.h"
#include "sim_support.h"
#include "tool_support.h"

/* Rows of pixels that differ between two 1024x768 16-bit bitmaps. */
static int differing_rows(BITMAP *a, BITMAP *b)
{
    int n = 0;
    for (int y = 0; y < 768; y++)
        n += memcmp(a->line[y], b->line[y], 1024 * 2) != 0;
    return n;
}

/* Every key and stage of the tick (gears, slide, brakes, clutch, reverse,
 * title screen, reset); tabs, CRLF, comments, one key set over two lines
 * (one stretch each); a trace past the tool's 1 MiB buffer. */
static const char DRIVE[] =
    "# written by the tests\n1 A\n300 Up\n2\n1 A Up\n250 Up\n400 Up Right\r\n"
    "100\tDown  Left\n50 Left Down # same keys\n\n100 X Up\n1 Z\n1\n1 Z\n1\n1 Z\n"
    "300 Up Left\n1 Q\n3 R\n1 A\n1\n1 A\n6000 Up Right\n";

/* Each row holds exactly the state the game's own tick leaves when the
 * same script is driven in-process, the same every run; the frame is
 * what draw_frame then composes from the pictures start-up loads. */
TEST(ToolRun, TraceAndFrameAreTheGamesOwnEveryRun)
{
    temp_dir d;
    write_file(d / "drive.txt", DRIVE);
    tool_run r = run_tool(d, "--trace t.csv --frame f.bmp --data '" CARAVELT_DATA_DIR "' drive.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string trace = read_file(d / "t.csv");
    EXPECT_GT(trace.size(), 1u << 20);
    /* Again, from a pipe (spooled, then read like a file) to standard output. */
    ASSERT_EQ(system(("cd '" + d.path + "' && cat drive.txt | '" CARAVELT_SIM_EXE "' > p.csv").c_str()), 0);
    EXPECT_TRUE(read_file(d / "p.csv") == trace) << "a second run differs";

    /* In-process, the keys spelled here rather than taken from the tool. */
    static const std::pair<std::string, int> names[] = {{"Up", SIM_KEY_UP}, {"Down", SIM_KEY_DOWN},
        {"Left", SIM_KEY_LEFT}, {"Right", SIM_KEY_RIGHT}, {"A", SIM_KEY_A}, {"Z", SIM_KEY_Z},
        {"X", SIM_KEY_X}, {"R", SIM_KEY_R}, {"Q", SIM_KEY_Q}};
    sim_start();
    sim_read_keys = test_read_keys;
    sim_title_screen = [] {};
    std::istringstream lines(DRIVE), rows(trace);
    std::string line, row;
    std::getline(rows, row);   /* the header */
    int n = 0, ticks, slid = 0, reversed = 0;
    while (std::getline(lines, line)) {
        std::istringstream words(line.substr(0, line.find('#')));
        if (!(words >> ticks))
            continue;
        hold({});
        for (std::string w; words >> w;)
            for (const auto &[name, key] : names)
                held_keys[key] |= w == name;
        while (ticks-- > 0) {
            logic();
            n++;
            ASSERT_TRUE(std::getline(rows, row)) << "no row for tick " << n;
            float f[13];
            int i[4], end = 0;
            ASSERT_EQ(sscanf(row.c_str(), "%d,%f,%f,%f,%f,%f,%f,%f,%f,%f,%f,%f,%f,%f,%d,%d,%d%n", i,
                             f, f + 1, f + 2, f + 3, f + 4, f + 5, f + 6, f + 7, f + 8, f + 9,
                             f + 10, f + 11, f + 12, i + 1, i + 2, i + 3, &end), 17) << row;
            const float want[] = {x, y, AxisAngle, TrueAngle, Velocity, TrueVelocity, Acceleration,
                                  EngineRev, TransmissionTotal, PedalAccelerator, PedalBrake,
                                  PedalClutch, DrivingWheelTurning};
            const int want_i[] = {n, Gear, KeyHeld, TractionSlip};
            ASSERT_TRUE(!memcmp(f, want, sizeof f) && !memcmp(i, want_i, sizeof i) && !row[end])
                << "tick " << n << ": " << row;
            slid += TractionSlip;
            reversed += Gear == -1;
        }
    }
    EXPECT_FALSE(std::getline(rows, row)) << "extra row " << row;
    EXPECT_TRUE(slid > 0 && reversed > 0);   /* the script reached a slide and reverse */

    char err[256];
    ASSERT_EQ(start_headless(err, sizeof err), 0) << err;
    char why[256];
    kvtcar = load_picture(CARAVELT_DATA_DIR "/car/kvtcar.bmp", why, sizeof why);
    Track = load_picture(CARAVELT_DATA_DIR "/tarmac.bmp", why, sizeof why);
    BITMAP *tool = load_picture((d / "f.bmp").c_str(), why, sizeof why);
    BITMAP *game = create_bitmap(1024, 768);
    ASSERT_TRUE(kvtcar && Track && tool && game);
    ASSERT_TRUE(tool->w == 1024 && tool->h == 768 && bitmap_color_depth(tool) == 16);
    draw_frame(game);
    EXPECT_EQ(differing_rows(tool, game), 0);
    sim_start();   /* the comparison can see a change */
    draw_frame(game);
    EXPECT_GT(differing_rows(tool, game), 100);
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
