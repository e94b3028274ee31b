/* The command-line habits the game and caravelt-sim share, and each program's guide held to --help. */
#include <regex>
#include "support.h"

static const char *const GAME = CARAVELT_GAME_EXE, *const SIM = CARAVELT_SIM_EXE;
static const char *name_of(const char *exe) { return exe == GAME ? "caravelt" : "caravelt-sim"; }

/* Catches a habit kept by one program and not the other: -h taken for an unknown option, no
 * version, the last of two values taken silently, a stray word or a lone --force run. */
TEST(Options, BothProgramsKeepOneSetOfHabits)
{
    const std::string version = " [0-9.]+ \\((commit [0-9a-f]{12}(, with changes not committed)?"
                                "|built outside a git checkout: commit unknown)\\)\n";
    const struct { const char *exe; std::string args; int status; std::string out, err; } cases[] = {
        {GAME, "-h", 0, "usage: caravelt \\[OPTION\\]\\.\\.\\.\n(.|\n)*", ""},
        {SIM, "-h", 0, "usage: caravelt-sim \\[OPTION\\]\\.\\.\\. \\[SCRIPT\\]\n(.|\n)*", ""},
        {GAME, "--replay x.rec --help", 0, "usage: caravelt (.|\n)*", ""},
        {GAME, "--version", 0, "caravelt" + version, ""},
        {SIM, "--version s.txt", 0, "caravelt-sim" + version, ""},
        {GAME, "--trace a.csv --record r.rec --trace b.csv", 2, "", "option --trace given twice: it takes one FILE"},
        {SIM, "--trace a.csv --trace b.csv s.txt", 2, "", "option --trace given twice: it takes one FILE"},
        {SIM, "--frame a.bmp --frame b.bmp s.txt", 2, "", "option --frame given twice: it takes one FILE.bmp"},
        {GAME, "--speed 2", 2, "", "unknown option \"--speed\" (try --help)"},
        {SIM, "-x s.txt", 2, "", "unknown option \"-x\" (try --help)"},
        {GAME, "--windowed --record", 2, "", "option --record needs a value (FILE)"},
        {SIM, "s.txt --car ''", 2, "", "option --car needs a value (FILE)"},
        {GAME, "s.txt", 2, "", "unexpected \"s.txt\": caravelt takes options only (try --help)"},
        {SIM, "s.txt -- --car", 2, "", "more than one script: \"--car\""},
        {GAME, "--force", 2, "", "--force is for --replay: it plays a recording with another car or course"},
        {SIM, "--frame x.png s.txt", 2, "", "the frame \"x.png\" must be named FILE.bmp: it is written as a BMP picture"},
    };
    temp_dir d{{"s.txt", "10 Up\n"}};
    for (const auto &c : cases) {
        tool_run r = run_tool(d, ">out.txt " + c.args, c.exe);
        EXPECT_EQ(r.status, c.status) << name_of(c.exe) << " " << c.args;
        EXPECT_TRUE(std::regex_match(read_file(d / "out.txt"), std::regex(c.out))) << read_file(d / "out.txt");
        EXPECT_EQ(r.err, c.err.empty() ? "" : name_of(c.exe) + std::string(": ") + c.err + "\n") << c.args;
    }
}

static std::vector<std::string> lines_of(const std::string &path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
}

/* Catches an option of --help left out of the synopsis in its program's guide or explained by no words,
 * a key in the game guide's tables ("| Key | Does |") left out of its --help. */
TEST(Options, GuidesHoldTheOptionsAndKeysOfHelp)
{
    temp_dir d;
    for (const char *exe : {GAME, SIM}) {
        const std::string prog = name_of(exe);
        const std::vector<std::string> lines =
            lines_of(std::string(CARAVELT_DOCS_DIR) + (exe == GAME ? "/playing.md" : "/caravelt-sim.md"));
        std::string synopsis;   /* the guide's "    PROG [..." lines and the ones under them */
        for (size_t i = 0; i < lines.size(); i++)
            if (lines[i].rfind("    " + prog + " ", 0) == 0 && lines[i].find(" [") != std::string::npos)
                for (; i < lines.size() && !lines[i].empty(); i++)
                    synopsis += lines[i] + "\n";
        std::istringstream help(tool_out(d, "--help", exe));
        int options = 0;
        std::smatch m;
        for (std::string l; std::getline(help, l);)
            if (std::regex_match(l, m, std::regex("  (-h, )?(--[a-z][a-z-]*)( [A-Z.=:/]+)? +(.*)"))) {
                options++;
                EXPECT_GT(m[4].length(), 10) << prog << " --help: " << l;
                EXPECT_TRUE(std::regex_search(synopsis, std::regex("[[ ]" + m[2].str() + "[\\] \n]")))
                    << prog << " " << m[2] << " is not in the synopsis of its guide:\n" << synopsis;
            }
        EXPECT_GE(options, 6) << prog;
    }
    const std::string help = tool_out(d, "--help", GAME);
    const size_t keys_at = help.find("Driving keys");
    ASSERT_NE(keys_at, std::string::npos) << help;
    const std::string listed = help.substr(keys_at);
    int keys = 0;
    bool in_table = false;
    for (const std::string &l : lines_of(CARAVELT_DOCS_DIR "/playing.md")) {
        const bool header = l.rfind("| Key | Does |", 0) == 0;
        in_table = header || (in_table && l.rfind("|", 0) == 0);
        if (!in_table || header || l.rfind("|-", 0) == 0)
            continue;
        std::string cell = l.substr(2, l.find(" |", 2) - 2);   /* "A, Z", "[ and ]" name two */
        for (const std::string sep : {", ", " and "})
            for (size_t at; (at = cell.find(sep)) != std::string::npos;)
                cell.replace(at, sep.size(), "\n");
        std::istringstream names(cell);
        for (std::string k; std::getline(names, k); keys++)
            EXPECT_NE(listed.find(" " + k + " "), std::string::npos) << k << " is not in --help:\n" << listed;
    }
    EXPECT_GE(keys, 20);
}
