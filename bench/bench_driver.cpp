/*
 * bench/bench_driver.cpp -- how good and how quick the driver is.
 *
 *   bench_driver [--seconds S] [--ten]
 *
 * Targets, each printed with PASS or FAIL:
 *   - every shipped course: the best lap found in S seconds (default 60)
 *     on two threads beats the best lap of the script shipped before the
 *     driver (a random search's) by 25% or more; with --ten, it is within
 *     1% of what ten times the drives find (some half an hour);
 *   - courses it has never seen, made here from a seed (4 to 12 gates,
 *     some across the screen's edges, lanes 5 to 10 m wide between
 *     cones): clean laps in S / 6 seconds each;
 *   - a sweep of 100 setups of the preset on the slalom with the sheet's
 *     lap figure (its fixed drives): the time per setup, and the spread
 *     of the figure over five seeds on ten of them, which must be smaller
 *     than the spread of the figure over the setups it ranks.
 */
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "sheet/sheet.h"
#include "sheet/sweep.h"

/* The shipped scripts' best laps before the driver, s. */
static const struct { const char *name; double before; } SHIPPED[] = {
    {"slalom", 6.66}, {"figure8", 7.48}, {"autocross", 18.72}};

static bool failed;

static const char *verdict(bool ok)
{
    failed |= !ok;
    return ok ? "PASS" : "FAIL";
}

static driver_result search(const course &c, double seconds, long drives, run_pool *pool)
{
    driver_task t = driver_course_task(&c, &KVT);
    driver_how how;
    how.budget.seconds = seconds;
    how.budget.drives = drives;
    how.pool = pool;
    driver_result r;
    driver_search(&t, &how, &r);
    return r;
}

static void shipped(double seconds, bool ten, run_pool *pool)
{
    printf("%-10s %8s %8s %8s %6s%s\n", "course", "before", "found", "drives", "gain",
           ten ? "  10x found  10x gap" : "");
    for (const auto &k : SHIPPED) {
        course c;
        char err[512];
        std::string path = std::string(CARAVELT_SOURCE_DIR "/data/courses/") + k.name + ".toml";
        if (read_course_file(path.c_str(), &c, err, sizeof err) != 0) {
            printf("%s\n", err);
            failed = true;
            continue;
        }
        driver_result r = search(c, seconds, 0, pool);
        double gain = r.clean ? 1 - r.best_total / k.before : 0;
        printf("%-10s %8.2f %8.2f %8ld %5.1f%%", k.name, k.before, r.clean ? r.best_total : NAN, r.drives, 100 * gain);
        if (ten) {
            driver_result t = search(c, 0, 10 * r.drives, pool);
            double gap = r.best_total / t.best_total - 1;
            printf(" %10.2f %7.2f%% %s", t.best_total, 100 * gap, verdict(r.clean && t.clean && gap <= 0.01));
        }
        printf("  %s\n", verdict(r.clean && gain >= 0.25));
    }
}

/* A course from a seed: gates round a wobbly loop about a centre that may
 * sit near a screen edge (the loop then runs across it), each gate across
 * the way and whole on the screen, a cone just beyond each end. */
static course made_course(unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0, 1);
    course c;
    c.name = "made " + std::to_string(seed);
    c.laps = 2;
    c.penalty = 2;
    int n = 4 + (int)(u(rng) * 9);
    double cx = 102.4 * u(rng), cy = 76.8 * u(rng), rx = 20 + 18 * u(rng), ry = 15 + 15 * u(rng);
    double width = 5 + 5 * u(rng);
    auto wrap = [](double v, double size) { return (float)(10 * (v - size * std::floor(v / size))); };
    auto inside = [](double v, double reach, double size) {   /* m: v on the screen, reach within it */
        double w = v - size * std::floor(v / size);
        return w < reach ? reach + 0.1 : w > size - reach - 0.1 ? size - reach - 0.1 : w;
    };
    for (int g = 0; g < n; g++) {
        double a = 2 * M_PI * (g + 0.3 * (u(rng) - 0.5)) / n, r = 0.8 + 0.4 * u(rng);
        double px = cx + rx * r * std::cos(a), py = cy + ry * r * std::sin(a);
        double tx = -rx * std::sin(a), ty = ry * std::cos(a), len = std::hypot(tx, ty);
        double nx = -ty / len, ny = tx / len, h = width / 2;
        /* A gate is the segment between its posts as they lie on the
         * screen: one with a post past an edge would span the screen, so
         * the gate is kept whole on it, moved in from an edge it reaches. */
        double gx = inside(px, std::fabs(nx * h), 102.4), gy = inside(py, std::fabs(ny * h), 76.8);
        c.gates.push_back({{(float)(10 * (gx - nx * h)), (float)(10 * (gy - ny * h))},
                           {(float)(10 * (gx + nx * h)), (float)(10 * (gy + ny * h))}});
        for (double side : {-1.0, 1.0})
            c.cones.push_back({wrap(gx + side * nx * (h + 1), 102.4), wrap(gy + side * ny * (h + 1), 76.8)});
        if (g == 0) {
            /* Start 12 m before the first gate, heading along the way. */
            c.start = {wrap(px - tx / len * 12, 102.4), wrap(py - ty / len * 12, 76.8)};
            c.heading = (float)std::fmod(std::atan2(tx, -ty) * 180 / M_PI + 360, 360);
        }
    }
    course_index(&c);
    return c;
}

