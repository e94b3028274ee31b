/*
 * caravelt-sim's refusals: each kind of bad input is one line naming the
 * file and line, status 2, and nothing written.
 */
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
