/*
 * headless/options.cpp -- caravelt-sim's command line, its habits for
 * refusing and for closing an output, and the choice of command.
 */
#include "headless/sim_tool.h"

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "drive/cli.h"
#include "drive/files.h"
#include "headless/tool.h"

/* One line on stderr, "caravelt-sim: ...", and the status to exit with. */
int tool_fail(int status, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    cli_vcomplain("caravelt-sim", status, fmt, ap);
    va_end(ap);
    return status;
}


static const char USAGE[] =
    "usage: caravelt-sim [OPTION]... [SCRIPT]\n"
    "       caravelt-sim --course FILE --best-lap [--budget SECONDS | --budget-drives N] [--seed N]\n"
    "                    [--record FILE] [--laps FILE.csv] [--car FILE] [--threads N]\n"
    "       caravelt-sim --sheet [--car FILE]... [--shift RPM] [--runs FILE.csv]\n"
    "                    [--course FILE [--budget-drives N]]\n"
    "       caravelt-sim --sheet --vary NAME=FROM:TO:STEP... [--car FILE] [--shift RPM]\n"
    "                    [--course FILE [--budget-drives N]] [--threads N] [--shard K/N] [--quiet]\n"
    "Runs the game's own tick for each stretch of SCRIPT (standard input when\n"
    "absent or -), headless.  Every FILE is taken from the current folder.\n";

static const char AFTER[] =
    "SCRIPT lines: TICKS [KEY ...], keys Up Down Left Right A Z X R Q; '#' comments;\n"
    "  \"1 Q KEY... / KEY...\": the keys after \"/\" are held when the title screen returns.\n"
    "A recording of the game names its car in its header: without --car that car\n"
    "file is driven when it still hashes the same, and a car that does not is refused.\n"
    "It names its course too: without --course that course file is run on when it\n"
    "still hashes the same; a --course must hash the same, and a recording made on\n"
    "none runs on none.  --sheet ignores --course but for its lap.  A recording made\n"
    "from a standing start says so and runs so; --standing-start is for other scripts.\n"
    "--best-lap searches keys that drive the course's laps clean and fast (10 s by\n"
    "default, every core); --sheet --course adds the best lap found in --budget-drives\n"
    "drives (default 3000) per car.\n"
    "With --vary, --sheet prints the figures of every setup of a grid as CSV, the\n"
    "first --vary slowest.\n"
    "Pictures: from --data DIR; without it, from the current folder when it holds\n"
    "tarmac.bmp and car/kvtcar.bmp, else from the data folder beside the binary.\n";

static bool ends_with_bmp(const char *path)
{
    size_t n = strlen(path);
    return n > 4 && strcasecmp(path + n - 4, ".bmp") == 0;
}

