/*
 * caravelt-sim's script parser, in-process: what each line means, the
 * message for each kind of fault, the line numbers, and a bounded fuzz.
 */
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "script.h"
#include "sim/sim.h"

/* Key-mask bit of the key spelled name. */
static unsigned bit(const char *name)
{
    for (int i = 0; i < SCRIPT_KEYS; i++)
        if (strcmp(script_keys[i].name, name) == 0)
            return 1u << i;
    ADD_FAILURE() << "no key " << name;
    return 0;
}

struct parsed {
    int result;
    stretch s;
    std::string err;
};

static parsed parse(const std::string &line)
{
    parsed p = {0, {0, 0}, ""};
    char err[256] = "";
    p.result = parse_script_line(line.data(), line.size(), &p.s, err, sizeof err);
    p.err = err;
    return p;
}

/* Every stretch of a whole script, or the scan's status and message. */
struct scanned {
    int status;
    std::vector<stretch> stretches;
    std::string err;
};

static int collect(const stretch *s, void *ctx)
{
    ((std::vector<stretch> *)ctx)->push_back(*s);
    return 0;
}

static scanned scan(const std::string &text)
{
    scanned r = {0, {}, ""};
    FILE *f = fmemopen((void *)text.data(), text.size(), "r");
    if (text.empty())
        f = fopen("/dev/null", "r");
    char err[512] = "";
    r.status = scan_script(f, "drive.txt", collect, &r.stretches, err, sizeof err);
    r.err = err;
    fclose(f);
    return r;
}

TEST(ToolScript, GoodLinesGiveTicksAndKeys)
{
    parsed p = parse("300 Up");
    EXPECT_EQ(p.result, 1);
    EXPECT_EQ(p.s.ticks, 300u);
    EXPECT_EQ(p.s.keys, bit("Up"));

    p = parse("  200\tUp   Right\r");   /* tabs, runs of blanks, CRLF ends */
    EXPECT_EQ(p.result, 1);
    EXPECT_EQ(p.s.ticks, 200u);
    EXPECT_EQ(p.s.keys, bit("Up") | bit("Right"));

    p = parse("5");                      /* no key held */
    EXPECT_EQ(p.result, 1);
    EXPECT_EQ(p.s.keys, 0u);

    p = parse("1 Up Down Left Right A Z X R Q Up");  /* repeats are harmless */
    EXPECT_EQ(p.result, 1);
    EXPECT_EQ(p.s.keys, (1u << SCRIPT_KEYS) - 1);

    p = parse("100000000 A# shift, then nothing");
    EXPECT_EQ(p.result, 1);
    EXPECT_EQ(p.s.ticks, 100000000u);
    EXPECT_EQ(p.s.keys, bit("A"));

    p = parse("007 Q");                  /* leading zeros are still a whole number */
    EXPECT_EQ(p.result, 1);
    EXPECT_EQ(p.s.ticks, 7u);
}

TEST(ToolScript, BlankAndCommentLinesAreSkipped)
{
    for (const char *line : {"", "   ", "\t\r", "# a note", "   # 5 Upp", "#"})
        EXPECT_EQ(parse(line).result, 0) << '"' << line << '"';
}

TEST(ToolScript, EachFaultHasItsMessage)
{
    struct { const char *line, *message; } cases[] = {
        {"3 Upp", "unknown key \"Upp\""},
        {"3 up", "unknown key \"up\""},            /* spelled exactly */
        {"3 Up,Right", "unknown key \"Up,Right\""},
        {"3 Space", "unknown key \"Space\""},
        {"Up", "bad tick count \"Up\""},
        {"x Up", "bad tick count \"x\""},
        {"-5 Up", "bad tick count \"-5\""},
        {"+5 Up", "bad tick count \"+5\""},
        {"1.5 Up", "bad tick count \"1.5\""},
        {"1e3", "bad tick count \"1e3\""},
        {"0 Up", "tick count \"0\" out of range 1 to 100000000"},
        {"100000001", "tick count \"100000001\" out of range 1 to 100000000"},
        {"99999999999999999999999", "tick count \"99999999999999999999999\" out of range 1 to 100000000"},
        {"2 Up\x01", "unknown key \"Up\\x01\""},   /* control bytes escaped */
        {"2 \"Up\"", "unknown key \"\\\"Up\\\"\""},
    };
    for (const auto &c : cases) {
        parsed p = parse(c.line);
        EXPECT_EQ(p.result, -1) << c.line;
        EXPECT_EQ(p.err, c.message) << c.line;
    }
}

