/*
 * run/tick.cpp -- the one tick every front end runs (see run.h).
 */
#include "run.h"

#include <bit>
#include <cmath>
#include <cstdio>

#include "sim/sim.h"

/* The simulation's key seam, pointed here for every tick: the masks held
 * (or the live reader), and what the tick read of them, so that the
 * keys told to the hooks are the ones the controls saw. */
static thread_local unsigned held[2];
static thread_local unsigned (*live)(int read);
static thread_local unsigned seen[2];
static thread_local int reads;

static unsigned read_seam(void)
{
    int k = reads ? 1 : 0;
    unsigned m = (live ? live(k) : held[k]) & RUN_KEYS_MAX;
    if (reads < 2)
        seen[reads] = m;
    reads++;
    return m;
}

static void title_returns_at_once(void) {}

/* Whether every state variable is a finite number: a float's exponent
 * bits all set is an infinity or a NaN.  The bits, not isfinite, so that
 * the check costs a few instructions a variable. */
static inline bool not_finite(float v) { return (std::bit_cast<uint32_t>(v) & 0x7f800000u) == 0x7f800000u; }
static inline bool not_finite(int) { return false; }

static inline bool state_finite(void)
{
    bool bad = false;
#define RUN_NOT_FINITE(type, name, start) bad |= not_finite(name);
    SIM_STATE(RUN_NOT_FINITE)
#undef RUN_NOT_FINITE
    return !bad;
}

/* The tick itself, its keys already at the seam; counted in r's race, or
 * else on c in t (none when null). */
static unsigned tick(run_car *r, const course *c, course_timing *t)
{
    if (r->fault) {
        if (r->rule != RUN_HALT)
            return RUN_SKIPPED;
        state_start();   /* no reset can clear a NaN heading or pedal */
        r->fault = nullptr;
    }
    float x0 = x, y0 = y;
    reads = 0;
    if (r->race)
        t = r->race;
    const course_progress *p = t ? &t->p : nullptr;
    if (p && p->countdown > 0)
        logic_held();   /* a standing start's countdown: the keys move pedals and wheel, not the car */
    else
        logic();
    if (p && p->standing && ((KeyMask >> SIM_R) & 1)) {
        sim_start_at(ResetX, ResetY, ResetHeading);   /* R: on the line, stopped, in first gear, */
        Gear = 1;                                     /* as the start puts the car */
    }
    r->tick++;
    bool fresh = r->tick > r->noted;
    if (fresh)
        r->noted = r->tick;
    const run_hooks &h = r->hooks;
    if (fresh && h.keys)
        h.keys(h.ctx, seen[0], reads > 1 ? seen[1] : seen[0]);
    if (!state_finite()) {
        r->fault = state_not_finite();
        r->fault_tick = r->tick;
#define RUN_FAULT_VALUE(type, name, start) \
        if (r->fault == std::string_view(#name)) r->fault_value = (float)name;
        SIM_STATE(RUN_FAULT_VALUE)
#undef RUN_FAULT_VALUE
        return RUN_FAULT;
    }
    if (fresh && h.row)
        h.row(h.ctx, r->tick);
    if (h.ran)
        h.ran(h.ctx);
    return r->race ? race_after_tick(r->race, x0, y0) : t ? timing_after_tick(c, t, x0, y0) : 0;
}

/* The seam holding the masks keys and after for the next tick. */
static void hold(unsigned keys, unsigned after)
{
    held[0] = keys;
    held[1] = after;
    live = nullptr;
    sim_read_keys = read_seam;
    sim_title_screen = title_returns_at_once;
}

unsigned run_tick(run_car *r, unsigned keys, unsigned after)
{
    hold(keys, after);
    return tick(r, nullptr, nullptr);
}

unsigned run_tick_on(run_car *r, const course *c, course_timing *t, unsigned keys)
{
    hold(keys, keys);
    return tick(r, c, t);
}

unsigned run_tick_read(run_car *r, unsigned (*reader)(int read), void (*title)(void))
{
    live = reader;
    sim_read_keys = read_seam;
    sim_title_screen = title;
    return tick(r, nullptr, nullptr);
}

void run_fault_text(const run_car *r, char *out, size_t size)
{
    if (!r->fault) {
        if (size)
            *out = '\0';
        return;
    }
    snprintf(out, size, "%s became %g (not a finite number)", r->fault, (double)r->fault_value);
}

void run_begin(run_car *r)
{
    r->tick = r->noted = 0;
    r->fault = nullptr;
    r->fault_value = 0;
    r->fault_tick = 0;
}

void run_restart(run_car *r)
{
    state_start();
    r->fault = nullptr;
    r->tick = 0;
    if (r->race)
        race_again(r->race);
    if (r->race && r->race->p.standing)
        Gear = 1;
    if (r->hooks.restart)
        r->hooks.restart(r->hooks.ctx);
}
