/*
 * sheet/sheet.cpp -- the handling sheet's runs and table (see sheet.h).
 *
 * Each run drives the game's tick (run_tick) from the start state, the
 * keys held, exactly as a caravelt-sim script would; so any figure can be
 * checked against a trace of the same keys.
 */
#include "sheet/sheet.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "driver/driver.h"
#include "run/run.h"
#include "sim/sim.h"

static const unsigned UP = 1u << SIM_UP, DOWN = 1u << SIM_DOWN, RIGHT = 1u << SIM_RIGHT,
                      SHIFT = 1u << SIM_A;

static void report(const sheet_how *how, sheet_run run, long tick, float true_velocity)
{
    if (how->tick)
        how->tick(how->ctx, run, tick, true_velocity);
}

/* One tick of a run under keys: true, or false with the reason in
 * f->fault when it left a state that is not finite (the measuring stops
 * there: the sheet's rule is to stop). */
static bool drive_tick(unsigned keys, sheet_figures *f, const char *run, long tick)
{
    run_car r;
    run_tick(&r, keys);
    if (!r.fault)
        return true;
    char why[96];
    run_fault_text(&r, why, sizeof why);
    snprintf(f->fault, sizeof f->fault, "the %s run, tick %ld: %s", run, tick, why);
    return false;
}

/* ----------------------------------------------------------------------
 * Loops.  A run marks its state every LOOP_MAX ticks and compares each
 * later state, with the keys of the tick to come, against the mark: a
 * match after k ticks is a loop of k ticks that the run repeats to its
 * end (car_same_state), since its keys follow from the state alone.
 * The settled preset takes turns between two states.
 * ---------------------------------------------------------------------- */
enum { LOOP_MAX = 16 };   /* longest loop looked for, ticks */

struct loop_watch {
    car_state mark;       /* the state after tick `at` */
    unsigned keys;        /* held on the tick after it */
    long at;
    long period;          /* ticks of the loop; 0 until found */
    float tv[LOOP_MAX];   /* TrueVelocity after ticks at + 1, at + 2, ... */
};

static void watch_from(loop_watch *w, long n, unsigned next_keys)
{
    car_out(&w->mark);
    w->keys = next_keys;
    w->at = n;
    w->period = 0;
}

/* After tick n, with the keys of tick n + 1: true once the run loops. */
static bool watch_tick(loop_watch *w, long n, unsigned next_keys)
{
    long k = n - w->at;
    w->tv[k - 1] = TrueVelocity;
    if (next_keys == w->keys && car_same_state(&w->mark)) {
        w->period = k;
        return true;
    }
    if (k == LOOP_MAX)
        watch_from(w, n, next_keys);
    return false;
}

/* TrueVelocity after tick t of a run that loops, t past the loop's start. */
static float looped_tv(const loop_watch *w, long t)
{
    return w->tv[(t - w->at - 1) % w->period];
}

/* ----------------------------------------------------------------------
 * The runs.
 * ---------------------------------------------------------------------- */

/* The keys of tick n of the acceleration run, from the state after the
 * tick before: Up, and A on tick 1 or when that tick left a forward
 * gear below the top, the latch free and the engine at the shift speed. */
static unsigned accel_keys(long n, double shift_rpm)
{
    bool shift = n == 1 || (Gear >= 1 && Gear < GearMax && KeyHeld == 0 && EngineRev >= shift_rpm);
    return shift ? UP | SHIFT : UP;
}

/* The 400 m mark, once the distance after tick n is covered. */
static void distance(sheet_figures *f, long n, float tv, double *covered)
{
    *covered += std::fabs((double)tv) / 100;
    if (!f->t400 && *covered >= 400) {
        f->t400 = n;
        f->v400 = (double)tv * 3.6;
    }
}

/* Acceleration run: times to 50 and 100 km/h, the 400 m, top speed;
 * the car at 50 and at 100 km/h into at50 and at100, and, for the
 * braking run's report, every TrueVelocity up to 100 km/h into upto100. */
