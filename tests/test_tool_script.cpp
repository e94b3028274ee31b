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
    /* a byte-order mark only at the very start (see below) */
    {"1 A\n\xef\xbb\xbf" "2 Up\n", "drive.txt", "drive.txt:2: bad tick count \"\\xef\\xbb\\xbf2\""},
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
        EXPECT_EQ(read_file(d / "drive.txt"), c.script) << c.message;
        EXPECT_NE(access((d / "new.bmp").c_str(), F_OK), 0) << c.message;
    }
}

/* A script saved with a UTF-8 byte-order mark runs as the same script
 * without it, from a file and from a pipe. */
TEST(ToolScript, ByteOrderMarkAtTheStartIsSkipped)
{
    temp_dir d;
    write_file(d / "plain.txt", "1 A\n30 Up\n");
    write_file(d / "bom.txt", "\xef\xbb\xbf" "1 A\n30 Up\n");
    ASSERT_EQ(run_tool(d, "--trace plain.csv plain.txt").status, 0);
    ASSERT_EQ(run_tool(d, "--trace bom.csv bom.txt").status, 0);
    ASSERT_EQ(system(("cd '" + d.path + "' && cat bom.txt | '" CARAVELT_SIM_EXE "' > pipe.csv").c_str()), 0);
    EXPECT_EQ(read_file(d / "bom.csv"), read_file(d / "plain.csv"));
    EXPECT_EQ(read_file(d / "pipe.csv"), read_file(d / "plain.csv"));
}

/* About a second of random scripts, from near-misses of the grammar and
 * raw bytes: each is accepted with every stretch in range, or refused
 * with one line naming a line of the script. */
TEST(ToolScript, FuzzedScriptsAreAcceptedOrRefusedWithOneLine)
{
    static const char *pieces[] = {"1", "30", "0", "100000000", "100000001", "-1", "+2", "1e3",
                                   "Up", "Down", "Right", "A", "Q", "up", "Upp", "#", " ", "\t",
                                   "\r", "\n", "Up#", "99999999999999999999", "/", "/Up"};
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
            return s->ticks >= 1 && s->ticks <= SCRIPT_MAX_TICKS && s->keys < 1u << SCRIPT_KEYS
                   && (s->after == s->keys || (s->ticks == 1 && s->keys >> 8 & 1)) ? 0 : 9;
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

/* Every stretch a script can hold, written as a line, reads back as
 * itself: the recording and a spooled pipe lose nothing. */
TEST(ToolScript, StretchesWrittenAsLinesReadBack)
{
    const unsigned Q = 1u << 8;
    std::vector<stretch> all = {{1, 0, 0}, {SCRIPT_MAX_TICKS, 511, 511}, {1, Q | 1, 2}, {1, 511, 0}};
    std::mt19937 rng(5);
    for (int i = 0; i < 10000; i++) {
        unsigned keys = (unsigned)(rng() % 512);
        bool slash = keys & Q && rng() % 2;
        all.push_back({slash ? 1 : 1 + rng() % SCRIPT_MAX_TICKS, keys, slash ? (unsigned)(rng() % 512) : keys});
    }
    for (const stretch &s : all) {
        char text[STRETCH_TEXT_MAX], err[256];
        char *end = put_stretch(text, &s);
        stretch back = {};
        ASSERT_EQ(parse_script_line(text, (size_t)(end - 1 - text), &back, err, sizeof err), 1)
            << err << ": " << std::string(text, end);
        ASSERT_TRUE(back.ticks == s.ticks && back.keys == s.keys && back.after == s.after)
            << std::string(text, end);
    }
}
