/*
 * caravelt-sim's refusals: each kind of bad input is one line naming the
 * file and line, status 2, and nothing written; and a bounded fuzz of
 * the parser in-process.
 */
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>

#include "script.h"
#include "tool_support.h"

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
    {"1 A\n", "missing.txt", "missing.txt: No such file or directory"},
    {"1 A\n", ".", ".: cannot read: Is a directory"},
    {"1 A\n", "--speed drive.txt", "unknown option \"--speed\" (try --help)"},
    {"1 A\n", "drive.txt --trace", "option --trace needs a value"},
    {"1 A\n", "--frame x.png drive.txt",
     "the frame \"x.png\" must be named FILE.bmp: it is written as a BMP picture"},
};

/* One run a case: one line, status 2, no trace or frame made and an old
 * trace untouched. */
TEST(ToolScript, EachBadInputIsOneLineAndStatusTwoAndWritesNothing)
{
    temp_dir d;
    for (const auto &c : bad) {
        write_file(d / "drive.txt", c.script);
        write_file(d / "old.csv", "keep me\n");
        tool_run r = run_tool(d, "--trace old.csv --frame new.bmp --data '" CARAVELT_DATA_DIR "' " + c.args);
        EXPECT_EQ(r.status, 2) << c.message;
        EXPECT_EQ(r.err, "caravelt-sim: " + c.message + "\n");
        EXPECT_EQ(read_file(d / "old.csv"), "keep me\n") << c.message;
        EXPECT_NE(access((d / "new.bmp").c_str(), F_OK), 0) << c.message;
    }
}

/* About a second of random scripts, from near-misses of the grammar and
 * raw bytes: each is accepted with every stretch in range, or refused
 * with one line naming a line of the script. */
TEST(ToolScript, FuzzedScriptsAreAcceptedOrRefusedWithOneLine)
{
    static const char *pieces[] = {"1", "30", "0", "100000000", "100000001", "-1", "+2", "1e3",
                                   "Up", "Down", "Right", "A", "Q", "up", "Upp", "#", " ", "\t",
                                   "\r", "\n", "Up#", "99999999999999999999"};
    std::mt19937 rng(424242);
    auto stop = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    int runs = 0, refused = 0;
    for (; std::chrono::steady_clock::now() < stop; runs++) {
        std::string text;
        for (int i = 0, n = (int)(rng() % 30); i < n; i++)
            text += rng() % 5 ? std::string(pieces[rng() % std::size(pieces)]) + " "
                              : std::string(1, (char)rng());
        char err[512] = "";
        FILE *f = fmemopen(text.data(), text.size(), "r");
        int st = scan_script(f, "drive.txt", [](const stretch *s, void *) {   /* 9: out of range */
            return s->ticks >= 1 && s->ticks <= SCRIPT_MAX_TICKS && s->keys < 1u << SCRIPT_KEYS ? 0 : 9;
        }, nullptr, err, sizeof err);
        fclose(f);
        if (st == 0)
            continue;
        refused++;
        int line = 0, end = 0;
        sscanf(err, "drive.txt:%d: %*[^\n]%n", &line, &end);
        ASSERT_TRUE(st == 2 && line >= 1 && line <= 1 + std::count(text.begin(), text.end(), '\n')
                    && !err[end]) << st << " " << err << " for " << text;
    }
    EXPECT_GT(runs, 1000);
    EXPECT_TRUE(refused > runs / 10 && refused < runs) << refused << " of " << runs;
}