static void acceleration_run(const car *c, const sheet_how *how, sheet_figures *f,
                             car_state *at50, car_state *at100, std::vector<float> *upto100,
                             corner_run *kmh)
{
    car_start(at50, c);   /* car_out below takes the state, these keep c */
    car_start(at100, c);
    car_in(at50);
    unsigned keys = accel_keys(1, how->shift_rpm);
    loop_watch w;
    watch_from(&w, 0, keys);
    double covered = 0;
    long n = 1;
    for (; n <= SHEET_RUN_TICKS; n++) {
        if (!drive_tick(keys, f, "acceleration", n))
            break;
        double v = (double)TrueVelocity * 3.6;
        distance(f, n, TrueVelocity, &covered);
        if (!f->t50 && v >= 50) {
            f->t50 = n;
            car_out(at50);
        }
        if (how->tick && !f->t100)
            upto100->push_back(TrueVelocity);
        if (!f->t100 && v >= 100) {
            f->t100 = n;
            car_out(at100);
        }
        if (n == 1 || v > f->top) {
            f->top = v;
            f->top_gear = Gear;
        }
        while (v >= (double)kmh->at.size() + 1) {
            kmh->at.emplace_back();
            kmh->at.back().params = *c;
            car_out(&kmh->at.back());
        }
        report(how, SHEET_ACCEL, n, TrueVelocity);
        keys = accel_keys(n + 1, how->shift_rpm);
        if (!how->full && watch_tick(&w, n, keys))
            break;
    }
    f->driven += std::min<long>(n, SHEET_RUN_TICKS);
    if (!w.period)
        return;
    /* The loop's speeds were all seen before it: no first or highest
     * speed is left to find, only the distance and the report. */
    for (long t = n + 1; t <= SHEET_RUN_TICKS && (how->tick || !f->t400); t++) {
        float tv = looped_tv(&w, t);
        distance(f, t, tv, &covered);
        report(how, SHEET_ACCEL, t, tv);
    }
}

/* Braking run: from the car at its first tick at 100 km/h, Down alone
 * to the first tick that ends with TrueVelocity 0 or less. */
static void braking_run(const car_state *at100, const std::vector<float> &upto100,
                        const sheet_how *how, sheet_figures *f)
{
    for (long n = 1; n <= f->t100 && how->tick; n++)
        report(how, SHEET_BRAKE, n, upto100[n - 1]);
    car_in(at100);
    loop_watch w;
    watch_from(&w, 0, DOWN);
    double covered = 0;
    long b = 1;
    for (; b <= SHEET_RUN_TICKS; b++) {
        if (!drive_tick(DOWN, f, "braking", f->t100 + b))
            break;
        covered += std::fabs((double)TrueVelocity) / 100;
        report(how, SHEET_BRAKE, f->t100 + b, TrueVelocity);
        if (TrueVelocity <= 0) {
            f->brake_ticks = b;
            f->brake_m = covered;
            f->driven += b;
            return;
        }
        if (!how->full && watch_tick(&w, b, DOWN))
            break;
    }
    f->driven += std::min<long>(b, SHEET_RUN_TICKS);
    if (!w.period)
        return;
    /* Looping above 0: it never stops. */
    for (long t = b + 1; t <= SHEET_RUN_TICKS && how->tick; t++)
        report(how, SHEET_BRAKE, f->t100 + t, looped_tv(&w, t));
}

/* Steering run: from the car at its first tick at 50 km/h, one second of
 * Up and Right.  A heading change beyond half a turn is the wrap, not
 * the car: each is taken within -180..180. */
static void steering_run(const car_state *at50, sheet_figures *f)
{
    car_in(at50);
    f->steered = true;
    double before = AxisAngle;
    f->driven += SHEET_STEER_TICKS;
    for (int k = 0; k < SHEET_STEER_TICKS; k++) {
        if (!drive_tick(UP | RIGHT, f, "steering", f->t50 + 1 + k))
            return;
        f->yaw += std::remainder((double)AxisAngle - before, 360.0);
        before = AxisAngle;
        double slip = std::fabs(std::remainder((double)AxisAngle - TrueAngle, 360.0));
        if (slip > f->slip)
            f->slip = slip;
    }
}

/* The best clean lap the driver finds on how->track within its drives. */
static void lap_figure(const car *c, const sheet_how *how, sheet_figures *f)
{
    driver_task t = driver_course_task(how->track, c);
    driver_how d;
    d.budget.drives = how->lap_drives;
    d.seed = how->lap_seed;
    driver_result r;
    driver_search(&t, &d, &r);
    f->lapped = r.laps_done > 0;
    f->lap_clean = r.clean;
    f->lap_s = r.best_total;
    f->lap_cones = r.cones;
}

void sheet_measure(const car *c, const sheet_how *how, sheet_figures *f)
{
    *f = sheet_figures{};
    car_state at50, at100;
    std::vector<float> upto100;
    corner_run kmh;
    acceleration_run(c, how, f, &at50, &at100, &upto100, &kmh);
    if (f->t100 && !f->fault[0])
        braking_run(&at100, upto100, how, f);
    if (f->t50 && !f->fault[0])
        steering_run(&at50, f);
    if (f->fault[0])
        return;
    if (how->corners) {
        course circle, lane;
        corner_circle_course(&circle);
        corner_lane_change_course(&lane);
        f->circle_kmh = corner_speed(&kmh, &circle, false);
        f->lane_kmh = corner_speed(&kmh, &lane, true);
    }
    if (how->track)
        lap_figure(c, how, f);
}

void sheet_runs_row(void *ctx, sheet_run run, long tick, float true_velocity)
{
    const sheet_runs_file *r = (const sheet_runs_file *)ctx;
    fprintf(r->out, "%s,%s,%.2f,%.3f\n", r->name, run == SHEET_ACCEL ? "accel" : "brake",
            tick / 100.0, (double)true_velocity * 3.6);
}

