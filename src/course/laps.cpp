/*
 * course/laps.cpp -- completed laps as CSV rows (see course.h).
 */
#include <cstdio>
#include <cinttypes>

#include "course.h"

/* ticks as seconds to the hundredth, exactly: a tick is 0.01 s. */
static void put_seconds(std::string *out, uint64_t ticks)
{
    char t[32];
    snprintf(t, sizeof t, ",%" PRIu64 ".%02u", ticks / 100, (unsigned)(ticks % 100));
    *out += t;
}

void course_laps_header(std::string *out, const course *c)
{
    *out += "lap,start_tick,ticks,cones,time_s,total_s";
    for (size_t g = 2; g <= c->gates.size(); g++)
        *out += ",gate" + std::to_string(g) + "_s";
    *out += '\n';
}

void course_lap_row(std::string *out, const course *c, const course_lap *l)
{
    char t[96];
    snprintf(t, sizeof t, "%d,%" PRIu64 ",%" PRIu64 ",%d", l->lap, l->start_tick, l->ticks, l->cones);
    *out += t;
    put_seconds(out, l->ticks);
    snprintf(t, sizeof t, ",%.2f", course_lap_total(c, l));
    *out += t;
    for (size_t g = 0; g + 1 < c->gates.size(); g++)
        put_seconds(out, l->splits[g]);
    *out += '\n';
}