TEST(ToolScript, LongOrBinaryTokensStayOneShortLine)
{
    std::string line = "1 " + std::string(5000, 'K');
    line[100] = '\0';
    line[200] = '\n';
    parsed p = parse(line);
    EXPECT_EQ(p.result, -1);
    EXPECT_EQ(p.err, "unknown key \"" + std::string(32, 'K') + "...\"");
}

TEST(ToolScript, ScanNamesTheFileAndLineOfTheFirstFault)
{
    scanned r = scan("1 A\n# comment\n\n300 Up\n3 Upp\n4 Bad\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "drive.txt:5: unknown key \"Upp\"");
    EXPECT_EQ(r.stretches.size(), 2u);   /* lines before the fault were seen */

    r = scan("1 A\r\n0 Up");             /* last line without a newline */
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "drive.txt:2: tick count \"0\" out of range 1 to 100000000");
}

TEST(ToolScript, ScanGivesEveryStretchInOrder)
{
    scanned r = scan("1 A\n300 Up\n\n# slide\n200 Up Right\n7");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.stretches.size(), 4u);
    EXPECT_EQ(r.stretches[0].ticks, 1u);
    EXPECT_EQ(r.stretches[0].keys, bit("A"));
    EXPECT_EQ(r.stretches[1].ticks, 300u);
    EXPECT_EQ(r.stretches[2].keys, bit("Up") | bit("Right"));
    EXPECT_EQ(r.stretches[3].ticks, 7u);
    EXPECT_EQ(r.stretches[3].keys, 0u);

    EXPECT_EQ(scan("").status, 0);       /* an empty script runs nothing */
}

/* A random line built from near-misses of the grammar. */
static std::string random_line(std::mt19937 &rng)
{
    static const char *pieces[] = {
        "1", "7", "30", "0", "100000000", "100000001", "-1", "+2", "1.5", "1e3", "x",
        "Up", "Down", "Left", "Right", "A", "Z", "X", "R", "Q", "up", "Upp", "Space",
        "#", "# note", " ", "\t", "\r", "", "\xff", "Up#", "9999999999999999999999"};
    std::string line;
    int n = (int)(rng() % 6);
    for (int i = 0; i < n; i++) {
        if (rng() % 5 == 0) {   /* a few raw bytes, NUL included */
            int k = 1 + (int)(rng() % 3);
            for (int j = 0; j < k; j++)
                line += (char)(rng() % 256);
        } else {
            line += pieces[rng() % (sizeof pieces / sizeof *pieces)];
        }
        if (rng() % 4)
            line += ' ';
    }
    return line;
}

/* About a second of random scripts: every scan ends in acceptance or a
 * one-line message with a line number within the script. */
TEST(ToolScript, FuzzedScriptsAreAcceptedOrRefusedWithOneLine)
{
    std::mt19937 rng(424242);
    auto stop = std::chrono::steady_clock::now() + std::chrono::milliseconds(1000);
    int runs = 0, refused = 0;
    while (std::chrono::steady_clock::now() < stop) {
        std::string text;
        int lines = 1 + (int)(rng() % 8);
        for (int i = 0; i < lines; i++)
            text += random_line(rng) + "\n";
        scanned r = scan(text);
        runs++;
        ASSERT_TRUE(r.status == 0 || r.status == 2) << text;
        if (r.status == 0) {
            for (const stretch &s : r.stretches) {
                ASSERT_GE(s.ticks, 1u);
                ASSERT_LE(s.ticks, (uint64_t)SCRIPT_MAX_TICKS);
                ASSERT_LT(s.keys, 1u << SCRIPT_KEYS);
            }
            continue;
        }
        refused++;
        ASSERT_EQ(r.err.find('\n'), std::string::npos) << r.err;
        ASSERT_EQ(r.err.rfind("drive.txt:", 0), 0u) << r.err;
        int line = atoi(r.err.c_str() + strlen("drive.txt:"));
        ASSERT_GE(line, 1) << r.err;
        /* raw bytes may add newlines of their own */
        ASSERT_LE(line, (int)std::count(text.begin(), text.end(), '\n')) << r.err;
    }
    EXPECT_GT(runs, 1000);
    EXPECT_GT(refused, runs / 10);
    EXPECT_LT(refused, runs);
}
