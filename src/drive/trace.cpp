/*
 * headless/trace.cpp -- formatting and writing the trace rows.
 */
#include "drive/trace.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "drive/files.h"
#include "sim/state.h"

/* The columns are the traced state variables, in their listed order. */
#define TRACE_COLUMN(type, name, start) "," #name
const char TRACE_HEADER[] = "tick" SIM_STATE_TRACED(TRACE_COLUMN);

/* "%.9g" the long way, for any float. */
static char *put_float_general(char *p, float f)
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

/* The n digits of v (n >= 1), most significant first. */
static void put_digits(char *p, uint32_t v, int n)
{
    for (int i = n - 1; i >= 0; i--) {
        p[i] = (char)('0' + v % 10);
        v /= 10;
    }
}

/* Powers of five that fit beside a 24-bit significand in 64 bits. */
static const uint64_t POW5[18] = {
    1, 5, 25, 125, 625, 3125, 15625, 78125, 390625, 1953125, 9765625, 48828125,
    244140625, 1220703125, 6103515625, 30517578125, 152587890625, 762939453125,
};

/* "%.9g" of f, the same text as put_float_general, for every float.
 *
 * A float f with 2^-29 <= |f| < 2^30 is m 2^e with m a 24-bit integer.
 * Its decimal exponent E is F = floor(log10 2^a) or F + 1,
 * a being the binary one, so |f| 10^(8 - F) = m 5^(8-F) 2^(e + 8 - F) lies
 * in [10^8, 10^10): an integer times a power of two, which gives its whole
 * part q and whether anything, or exactly one half, is left over.  q is
 * then rounded to nine digits, ties to even, as printf does; every step is
 * exact.  Zero is "0" or "-0"; the rest -- tiny, huge, infinite, NaN --
 * goes the long way.  The check program sweep_float_text compares the two over every float of
 * the short way's range (make exhaustive). */
char *put_float(char *p, float f)
{
    uint32_t bits;
    memcpy(&bits, &f, sizeof bits);
    if ((bits & 0x7fffffff) == 0) {                /* "0", "-0" */
        if (bits >> 31)
            *p++ = '-';
        *p++ = '0';
        return p;
    }
    int biased = (int)(bits >> 23 & 0xff);
    int a = biased - 127;                          /* 2^a <= |f| < 2^(a+1) */
    if (biased == 0 || a < -29 || a > 29)          /* subnormal, tiny, huge, inf, NaN */
        return put_float_general(p, f);
    uint64_t m = (bits & 0x7fffff) | 0x800000;     /* |f| = m 2^(a-23) */

    int low = (a * 78913) >> 18;                   /* floor(a log10 2), exact for |a| < 1000 */
    int s = 8 - low;                               /* 0 .. 17 for a in -29 .. 29 */
    uint64_t scaled = m * POW5[s];                 /* < 2^24 5^17 < 2^64 */
    int shift = a - 23 + s;                        /* |f| 10^s = scaled 2^shift */

    uint64_t q;                                    /* whole part */
    int rest;                                      /* 0 none, 1 under half, 2 half, 3 over */
    if (shift >= 0) {
        q = scaled << shift;                       /* < 10^10 */
        rest = 0;
    } else {
        q = scaled >> -shift;
        uint64_t frac = scaled - (q << -shift), half = (uint64_t)1 << (-shift - 1);
        rest = frac == 0 ? 0 : frac < half ? 1 : frac == half ? 2 : 3;
    }

    int exp10 = low;
    if (q >= 1000000000) {                         /* ten digits: the tenth decides */
        int last = (int)(q % 10);
        q /= 10;
        exp10++;
        rest = last > 5 ? 3 : last == 5 ? (rest ? 3 : 2) : last > 0 || rest ? 1 : 0;
    }
    if (rest == 3 || (rest == 2 && (q & 1)))
        q++;
    if (q == 1000000000) {                         /* 999999999.5 -> 1.00000000e+9 */
        q = 100000000;
        exp10++;
    }

    char d[9];                                     /* the digits, trailing zeros cut */
    put_digits(d, (uint32_t)q, 9);
    int n = 9;
    while (d[n - 1] == '0')
        n--;

    if (bits >> 31)
        *p++ = '-';
    if (exp10 >= 9 || exp10 < -4) {               /* d.ddde+XX */
        *p++ = d[0];
        if (n > 1) {
            *p++ = '.';
            p = (char *)memcpy(p, d + 1, (size_t)n - 1) + n - 1;
        }
        int e = exp10 < 0 ? -exp10 : exp10;
        *p++ = 'e';
        *p++ = exp10 < 0 ? '-' : '+';
        *p++ = (char)('0' + e / 10);
        *p++ = (char)('0' + e % 10);
        return p;
    }
    if (exp10 < 0) {                               /* 0.000ddd */
        *p++ = '0';
        *p++ = '.';
        for (int i = -1; i > exp10; i--)
            *p++ = '0';
        return (char *)memcpy(p, d, (size_t)n) + n;
    }
    int whole = exp10 + 1;                         /* ddd000 or ddd.ddd */
    if (n <= whole) {
        p = (char *)memcpy(p, d, (size_t)n) + n;
        memset(p, '0', (size_t)(whole - n));
        return p + whole - n;
    }
    p = (char *)memcpy(p, d, (size_t)whole) + whole;
    *p++ = '.';
    return (char *)memcpy(p, d + whole, (size_t)(n - whole)) + n - whole;
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

/* Hands the buffered bytes to the stream; keeps the first error, a file
 * found removed meanwhile included. */
static void drain(trace_out *t)
{
    if (t->used && !t->failed && fwrite(t->buf, 1, t->used, t->f) != t->used)
        t->failed = errno ? errno : EIO;
    if (!t->failed && file_removed(fileno(t->f)))
        t->failed = FILE_REMOVED;
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
    if (!t->failed && file_removed(fileno(t->f)))
        t->failed = FILE_REMOVED;
    free(t->buf);
    t->buf = nullptr;
    t->cap = 0;
    return t->failed;
}
