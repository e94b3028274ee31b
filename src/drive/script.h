/*
 * headless/script.h -- the driving script of caravelt-sim.
 *
 * One stretch a line: "TICKS [KEY ...]", the keys held through all TICKS
 * ticks.  '#' starts a comment; blank lines are skipped.  Keys are spelled
 * Up Down Left Right A Z X R Q, exactly so.  Nothing here knows about the
 * game library, so the parser is tested in-process.
 */
#ifndef CARAVELT_HEADLESS_SCRIPT_H
#define CARAVELT_HEADLESS_SCRIPT_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

/* Ticks of one line: 1 .. SCRIPT_MAX_TICKS (a million seconds of driving). */
enum { SCRIPT_MAX_TICKS = 100000000 };

/* The nine driving keys: bit i of a key mask is script_keys[i]. */
enum { SCRIPT_KEYS = 9 };
struct script_key { const char *name; int number; };
extern const script_key script_keys[SCRIPT_KEYS];

/* One line's worth: hold the keys of `keys` for `ticks` ticks. */
struct stretch {
    uint64_t ticks;
    unsigned keys;
};

/* ----------------------------------------------------------------------
 * parse_script_line: one line, without its newline, len bytes (NULs
 * allowed).  Returns 1 and fills *out for a stretch, 0 for a blank or
 * comment line, -1 for a fault, described in err (one line, no file or
 * line number, e.g. `unknown key "Upp"`).
 * ---------------------------------------------------------------------- */
int parse_script_line(const char *line, size_t len, stretch *out, char *err, size_t errsize);

/* Called once per stretch, in order; a non-zero return stops the scan
 * and is returned by scan_script. */
typedef int (*stretch_fn)(const stretch *s, void *ctx);

/* ----------------------------------------------------------------------
 * scan_script: reads `in` to its end, calling `each` for every stretch.
 * Returns 0 when the whole input was read, 2 on the first bad line or a
 * read error (err then holds "NAME:LINE: fault" or "NAME: reason"), or
 * whatever non-zero `each` returned.  Memory does not grow with the
 * number of lines; `each` may be null to validate only.
 * ---------------------------------------------------------------------- */
int scan_script(FILE *in, const char *name, stretch_fn each, void *ctx,
                char *err, size_t errsize);

#endif
