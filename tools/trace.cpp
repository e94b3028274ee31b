/*
 * tools/trace.cpp -- formatting and writing the trace rows.
 */
#include "trace.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "sim/state.h"

const char TRACE_HEADER[] =
    "tick,x,y,AxisAngle,TrueAngle,Velocity,TrueVelocity,Acceleration,EngineRev,"
    "TransmissionTotal,PedalAccelerator,PedalBrake,PedalClutch,DrivingWheelTurning,"
    "Gear,KeyHeld,TractionSlip";

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

/* The text each float column had in the last row.  Most columns repeat
 * from tick to tick (pedals held down, the gear's ratio, the wheel at
 * lock), and copying a dozen bytes costs a fraction of a conversion. */
enum { FLOAT_COLUMNS = 13 };
struct column_text {
    uint32_t bits;
    unsigned len;   /* 0: nothing kept yet */
    char text[FLOAT_TEXT_MAX];
};
static column_text last_text[FLOAT_COLUMNS];

static char *put_column(char *p, int col, float f)
{
    column_text &c = last_text[col];
    uint32_t b;
    memcpy(&b, &f, sizeof b);
    if (c.len == 0 || c.bits != b) {
        c.len = (unsigned)(put_float(c.text, f) - c.text);
        c.bits = b;
    }
    memcpy(p, c.text, c.len);
    return p + c.len;
}

char *put_row(char *p, uint64_t tick)
{
    const float cols[FLOAT_COLUMNS] = {
        x, y, AxisAngle, TrueAngle, Velocity, TrueVelocity, Acceleration, EngineRev,
        TransmissionTotal, PedalAccelerator, PedalBrake, PedalClutch, DrivingWheelTurning};
    p = put_u64(p, tick);
    for (int i = 0; i < FLOAT_COLUMNS; i++) {
        *p++ = ',';
        p = put_column(p, i, cols[i]);
    }
    for (int i : {Gear, KeyHeld, TractionSlip}) {
        *p++ = ',';
        p = put_int(p, i);
    }
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
