/*
 * drive/trace.h -- the per-tick CSV trace of caravelt-sim and the game.
 *
 * One header line, then one row per tick with the state that tick left.
 * Floats print as printf's "%.9g" would (nine significant digits: enough
 * to read the float back bit for bit, the sign of a zero included), ints
 * as "%d".  Rows are made into a large buffer, the usual floats by exact
 * integer arithmetic and the rest with std::to_chars: printf costs many
 * times as much per number.
 */
#ifndef CARAVELT_DRIVE_TRACE_H
#define CARAVELT_DRIVE_TRACE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

/* The header line, without its newline. */
extern const char TRACE_HEADER[];

/* Longest text put_float / put_int / a whole row can produce. */
enum { FLOAT_TEXT_MAX = 24, ROW_TEXT_MAX = 512 };

/* Writes f as "%.9g" would (of f widened to double) at p, no NUL;
 * returns the end.  NaN is "nan" or "-nan", infinities "inf", "-inf". */
char *put_float(char *p, float f);

/* Writes v as "%d" / "%llu" would at p, no NUL; returns the end. */
char *put_int(char *p, int v);
char *put_u64(char *p, uint64_t v);

/* Writes the row of tick `tick` (state as it is now), with its newline,
 * at p; returns the end.  At most ROW_TEXT_MAX bytes. */
char *put_row(char *p, uint64_t tick);

/* An output stream with its own buffer; `failed` keeps the first
 * write error's errno, or FILE_REMOVED (files.h) once the file is found
 * gone, at a write-out or at the close. */
struct trace_out {
    FILE *f;
    char *buf;
    size_t used, cap;
    int failed;
};

/* Binds f with a buffer of cap bytes (at least 2 * ROW_TEXT_MAX). */
void trace_open(trace_out *t, FILE *f, size_t cap);

/* Header line; one row for the state after tick `tick`. */
void trace_header(trace_out *t);
void trace_row(trace_out *t, uint64_t tick);

/* Writes out what is buffered and frees the buffer; 0 or the first
 * failure (an errno, or FILE_REMOVED).  Does not close f. */
int trace_close(trace_out *t);

#endif
