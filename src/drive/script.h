/*
 * drive/script.h -- the driving script: caravelt-sim's input and the
 * game's recording.
 *
 * One stretch a line: "TICKS [KEY ...]", the keys held through all TICKS
 * ticks.  '#' starts a comment; blank lines are skipped.  Keys are spelled
 * Up Down Left Right A Z X R Q, exactly so.  A line holds at most
 * SCRIPT_MAX_LINE bytes besides its newline; one UTF-8 byte-order mark at
 * the very start is skipped.
 *
 * A line of one tick that holds Q may add "/ [KEY ...]": the keys held
 * when the title screen, brought up by Q inside that tick, returns (the
 * rest of the tick -- reset and latch -- sees those).  "1 Q Up / Up R":
 * Q and Up at the start of the tick, Up and R once the screen is left.
 * Without "/", the keys are the same after the title screen as before.
 *
 * Nothing here knows about the game library, so the parser is tested
 * in-process.
 */
#ifndef CARAVELT_DRIVE_SCRIPT_H
#define CARAVELT_DRIVE_SCRIPT_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

/* Ticks of one line: 1 .. SCRIPT_MAX_TICKS (a million seconds of driving). */
enum { SCRIPT_MAX_TICKS = 100000000 };

/* Longest line, newline not counted: far more than any stretch needs, and
 * what a line is read into, so no input makes memory grow. */
enum { SCRIPT_MAX_LINE = 4096 };

/* The nine driving keys: bit i of a key mask is script_keys[i], the
 * simulation's order (SIM_UP ... SIM_Q). */
enum { SCRIPT_KEYS = 9 };
struct script_key { const char *name; int number; };
extern const script_key script_keys[SCRIPT_KEYS];

/* One line's worth: hold the keys of `keys` for `ticks` ticks; `after`
 * is what a title screen inside them returns to (`keys` but for "/"). */
struct stretch {
    uint64_t ticks;
    unsigned keys;
    unsigned after;
};

/* ----------------------------------------------------------------------
 * parse_script_line: one line, without its newline, len bytes (NULs
 * allowed).  Returns 1 and fills *out for a stretch, 0 for a blank or
 * comment line, -1 for a fault, described in err (one line, no file or
 * line number, e.g. `unknown key "Upp"`).
 * ---------------------------------------------------------------------- */
int parse_script_line(const char *line, size_t len, stretch *out, char *err, size_t errsize);

/* Longest text put_stretch can produce: the count, nine keys twice, "/". */
enum { STRETCH_TEXT_MAX = 128 };

/* Writes s as a script line, with its newline, at p; returns the end.
 * The line reads back as s ("/" and the keys after only when they
 * differ). */
char *put_stretch(char *p, const stretch *s);

/* Called once per stretch, in order; a non-zero return stops the scan
 * and is returned by scan_script. */
typedef int (*stretch_fn)(const stretch *s, void *ctx);

/* ----------------------------------------------------------------------
 * scan_script: reads `in` to its end, calling `each` for every stretch.
 * Returns 0 when the whole input was read, 2 on the first bad line (one
 * over SCRIPT_MAX_LINE included) or a read error (err then holds
 * "NAME:LINE: fault" or "NAME: cannot read: reason"), or whatever
 * non-zero `each` returned.  A read error is never taken for the end.
 * Memory does not grow with the input; `each` may be null to validate.
 * ---------------------------------------------------------------------- */
int scan_script(FILE *in, const char *name, stretch_fn each, void *ctx,
                char *err, size_t errsize);

#endif