/* ----------------------------------------------------------------------
 * The figures as text.
 * ---------------------------------------------------------------------- */
const char *const SHEET_LABELS[SHEET_FIGURES] = {
    "0-50 km/h (s)", "0-100 km/h (s)", "400 m (s)", "speed at 400 m (km/h)",
    "top speed (km/h)", "top speed gear", "100-0 km/h (m)", "100-0 km/h (s)",
    "yaw after 1 s at full lock from 50 km/h (deg)",
    "peak slip at full lock from 50 km/h (deg)",
    "steady speed round a 30 m circle (km/h)", "lateral acceleration on it (g)",
    "double lane change entry speed (km/h)"};
const char *const SHEET_COLUMNS[SHEET_FIGURES] = {
    "t50_s", "t100_s", "t400m_s", "v400m_kmh", "top_kmh", "top_gear", "brake_m", "brake_s",
    "yaw_deg", "slip_deg", "circle_kmh", "circle_g", "lane_change_kmh"};
const char *const SHEET_LAP_LABELS[SHEET_LAP_FIGURES] = {"best lap on the course (s)",
                                                         "cones its drive knocked"};
const char *const SHEET_LAP_COLUMNS[SHEET_LAP_FIGURES] = {"lap_s", "lap_cones"};

/* Times in seconds to the hundredth, the rest to the tenth. */
static bool time_text(long ticks, char *out, size_t size)
{
    return ticks ? snprintf(out, size, "%.2f", ticks / 100.0), true : (*out = '\0', false);
}
static bool one_text(bool has, double v, char *out, size_t size)
{
    return has ? snprintf(out, size, "%.1f", v), true : (*out = '\0', false);
}

/* A speed in whole km/h, none when 0. */
static bool whole_text(int kmh, char *out, size_t size)
{
    return kmh ? snprintf(out, size, "%d", kmh), true : (*out = '\0', false);
}

/* m/s^2 in a g. */
static const double STANDARD_G = 9.81;

bool sheet_figure_text(const sheet_figures *f, int i, char *out, size_t size)
{
    if (f->fault[0])
        return *out = '\0', false;
    switch (i) {
    case 0: return time_text(f->t50, out, size);
    case 1: return time_text(f->t100, out, size);
    case 2: return time_text(f->t400, out, size);
    case 3: return one_text(f->t400, f->v400, out, size);
    case 4: return one_text(true, f->top, out, size);
    case 5: return snprintf(out, size, "%d", f->top_gear), true;
    case 6: return one_text(f->brake_ticks, f->brake_m, out, size);
    case 7: return time_text(f->brake_ticks, out, size);
    case 8: return one_text(f->steered, f->yaw, out, size);
    case 9: return one_text(f->steered, f->slip, out, size);
    case 10: return whole_text(f->circle_kmh, out, size);
    case 11: {
        double v = f->circle_kmh / 3.6;
        return f->circle_kmh ? snprintf(out, size, "%.2f", v * v / CORNER_RADIUS_M / STANDARD_G), true
                             : (*out = '\0', false);
    }
    case 12: return whole_text(f->lane_kmh, out, size);
    case 13: return f->lap_clean ? snprintf(out, size, "%.2f", f->lap_s), true : (*out = '\0', false);
    default: return snprintf(out, size, "%d", f->lap_cones), true;
    }
}

void sheet_column_name(const char *path, char *out, size_t size)
{
    const char *base = strrchr(path, '/');
    base = base ? base + 1 : path;
    const char *dot = strrchr(base, '.');
    size_t n = dot && dot != base ? (size_t)(dot - base) : strlen(base);
    snprintf(out, size, "%.*s", (int)n, base);
}

void sheet_print(FILE *out, const char *const *names, const sheet_figures *f, int n, bool lap)
{
    fputs("| figure |", out);
    for (int i = 0; i < n; i++)
        fprintf(out, " %s |", names[i]);
    fputs("\n|---|", out);
    for (int i = 0; i < n; i++)
        fputs("---|", out);
    fputc('\n', out);
    for (int row = 0; row < SHEET_FIGURES + (lap ? SHEET_LAP_FIGURES : 0); row++) {
        fprintf(out, "| %s |", row < SHEET_FIGURES ? SHEET_LABELS[row] : SHEET_LAP_LABELS[row - SHEET_FIGURES]);
        char text[64];
        for (int i = 0; i < n; i++)
            fprintf(out, " %s |", sheet_figure_text(&f[i], row, text, sizeof text) ? text : "-");
        fputc('\n', out);
    }
    for (int i = 0; i < n; i++)
        if (f[i].fault[0])
            fprintf(out, "\n%s: no figures: %s\n", names[i], f[i].fault);
}
