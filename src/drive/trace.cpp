/*
 * headless/trace.cpp -- formatting and writing the trace rows.
 */
#include "trace.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "sim/state.h"

/* The columns are the traced state variables, in their listed order. */
#define TRACE_COLUMN(type, name, start) "," #name
const char TRACE_HEADER[] = "tick" SIM_STATE_TRACED(TRACE_COLUMN);

char *put_float(char *p, float f)
{
    double d = f;
    if (std::isnan(d)) {   /* glibc's printf spelling, sign kept */
        const char *s = std::signbit(d) ? "-nan" : "nan";
        size_t n = strlen(s);
        memcpy(p, s, n);
        return p + n;
    }
    return std::to_chars(p, p + FLOAT_TEXT_MAX, d, std::chars_format::general, 9).ptr;
}

char *put_int(char *p, int v)
{
    return std::to_chars(p, p + FLOAT_TEXT_MAX, v).ptr;
}

char *put_u64(char *p, uint64_t v)
{
    return std::to_chars(p, p + FLOAT_TEXT_MAX, v).ptr;
}

static char *put_value(char *p, float f) { return put_float(p, f); }
static char *put_value(char *p, int v) { return put_int(p, v); }

char *put_row(char *p, uint64_t tick)
{
    p = put_u64(p, tick);
#define TRACE_CELL(type, name, start) \
    *p++ = ',';                       \
    p = put_value(p, name);
    SIM_STATE_TRACED(TRACE_CELL)
    *p++ = '\n';
    return p;
}

/* Hands the buffered bytes to the stream; keeps the first error. */
static void drain(trace_out *t)
{
    if (t->used && !t->failed && fwrite(t->buf, 1, t->used, t->f) != t->used)
        t->failed = errno ? errno : EIO;
    t->used = 0;
}

void trace_open(trace_out *t, FILE *f, size_t cap)
{
    if (cap < 2 * ROW_TEXT_MAX)
        cap = 2 * ROW_TEXT_MAX;
    t->f = f;
    t->buf = (char *)malloc(cap);
    t->cap = t->buf ? cap : 0;
    t->used = 0;
    t->failed = t->buf ? 0 : ENOMEM;
}

void trace_header(trace_out *t)
{
    size_t n = sizeof TRACE_HEADER - 1;
    if (t->cap - t->used < n + 1)
        drain(t);
    if (t->failed)
        return;
    memcpy(t->buf + t->used, TRACE_HEADER, n);
    t->buf[t->used + n] = '\n';
    t->used += n + 1;
}

void trace_row(trace_out *t, uint64_t tick)
{
    if (t->cap - t->used < ROW_TEXT_MAX)
        drain(t);
    if (t->failed)
        return;
    t->used = (size_t)(put_row(t->buf + t->used, tick) - t->buf);
}

int trace_close(trace_out *t)
{
    drain(t);
    if (!t->failed && fflush(t->f) != 0)
        t->failed = errno ? errno : EIO;
    free(t->buf);
    t->buf = nullptr;
    t->cap = 0;
    return t->failed;
}
