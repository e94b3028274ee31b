/*
 * headless/tool.h -- what caravelt-sim's parts share: the options as
 * parsed, the two commands, and the program's habits for refusing and for
 * closing an output.
 */
#ifndef CARAVELT_HEADLESS_TOOL_H
#define CARAVELT_HEADLESS_TOOL_H

#include <cstddef>
#include <cstdio>
#include <vector>

struct tool_options {
    const char *trace = nullptr;   /* null or "-": standard output */
    const char *frame = nullptr;   /* no frame unless asked */
    const char *data = nullptr;    /* null: the folder found by the pictures' rule */
    const char *script = "-";      /* "-": standard input */
    std::vector<const char *> cars;      /* car files; one unless --sheet */
    std::vector<const char *> operands;  /* the script, when given */
    bool sheet = false;            /* the handling sheet instead of a script */
    const char *shift = nullptr;   /* the sheet's shift speed, rev/min */
    const char *runs = nullptr;    /* the sheet's runs, tick by tick, as CSV */
    bool force = false;            /* a recording run with a car or course not its own */
    const char *course = nullptr;  /* a course file: the car starts there, laps are counted */
    const char *laps = nullptr;    /* the course's completed laps as CSV */
    bool standing = false;         /* a plain script driven from a standing start on the course */
    std::vector<const char *> vary;   /* a sweep's axes, NAME=FROM:TO:STEP */
    const char *threads = nullptr;    /* a sweep's threads */
    const char *shard = nullptr;      /* a sweep's share, K/N */
    bool quiet = false;               /* no progress line, even on a terminal */
    bool best_lap = false;            /* the driver's best lap of the course instead of a script */
    const char *budget = nullptr;     /* its search, seconds */
    const char *budget_drives = nullptr;   /* ... or drives (the sheet's lap: per car) */
    const char *seed = nullptr;       /* its search's seed */
    const char *record = nullptr;     /* the best drive as a recording */
};

/* Fills o from argv: CLI_RUN (drive/cli.h), 0 after the help or the
 * version, or 2 after saying what is wrong (options.cpp). */
int tool_parse(int argc, char **argv, tool_options *o);

/* The commands, each returning the exit status: a script driven
 * (run_command.cpp), the handling sheet or a sweep (sheet_command.cpp). */
int tool_run(tool_options *o);
int tool_sheet(const tool_options *o);
int tool_best_lap(const tool_options *o);   /* lap_command.cpp */

/* text as a whole number from lo to hi, and nothing else. */
bool tool_whole_number(const char *text, long lo, long hi, long *out);

/* One line on stderr, "caravelt-sim: ...", and the status to exit with. */
int tool_fail(int status, const char *fmt, ...) __attribute__((format(printf, 2, 3)));

/* The folder a new file at path would go in must be there and writable;
 * an existing file must be writable and not a folder.  false with why. */
bool tool_can_write(const char *path, char *why, size_t size);

/* Flushes and closes an output written with stdio: 0, or its first
 * failure (an errno, or FILE_REMOVED) for failure_text. */
int tool_close_output(FILE *f);

#endif