int tool_parse(int argc, char **argv, tool_options *o)
{
    const cli_option rows[] = {
        {"--car", "FILE", "drive the car in this TOML car file (with --sheet: one column each)",
         nullptr, nullptr, &o->cars},
        {"--course", "FILE", "start on the course in this TOML course file and count its laps",
         nullptr, &o->course, nullptr},
        {"--laps", "FILE.csv", "with --course: one CSV row per lap completed", nullptr, &o->laps,
         nullptr},
        {"--standing-start", nullptr, "with --course: begin on the start gate, 3 s countdown (as the game); so too --best-lap's drive",
         &o->standing, nullptr, nullptr},
        {"--trace", "FILE", "one CSV row per tick into FILE (default standard output)", nullptr,
         &o->trace, nullptr},
        {"--frame", "FILE.bmp", "the driving view after the last tick, as a BMP picture", nullptr,
         &o->frame, nullptr},
        {"--data", "DIR", "the folder of the pictures --frame draws with (see below)", nullptr,
         &o->data, nullptr},
        {"--force", nullptr, "run a recording even with a car or course other than its own",
         &o->force, nullptr, nullptr},
        {"--sheet", nullptr, "print a Markdown table of each car's handling figures", &o->sheet,
         nullptr, nullptr},
        {"--shift", "RPM", "the sheet's shift speed (default 6000 rev/min)", nullptr, &o->shift,
         nullptr},
        {"--runs", "FILE.csv", "the sheet's acceleration and braking runs, tick by tick", nullptr,
         &o->runs, nullptr},
        {"--vary", "NAME=FROM:TO:STEP", "a sweep: the sheet of every value of a car field, as CSV",
         nullptr, nullptr, &o->vary},
        {"--threads", "N", "threads for a sweep or the driver's search (default: every core)",
         nullptr, &o->threads, nullptr},
        {"--shard", "K/N", "only the sweep's setups whose index modulo N is K (K from 0)", nullptr,
         &o->shard, nullptr},
        {"--best-lap", nullptr, "the driver's fastest clean laps of --course, found by a search",
         &o->best_lap, nullptr, nullptr},
        {"--budget", "SECONDS", "how long --best-lap searches (default 10)", nullptr, &o->budget, nullptr},
        {"--budget-drives", "N", "a search of N drives instead (the same keys on any threads)", nullptr,
         &o->budget_drives, nullptr},
        {"--seed", "N", "the search's seed (default 1)", nullptr, &o->seed, nullptr},
        {"--record", "FILE", "--best-lap's drive as a recording, its car and course in its header",
         nullptr, &o->record, nullptr},
        {"--quiet", nullptr, "no progress line on a terminal for long work", &o->quiet, nullptr, nullptr},
    };
    const cli_program program = {"caravelt-sim", USAGE, AFTER, rows, std::size(rows), &o->operands};
    int st = cli_parse(&program, argc, argv);
    if (st != CLI_RUN)
        return st;
    if (o->operands.size() > 1)
        return tool_fail(2, "more than one script: \"%s\"", o->operands[1]);
    if (!o->operands.empty())
        o->script = o->operands[0];
    const char *sweep_only = o->threads ? "--threads" : o->shard ? "--shard" : nullptr;
    const char *search_only = o->budget ? "--budget" : o->seed ? "--seed" : o->record ? "--record" : nullptr;
    if (o->best_lap) {
        /* The driver drives its own keys and writes only its laps and drive. */
        const char *clash = o->sheet ? "--sheet" : o->trace ? "--trace" : o->frame ? "--frame"
                            : o->force ? "--force" : !o->operands.empty() ? "script" : o->shift ? "--shift"
                            : o->runs ? "--runs" : !o->vary.empty() ? "--vary" : o->shard ? "--shard" : nullptr;
        if (clash)
            return tool_fail(2, "--best-lap drives its own keys: it takes no %s", clash);
        if (!o->course)
            return tool_fail(2, "--best-lap needs --course: the laps are the course's");
        if (o->budget && o->budget_drives)
            return tool_fail(2, "--budget and --budget-drives: one budget, in seconds or in drives");
        if (o->cars.size() > 1)
            return tool_fail(2, "--car given %zu times: the driver drives one car", o->cars.size());
        return CLI_RUN;
    }
    if (search_only)
        return tool_fail(2, "%s is for the driver's search: only with --best-lap", search_only);
    if (o->budget_drives && !(o->sheet && o->course))
        return tool_fail(2, "--budget-drives is for --best-lap, or --sheet with --course");
    if (o->sheet) {
        /* The sheet drives its own manoeuvres and writes only its table. */
        const char *clash = o->trace ? "--trace" : o->frame ? "--frame" : o->laps ? "--laps"
                            : o->standing ? "--standing-start" : !o->operands.empty() ? "script" : nullptr;
        if (clash)
            return tool_fail(2, "--sheet runs its own manoeuvres: it takes no %s", clash);
        if (o->vary.empty() && sweep_only)
            return tool_fail(2, "%s is for sweeps: only with --vary", sweep_only);
        if (!o->vary.empty() && o->cars.size() > 1)
            return tool_fail(2, "--car given %zu times: a sweep varies one car", o->cars.size());
        if (!o->vary.empty() && o->runs)
            return tool_fail(2, "--runs is for the sheet of single cars: not with --vary");
        return CLI_RUN;
    }
    if (!o->trace)
        o->trace = "-";
    if (o->cars.size() > 1)
        return tool_fail(2, "--car given %zu times: a run drives one car (several only with --sheet)",
                    o->cars.size());
    const char *sheet_only = o->shift ? "--shift" : o->runs ? "--runs" : !o->vary.empty() ? "--vary"
                             : sweep_only;
    if (sheet_only)
        return tool_fail(2, "%s is for the handling sheet: only with --sheet", sheet_only);
    if (o->frame && !ends_with_bmp(o->frame))
        return tool_fail(2, "the frame \"%s\" must be named FILE.bmp: it is written as a BMP picture",
                    o->frame);
    return CLI_RUN;
}

bool tool_can_write(const char *path, char *why, size_t size)
{
    struct stat st;
    if (stat(path, &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            snprintf(why, size, "%s", strerror(EISDIR));
            return false;
        }
        if (access(path, W_OK) != 0) {
            snprintf(why, size, "%s", strerror(errno));
            return false;
        }
        return true;
    }
    if (access(folder_of(path).c_str(), W_OK | X_OK) != 0) {
        snprintf(why, size, "%s", strerror(errno));
        return false;
    }
    return true;
}

int tool_close_output(FILE *f)
{
    int e = fflush(f) != 0 || ferror(f) ? (errno ? errno : EIO) : 0;
    if (!e && file_removed(fileno(f)))
        e = FILE_REMOVED;
    if (fclose(f) != 0 && !e)
        e = errno ? errno : EIO;
    return e;
}

int sim_tool_main(int argc, char **argv)
{
    /* A closed pipe is a write error like any other: said, status 1. */
    signal(SIGPIPE, SIG_IGN);
    tool_options o;
    int st = tool_parse(argc, argv, &o);
    if (st != CLI_RUN)
        return st;
    return o.best_lap ? tool_best_lap(&o) : o.sheet ? tool_sheet(&o) : tool_run(&o);
}
