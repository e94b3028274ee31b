/*
 * drive/script.h -- the driving script: caravelt-sim's input and the
 * game's recording.
 *
 * One stretch a line: "TICKS [KEY ...]", the keys held through all TICKS
 * ticks.  '#' starts a comment; blank lines are skipped.  Keys are spelled
 * Up Down Left Right A Z X R Q, exactly so.  A stretch's line holds at
 * most SCRIPT_MAX_LINE bytes besides its newline; a line that begins with
 * '#' may be of any length (a recording's header names files by absolute
 * paths, each as one shell word); one UTF-8 byte-order mark at the very
 * start is skipped.
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
#include <string>
#include <vector>

#include "drive/files.h"

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
 * Returns 0 when the whole input was read, -1 on the first bad line (a
 * stretch's over SCRIPT_MAX_LINE included) or a read error (err then
 * holds "NAME:LINE: fault" or "NAME: cannot read: reason"), or whatever
 * non-zero `each` returned.  A read error is never taken for the end.
 * Memory does not grow with the input; `each` may be null to validate.
 * ---------------------------------------------------------------------- */
int scan_script(FILE *in, const char *name, stretch_fn each, void *ctx,
                char *err, size_t errsize);

/* ----------------------------------------------------------------------
 * A script read stretch by stretch, as often as wanted: caravelt-sim's
 * script, the game's replay.  A file is checked whole, then read again;
 * a pipe cannot be read twice, so while it is checked its stretches go
 * to an unlinked temporary file (in $TMPDIR, or /tmp), which is then read
 * like a file.  Memory stays flat however long the script.
 * ---------------------------------------------------------------------- */
struct script_in {
    FILE *f = nullptr;          /* the file, standard input, or the spool */
    const char *name = "";      /* as messages name it: the path, or "stdin" */
    unsigned long line = 0;     /* lines read so far in this pass */
    bool own = false;           /* f is closed by script_close (never stdin) */
    long start = 0;             /* where the first line is, for the next pass */
    file_id id;                 /* the file named, as opened (before any spool) */
    std::string header;         /* the '#' lines before the first stretch, each with its
                                   newline: a recording's header (drive/header.h) */
    std::vector<unsigned long> header_lines;   /* the line number of each of them */
    bool header_cut = false;    /* more than SCRIPT_HEADER_MAX bytes of them: the rest
                                   was not kept */
    bool header_done = false;   /* a stretch or the end has been read */
    uint64_t ticks = 0;         /* ticks of all its stretches, once checked */
    bool machine_fault = false; /* the last failure was the machine's (a spool that could
                                   not be made or written), not the script's */
};

/* Most of a script's leading comment lines kept as its header: room for
 * every line a recording's header has, each path as long as a path can
 * be. */
enum { SCRIPT_HEADER_MAX = 1 << 20 };

/* Most a pipe may put in the spool: past this, a file is the way. */
inline constexpr uint64_t SCRIPT_SPOOL_MAX = (uint64_t)4 << 30;

/* Opens path, "-" for standard input; nothing read yet.  0, or -1 with
 * "NAME: reason" in err. */
int script_open(script_in *s, const char *path, char *err, size_t errsize);

/* s reads the stream f (a text in memory: fmemopen), named `name` in
 * messages; closed by script_close when own. */
void script_from(script_in *s, FILE *f, const char *name, bool own);

/* Reads the whole script and checks every line (a pipe into the spool,
 * at most spool_max bytes of it), keeps its header and counts its ticks,
 * then stands at its first stretch.  0, or -1 with one line in err: a
 * bad line, a read error or a pipe past spool_max; or, with
 * s->machine_fault set, a spool that cannot be made or written. */
int script_check(script_in *s, uint64_t spool_max, char *err, size_t errsize);

/* The next stretch: 1 with *out filled, 0 at the end, -1 for a bad line
 * or a read error (a file changed since it was checked), told in err. */
int script_next(script_in *s, stretch *out, char *err, size_t errsize);

/* Back to the first stretch, for another pass.  0, or -1 with err. */
int script_rewind(script_in *s, char *err, size_t errsize);

/* Closes what script_open or script_check opened. */
void script_close(script_in *s);

#endif
