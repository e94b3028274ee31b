/*
 * sim/tomlfile.h -- what car files and course files share in reading a
 * TOML text: the file read whole, one-line faults naming file and line,
 * numbers rounded once from their own decimal text, and a suggestion for
 * a misspelt key.
 *
 * Only the readers include it: it brings in the TOML parser's header.
 */
#ifndef CARAVELT_SIM_TOMLFILE_H
#define CARAVELT_SIM_TOMLFILE_H

#include <cstddef>
#include <string>
#include <string_view>

#include <toml++/toml.h>

/* One reading: the file's text and where the first fault goes. */
struct toml_reading {
    const char *path;
    std::string text;
    char *err;
    size_t errsize;
};

/* "PATH:LINE: what" (or "PATH: what" for line 0) into err, made one line
 * whatever the text says; returns -1. */
int toml_fault(toml_reading *r, unsigned line, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));

/* The whole file into r->text; 0, or -1 with the reason.  More than max
 * bytes is "larger than MAX bytes: not WHAT". */
int toml_slurp(toml_reading *r, size_t max, const char *what);

/* A parser's fault, in our words where we have them, at its line:
 * "\"Mass\" is given twice", or "not TOML (column C): what".  -1. */
int toml_syntax_fault(toml_reading *r, const toml::parse_error &e);

/* The file at r->path read whole and parsed into *out: 0, or -1 with the
 * fault (too large, unreadable, not TOML) in our words. */
int toml_read(toml_reading *r, size_t max, const char *what, toml::table *out);

/* What a node is, as a user would say it: "text", "a boolean", ... */
const char *toml_kind(const toml::node &n);

/* ----------------------------------------------------------------------
 * toml_float: the number node n times 10^exp10 (exp10 0 or a small
 * positive power: metres given, tenths of metres kept) as the float it
 * stands for, rounded once from its decimal text.  0, or -1 with the
 * fault (naming the value `name`) at n's line: not a number, NaN,
 * infinite, beyond a float.
 * ---------------------------------------------------------------------- */
int toml_float(toml_reading *r, const toml::node &n, const char *name, int exp10, float *out);

/* The name among names[0..n) that a misspelt key most likely means (two
 * edits or fewer, case aside), or null. */
const char *toml_nearest(std::string_view key, const char *const *names, size_t n);

#endif
