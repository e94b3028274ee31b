/*
 * drive/cli.h -- the command-line habits the game and caravelt-sim share.
 *
 * Each program keeps its own table of options; this reads argv against
 * it the same way for both:
 *   - `--name VALUE`, the value in the next word, never empty;
 *   - an option that takes one value given twice is refused (a list
 *     option, such as the sheet's --car, may repeat);
 *   - `-h` / `--help` prints the usage, one line per option, and
 *     `--version` the version and the commit built from; both exit 0;
 *   - anything else starting with "-" is an unknown option, `--` ends the
 *     options, a lone "-" is an operand (standard input).
 * A refusal is one line on stderr, "PROGRAM: what", and status 2.
 */
#ifndef CARAVELT_DRIVE_CLI_H
#define CARAVELT_DRIVE_CLI_H

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <vector>

/* One row of a program's table.  Exactly one of flag, text and list is
 * set: where the option goes. */
struct cli_option {
    const char *name;     /* "--car" */
    const char *value;    /* what the value is, "FILE"; null for a flag */
    const char *help;     /* one line */
    bool *flag;           /* a flag: true when given (again is harmless) */
    const char **text;    /* one value: null until given, at most once */
    std::vector<const char *> *list;   /* a value each time given */
};

struct cli_program {
    const char *name;              /* "caravelt", as messages begin */
    const char *usage;             /* the lines before the options */
    const char *after;             /* the lines after them (keys, formats); may be null */
    const cli_option *options;
    size_t count;
    std::vector<const char *> *operands;   /* words that are not options; null: none taken */
};

/* What cli_parse found: run, or exit at once with this status. */
enum { CLI_RUN = -1 };

/* ----------------------------------------------------------------------
 * cli_parse: argv read against p's table (see above).  CLI_RUN to run;
 * 0 after the help or the version was printed on standard output; 2
 * after one line on stderr.
 * ---------------------------------------------------------------------- */
int cli_parse(const cli_program *p, int argc, char **argv);

/* The usage text: p->usage, every option with its line (help and version
 * included), then p->after. */
void cli_usage(const cli_program *p, FILE *out);

/* "PROGRAM VERSION (commit ...)": what --version prints, one line. */
void cli_version(const char *program, FILE *out);

/* One line on stderr, "PROGRAM: " and the text; returns status. */
int cli_complain(const char *program, int status, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));
int cli_vcomplain(const char *program, int status, const char *fmt, va_list ap);

#endif
