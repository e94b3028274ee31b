/*
 * python/run.cpp -- a script read into stretches, then driven.
 */
#include "run.h"

#include "sim/sim.h"

namespace {
struct reading {
    std::vector<stretch> *out;
    uint64_t ticks;
};
}

static int keep_stretch(const stretch *s, void *ctx)
{
    reading *r = (reading *)ctx;
    r->out->push_back(*s);
    r->ticks += s->ticks;
    return 0;
}

int script_read(FILE *in, const char *name, std::vector<stretch> *out, uint64_t *ticks,
                char *err, size_t errsize)
{
    reading r = {out, 0};
    if (scan_script(in, name, keep_stretch, &r, err, errsize) != 0)
        return -1;
    *ticks = r.ticks;
    return 0;
}

void script_drive(const car *params, const course *track, const std::vector<stretch> &script,
                  trace_row *rows)
{
    car_state c;
    car_start(&c, params);
    car_in(&c);
    if (track)
        course_start(track);
    int64_t tick = 0;
    for (const stretch &s : script) {
        hold_keys(s.keys, s.after);
        for (uint64_t i = 0; i < s.ticks; i++) {
            logic();
            rows->tick = ++tick;
            take_row(&rows->s);
            rows++;
        }
    }
}
