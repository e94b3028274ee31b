/*
 * frame/options.cpp -- the game's command line.
 *
 * Every option is opt-in: with none, the game is the plain sandbox.  One
 * table lists them; the usage text is made from it, so an option and its
 * help line are one entry.
 */
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "frame.h"

game_options game_opts;

struct option_row {
    const char *name;     /* "--car" */
    const char *value;    /* "FILE", or NULL for a flag */
    const char **text;    /* where a value goes */
    bool *flag;           /* where a flag goes */
    const char *help;
};

static const option_row rows[] = {
    {"--help", nullptr, nullptr, &game_opts.help, "print this help and exit"},
    {"--car", "FILE", &game_opts.car, nullptr,
     "drive the car in this TOML car file (relative to the current folder)"},
    {"--windowed", nullptr, nullptr, &game_opts.windowed,
     "a 1024x768 window instead of the full-screen mode"},
    {"--record", "FILE", &game_opts.record, nullptr,
     "write every tick's keys to FILE, a script caravelt-sim replays"},
    {"--trace", "FILE", &game_opts.trace, nullptr,
     "write one CSV row per tick to FILE, as caravelt-sim --trace does"},
    {"--replay", "FILE", &game_opts.replay, nullptr,
     "drive with the keys recorded in FILE (no title screen); pauses at its end"},
    {"--course", "FILE", &game_opts.course, nullptr,
     "drive on the course in this TOML course file: cones, gates, timed laps"},
    {"--ghost", "FILE", &game_opts.ghost, nullptr,
     "with --course: race the best lap of a recording made on that course"},
};

/* The keys of the driving view that the title screen does not list. */
static const char KEYS_HELP[] =
    "Keys beyond the title screen's, each once per press:\n"
    "  G          show or hide the chart of the last ten seconds\n"
    "  P          pause or resume the simulation\n"
    "  . (period) while paused, run exactly one tick\n"
    "  F5         read the --car file again (a bad file keeps the car)\n"
    "\nWith --course, R puts the car at the course's start and drops the lap\n"
    "being timed; after the last lap, the laps begin again.\n";

void print_usage(FILE *out)
{
    fputs("usage: caravelt [OPTION]...\n"
          "A car-handling sandbox seen from above; run it from the folder that\n"
          "holds tarmac.bmp and car/kvtcar.bmp (make run does).\n\nOptions:\n", out);
    for (const option_row &r : rows) {
        char left[64];
        snprintf(left, sizeof left, "%s%s%s", r.name, r.value ? " " : "", r.value ? r.value : "");
        fprintf(out, "  %-20s %s\n", left, r.help);
    }
    fputs("\n", out);
    fputs(KEYS_HELP, out);
}

int complain(int status, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    fputs("caravelt: ", stderr);
    vfprintf(stderr, fmt, ap);
    fputc('\n', stderr);
    va_end(ap);
    return status;
}

/* ----------------------------------------------------------------------
 * parse_game_options: fills game_opts from argv.  0, or 2 after one line
 * on stderr naming what is wrong.
 * ---------------------------------------------------------------------- */
int parse_game_options(int argc, char **argv)
{
    for (int i = 1; i < argc; i++) {
        const option_row *row = nullptr;
        for (const option_row &r : rows)
            if (strcmp(argv[i], r.name) == 0)
                row = &r;
        if (!row)
            return complain(2, "unknown option \"%s\" (try --help)", argv[i]);
        if (!row->value) {
            *row->flag = true;
            continue;
        }
        if (i + 1 >= argc || argv[i + 1][0] == '\0')
            return complain(2, "option %s needs a value (%s)", row->name, row->value);
        *row->text = argv[++i];
    }
    return 0;
}