static void unseen(double seconds, run_pool *pool)
{
    printf("\n%-10s %6s %6s %6s %8s\n", "course", "gates", "clean", "best", "drives");
    for (unsigned seed = 1; seed <= 6; seed++) {
        course c = made_course(seed);
        driver_result r = search(c, seconds, 0, pool);
        printf("%-10s %6zu %6s %6.2f %8ld  %s\n", c.name.c_str(), c.gates.size(), r.clean ? "yes" : "no",
               r.clean ? r.best_total : NAN, r.drives, verdict(r.clean));
    }
}

static double spread(const std::vector<double> &v)
{
    double m = 0, s = 0;
    for (double x : v)
        m += x / (double)v.size();
    for (double x : v)
        s += (x - m) * (x - m) / (double)(v.size() - 1);
    return std::sqrt(s);
}

static void sweep(run_pool *pool)
{
    course c;
    char err[512];
    if (read_course_file(CARAVELT_SOURCE_DIR "/data/courses/slalom.toml", &c, err, sizeof err) != 0) {
        printf("%s\n", err);
        failed = true;
        return;
    }
    sweep_grid g;
    g.base = KVT;
    for (const char *axis : {"G=0.8:1.25:0.05", "PeakTorque=300:435:15"})
        sweep_add_axis(&g, axis, err, sizeof err);
    std::vector<sheet_figures> f((size_t)g.setups);
    auto t0 = std::chrono::steady_clock::now();
    run_split(pool, f.size(), 1, [&](size_t a, size_t b) {
        for (size_t i = a; i < b; i++) {
            car k;
            sweep_setup(&g, (long)i, &k);
            sheet_how how;
            how.track = &c;
            sheet_measure(&k, &how, &f[i]);
        }
    });
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::vector<double> laps;
    for (const sheet_figures &x : f)
        if (x.lap_clean)
            laps.push_back(x.lap_s);
    double across = spread(laps);

    /* Ten setups, five seeds each. */
    double within = 0;
    for (long i = 0; i < g.setups; i += g.setups / 10) {
        std::vector<double> seeds(5);
        car k;
        sweep_setup(&g, i, &k);
        run_split(pool, seeds.size(), 1, [&](size_t a, size_t b) {
            for (size_t j = a; j < b; j++) {
                sheet_how how;
                how.track = &c;
                how.lap_seed = j + 1;
                sheet_figures x;
                sheet_measure(&k, &how, &x);
                seeds[j] = x.lap_clean ? x.lap_s : NAN;
            }
        });
        within += spread(seeds) / 10;
    }
    printf("\nslalom sweep of %ld setups (lap with %d drives each): %.2f s a setup on %d threads, "
           "%zu clean\n", g.setups, (int)SHEET_LAP_DRIVES, s / (double)g.setups, run_pool_threads(pool),
           laps.size());
    printf("lap_s spread over the setups %.3f s, over five seeds (mean of ten setups) %.3f s  %s\n", across,
           within, verdict(within < across && laps.size() == (size_t)g.setups));
}

int main(int argc, char **argv)
{
    double seconds = 60;
    bool ten = false;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--seconds") && i + 1 < argc)
            seconds = atof(argv[++i]);
        else if (!strcmp(argv[i], "--ten"))
            ten = true;
        else {
            fprintf(stderr, "usage: bench_driver [--seconds S] [--ten]\n");
            return 2;
        }
    }
    run_pool *pool = run_pool_new(2);
    shipped(seconds, ten, pool);
    unseen(seconds / 6, pool);
    sweep(pool);
    run_pool_free(pool);
    return failed ? 1 : 0;
}
