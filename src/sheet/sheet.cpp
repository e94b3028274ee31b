/*
 * sheet/sheet.cpp -- the handling sheet's runs and table (see sheet.h).
 *
 * Each run drives the game's logic() from the start state, the keys held
 * through hold_keys, exactly as a caravelt-sim script would; so
 * any figure can be checked against a trace of the same keys.
 */
#include "sheet.h"

#include <cmath>
#include <cstring>

#include "sim/sim.h"

static const unsigned UP = 1u << SIM_UP, DOWN = 1u << SIM_DOWN, RIGHT = 1u << SIM_RIGHT,
                      SHIFT = 1u << SIM_A;

/* The start state with c's parameters, no key held. */
static void start(const car *c)
{
    sim_start();
    load_car(c);
    hold_keys(0);
}

static double ground_kmh(void) { return (double)TrueVelocity * 3.6; }

/* Tick n of the acceleration run: Up, and A on tick 1 or when the tick
 * before left a forward gear below the top, the latch free and the
 * engine at the shift speed. */
static void accel_tick(long n, double shift_rpm)
{
    bool shift = n == 1 || (Gear >= 1 && Gear < GearMax && KeyHeld == 0 && EngineRev >= shift_rpm);
    hold_keys(shift ? UP | SHIFT : UP);
    logic();
}

static void run_row(FILE *runs, const char *name, const char *run, long tick)
{
    if (runs)
        fprintf(runs, "%s,%s,%.2f,%.3f\n", name, run, tick / 100.0, ground_kmh());
}

/* Acceleration run: times to 50 and 100 km/h, the 400 m, top speed. */
static void acceleration_run(const car *c, double shift_rpm, sheet_figures *f, FILE *runs,
                             const char *name)
{
    start(c);
    double covered = 0;
    for (long n = 1; n <= SHEET_RUN_TICKS; n++) {
        accel_tick(n, shift_rpm);
        double v = ground_kmh();
        covered += std::fabs((double)TrueVelocity) / 100;
        if (!f->t50 && v >= 50)
            f->t50 = n;
        if (!f->t100 && v >= 100)
            f->t100 = n;
        if (!f->t400 && covered >= 400) {
            f->t400 = n;
            f->v400 = v;
        }
        if (n == 1 || v > f->top) {
            f->top = v;
            f->top_gear = Gear;
        }
        run_row(runs, name, "accel", n);
    }
}

/* Braking run: from the tick that reached 100 km/h, Down alone to the
 * first tick that ends with TrueVelocity 0 or less. */
static void braking_run(const car *c, double shift_rpm, sheet_figures *f, FILE *runs,
                        const char *name)
{
    start(c);
    for (long n = 1; n <= f->t100; n++) {
        accel_tick(n, shift_rpm);
        run_row(runs, name, "brake", n);
    }
    double covered = 0;
    for (long b = 1; b <= SHEET_RUN_TICKS; b++) {
        hold_keys(DOWN);
        logic();
        covered += std::fabs((double)TrueVelocity) / 100;
        run_row(runs, name, "brake", f->t100 + b);
        if (TrueVelocity <= 0) {
            f->brake_ticks = b;
            f->brake_m = covered;
            return;
        }
    }
}

/* Steering run: from the tick that reached 50 km/h, one second of Up
 * and Right.  A heading change beyond half a turn is the wrap, not the
 * car: each is taken within -180..180. */
static void steering_run(const car *c, double shift_rpm, sheet_figures *f)
{
    start(c);
    for (long n = 1; n <= f->t50; n++)
        accel_tick(n, shift_rpm);
    f->steered = true;
    double before = AxisAngle;
    for (int k = 0; k < SHEET_STEER_TICKS; k++) {
        hold_keys(UP | RIGHT);
        logic();
        f->yaw += std::remainder((double)AxisAngle - before, 360.0);
        before = AxisAngle;
        double slip = std::fabs(std::remainder((double)AxisAngle - TrueAngle, 360.0));
        if (slip > f->slip)
            f->slip = slip;
    }
}

void sheet_measure(const car *c, double shift_rpm, sheet_figures *f, FILE *runs,
                   const char *name)
{
    *f = sheet_figures{};
    acceleration_run(c, shift_rpm, f, runs, name);
    if (f->t100)
        braking_run(c, shift_rpm, f, runs, name);
    if (f->t50)
        steering_run(c, shift_rpm, f);
}

void sheet_column_name(const char *path, char *out, size_t size)
{
    const char *base = strrchr(path, '/');
    base = base ? base + 1 : path;
    const char *dot = strrchr(base, '.');
    size_t n = dot && dot != base ? (size_t)(dot - base) : strlen(base);
    snprintf(out, size, "%.*s", (int)n, base);
}

/* ----------------------------------------------------------------------
 * The table.  Each row prints one figure of every car, or "-".
 * ---------------------------------------------------------------------- */
static void cell_time(FILE *out, long ticks) { ticks ? fprintf(out, " %.2f |", ticks / 100.0) : fputs(" - |", out); }
static void cell_one(FILE *out, bool has, double v) { has ? fprintf(out, " %.1f |", v) : fputs(" - |", out); }

void sheet_print(FILE *out, const char *const *names, const sheet_figures *f, int n)
{
    fputs("| figure |", out);
    for (int i = 0; i < n; i++)
        fprintf(out, " %s |", names[i]);
    fputs("\n|---|", out);
    for (int i = 0; i < n; i++)
        fputs("---|", out);
    fputc('\n', out);

    enum { T50, T100, T400, V400, TOP, GEAR, BRAKE_M, BRAKE_S, YAW, SLIP, ROWS };
    static const char *const labels[ROWS] = {
        "0-50 km/h (s)", "0-100 km/h (s)", "400 m (s)", "speed at 400 m (km/h)",
        "top speed (km/h)", "top speed gear", "100-0 km/h (m)", "100-0 km/h (s)",
        "yaw after 1 s at full lock from 50 km/h (deg)",
        "peak slip at full lock from 50 km/h (deg)"};
    for (int row = 0; row < ROWS; row++) {
        fprintf(out, "| %s |", labels[row]);
        for (int i = 0; i < n; i++) {
            const sheet_figures &g = f[i];
            switch (row) {
            case T50: cell_time(out, g.t50); break;
            case T100: cell_time(out, g.t100); break;
            case T400: cell_time(out, g.t400); break;
            case V400: cell_one(out, g.t400, g.v400); break;
            case TOP: cell_one(out, true, g.top); break;
            case GEAR: fprintf(out, " %d |", g.top_gear); break;
            case BRAKE_M: cell_one(out, g.brake_ticks, g.brake_m); break;
            case BRAKE_S: cell_time(out, g.brake_ticks); break;
            case YAW: cell_one(out, g.steered, g.yaw); break;
            default: cell_one(out, g.steered, g.slip); break;
            }
        }
        fputc('\n', out);
    }
}
