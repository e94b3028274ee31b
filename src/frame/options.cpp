/*
 * frame/options.cpp -- the game's command line.
 *
 * Every option is opt-in: with none, the game is the plain sandbox.  One
 * table lists them; the usage text is made from it, so an option and its
 * help line are one entry.  The habits (help, version, a value given
 * twice) are the ones caravelt-sim has: drive/cli.h.
 */
#include <cstdarg>
#include <cstdio>
#include <iterator>

#include "drive/cli.h"
#include "frame/frame.h"

game_options game_opts;

static const cli_option rows[] = {
    {"--car", "FILE", "drive the car in this TOML car file", nullptr, &game_opts.car, nullptr},
    {"--windowed", nullptr, "a 1024x768 window instead of the full-screen mode", &game_opts.windowed,
     nullptr, nullptr},
    {"--data", "DIR", "the folder of tarmac.bmp and car/kvtcar.bmp (see below)", nullptr,
     &game_opts.data, nullptr},
    {"--course", "FILE", "drive on the course in this TOML course file: cones, gates, timed laps",
     nullptr, &game_opts.course, nullptr},
    {"--ghost", "FILE", "race the best lap of a recording (or script) on the course, not your best",
     nullptr, &game_opts.ghost, nullptr},
    {"--no-best", nullptr, "with --course: neither race nor keep your best lap of the course",
     &game_opts.no_best, nullptr, nullptr},
    {"--record", "FILE", "write every tick's keys to FILE, a script caravelt-sim replays", nullptr,
     &game_opts.record, nullptr},
    {"--trace", "FILE", "write one CSV row per tick to FILE, as caravelt-sim --trace does", nullptr,
     &game_opts.trace, nullptr},
    {"--replay", "FILE", "play the keys recorded in FILE, with its car (no title screen)", nullptr,
     &game_opts.replay, nullptr},
    {"--force", nullptr, "replay even with a car or course other than the recording's",
     &game_opts.force, nullptr, nullptr},
};

static const char USAGE[] =
    "usage: caravelt [OPTION]...\n"
    "A car-handling sandbox seen from above.  Every FILE is taken from the\n"
    "folder the game is started in.\n";

/* The pictures, the driving keys (the title screen's), and the ones it does not list. */
static const char AFTER[] =
    "Pictures: from --data DIR; without it, from the folder the game is started\n"
    "in when it holds both, else from the data folder beside the game's binary.\n"
    "\n"
    "Driving keys; from rest, A for first gear, then hold Up:\n"
    "  Up         accelerator\n"
    "  Down       brake\n"
    "  Left Right steering wheel\n"
    "  A  Z       gear up, gear down (reverse, neutral, 1 to 5), once per press\n"
    "  X          clutch: held down, the engine no longer drives the wheels\n"
    "  R          the car back at the centre (with --course, on its start gate),\n"
    "             stopped\n"
    "  Q          back to the title screen\n"
    "  Space      leave the title screen\n"
    "  Escape     quit, from the title screen too\n"
    "\n"
    "Keys beyond the title screen's, each once per press:\n"
    "  G          show or hide the chart of the last ten seconds\n"
    "  T          with --course: hide or show the telemetry column\n"
    "  P          pause or resume the simulation\n"
    "  . (period) while paused, run exactly one tick\n"
    "  F5         read the --car file again (a bad file keeps the car;\n"
    "             off while recording or replaying)\n"
    "While a --replay plays (until P hands the car over at its end):\n"
    "  [ ]        slower, faster: 1/4, 1/2, 1, 2, 4, 8 or 16 times speed\n"
    "  Page Up    back 10 s          Page Down  on 10 s\n"
    "  Home       back to the start\n"
    "\nWith --course, the car starts on the start gate in first gear and the lap\n"
    "begins after a 3 s countdown; R puts it back there and drops the lap being\n"
    "timed (after the last lap, the laps begin again).  Your best lap of the\n"
    "course with the car is kept in\n"
    "$XDG_DATA_HOME/caravelt (else ~/.local/share/caravelt) and raced as the\n"
    "ghost next time.\n";

static const cli_program program = {"caravelt", USAGE, AFTER, rows, std::size(rows), nullptr};

int complain(int status, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    cli_vcomplain("caravelt", status, fmt, ap);
    va_end(ap);
    return status;
}

/* ----------------------------------------------------------------------
 * parse_game_options: fills game_opts from argv.  CLI_RUN, 0 after the
 * help or the version, or 2 after one line on stderr.
 * ---------------------------------------------------------------------- */
int parse_game_options(int argc, char **argv)
{
    int st = cli_parse(&program, argc, argv);
    if (st == CLI_RUN && game_opts.force && !game_opts.replay)
        return complain(2, "--force is for --replay: it plays a recording with another car or course");
    return st;
}
