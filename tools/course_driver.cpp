/*
 * tools/course_driver.cpp -- finds keys that drive a course clean and
 * writes them as a driving script.
 *
 *   course_driver COURSE.toml SCRIPT.txt [--tries N] [--seed N] [--car FILE] [--line FILE.csv]
 *                 [--standing-start]
 *
 * A simple driver in the real simulation, from where start-up puts the car
 * on the course: first gear, then each tick it steers for a point on the
 * next gate (turning partly for the gate after it as it comes near) and
 * holds a speed set per gate, less while the heading is far off.  A
 * search tunes the points, speeds and gains -- a random change at a time,
 * kept when the drive gets further or, once clean (every lap, no cone),
 * quicker -- and the best drive's keys are written, one stretch a line,
 * ending with the tick that completes the last lap.  --line writes the
 * car's centre after each tick of it, in metres ("x_m,y_m"), to draw.
 * --standing-start drives from the start gate after the countdown, as the
 * game does, and writes a recording that says so (drive/header.h).
 *
 * Exit status: 0 written; 1 no clean drive found (nothing written); 2 bad
 * usage or course.  Deterministic for a given seed.
 */
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <ctime>
#include <vector>

#include "course/race.h"
#include "drive/header.h"
#include "drive/script.h"
#include "run/run.h"
#include "sim/carfile.h"
#include "sim/sim.h"

/* How a drive is driven: per gate, the point aimed at (0 at a, 1 at b)
 * and the speed on the way to it (m/s); and the gains. */
struct plan {
    std::vector<double> at, speed;
    double steer;       /* wheel per 45 degrees of heading error */
    double near;        /* m: within this of its point, a gate hands over to the next */
    double slow;        /* share of the speed given up per 90 degrees of heading error */
};

/* What a drive came to. */
struct outcome {
    bool clean;                  /* every lap done, no cone knocked */
    long gates;                  /* gates passed before it ended */
    uint64_t ticks;              /* ticks driven */
    std::vector<unsigned> keys;  /* one mask per tick */
    std::vector<course_pose> line;   /* the car after each tick */
    std::vector<uint64_t> laps;  /* each lap's ticks */
    double cost() const { return clean ? (double)ticks : 1e9 - 1e6 * (double)gates + (double)ticks; }
};

static double short_way(double d, double size)
{
    return d > size / 2 ? d - size : d < -size / 2 ? d + size : d;
}

static course_point aim_point(const course &c, const plan &pl, int g)
{
    const course_gate &k = c.gates[g];
    double t = pl.at[g];
    return {(float)(k.a.x + t * (k.b.x - k.a.x)), (float)(k.a.y + t * (k.b.y - k.a.y))};
}

/* The keys for the next tick, from the car as it stands (the thread's names). */
static unsigned decide(const course &c, const course_progress &p, const plan &pl)
{
    int g = p.next_gate, n = (g + 1) % (int)c.gates.size();
    course_point t = aim_point(c, pl, g), u = aim_point(c, pl, n);
    double dx = short_way(t.x - x, COURSE_SCREEN_W), dy = short_way(t.y - y, COURSE_SCREEN_H);
    double dist = std::hypot(dx, dy) / COURSE_PX_PER_M;
    if (dist < pl.near) {
        double share = 1 - dist / pl.near;
        dx += share * short_way((double)u.x - t.x, COURSE_SCREEN_W);
        dy += share * short_way((double)u.y - t.y, COURSE_SCREEN_H);
    }
    double want = std::atan2(dx, -dy) * 180 / M_PI;
    double err = std::remainder(want - TrueAngle, 360.0);
    double wheel = std::clamp(pl.steer * err / 45, -1.0, 1.0);
    double speed = pl.speed[g] * std::max(0.3, 1 - pl.slow * std::min(std::fabs(err), 90.0) / 90);

    unsigned keys = 0;
    if (DrivingWheelTurning < wheel - 0.02)
        keys |= 1u << SIM_RIGHT;
    else if (DrivingWheelTurning > wheel + 0.02)
        keys |= 1u << SIM_LEFT;
    if (TrueVelocity < speed)
        keys |= 1u << SIM_UP;
    else if (TrueVelocity > speed + 0.3)
        keys |= 1u << SIM_DOWN;
    return keys;
}

/* ----------------------------------------------------------------------
 * drive: the plan from start-up on the course, until the last lap is
 * done, a cone falls, or no gate is passed for 20 s.
 * ---------------------------------------------------------------------- */
static outcome drive(const course &c, const car &params, const plan &pl, int laps, bool standing)
{
    outcome o = {};
    course_race race;
    const course_progress &p = race.p;
    car_state start;
    car_start(&start, &params);
    car_in(&start);
    if (standing)
        course_start_standing(&c);
    else
        course_start(&c);
    race_start(&race, &c, false, standing);
    run_car r;
    r.race = &race;   /* a car whose state stops being finite stops: that drive is not clean */
    uint64_t last_gate = 0;
    for (uint64_t tick = 1; tick - last_gate < 2000; tick++) {
        unsigned keys = tick == 1 && !standing ? 1u << SIM_A : decide(c, p, pl);
        o.keys.push_back(keys);
        unsigned ev = run_tick(&r, keys);
        if (ev & RUN_FAULT)
            return o;
        o.ticks = tick;
        o.line.push_back({x, y, AxisAngle});
        if (ev & COURSE_CONE)
            return o;
        if (ev & (COURSE_LAP_BEGUN | COURSE_GATE | COURSE_LAP_DONE))
            o.gates++, last_gate = tick;
        if (ev & COURSE_LAP_DONE)
            o.laps.push_back(p.last.ticks);
        if ((int)o.laps.size() == laps) {
            o.clean = true;
            return o;
        }
    }
    return o;
}

/* A random change to one thing in the plan. */
static plan changed(const plan &pl, std::mt19937 &rng)
{
    plan q = pl;
    std::uniform_real_distribution<double> u(-1, 1);
    size_t n = q.at.size();
    size_t pick = rng() % (2 * n + 3);
    double big = rng() % 4 == 0 ? 3 : 1;
    if (pick < n)
        q.at[pick] = std::clamp(q.at[pick] + 0.1 * big * u(rng), 0.05, 0.95);
    else if (pick < 2 * n)
        q.speed[pick - n] = std::clamp(q.speed[pick - n] + 0.7 * big * u(rng), 3.0, 16.0);
    else if (pick == 2 * n)
        q.steer = std::clamp(q.steer + 0.2 * big * u(rng), 0.2, 4.0);
    else if (pick == 2 * n + 1)
        q.near = std::clamp(q.near + 1.0 * big * u(rng), 0.0, 15.0);
    else
        q.slow = std::clamp(q.slow + 0.1 * big * u(rng), 0.0, 0.9);
    return q;
}

/* The keys as script lines, a stretch per run of equal masks. */
static std::string script_text(const std::vector<unsigned> &keys)
{
    std::string out;
    for (size_t i = 0; i < keys.size();) {
        size_t j = i;
        while (j < keys.size() && keys[j] == keys[i])
            j++;
        stretch s = {j - i, keys[i], keys[i]};
        char line[STRETCH_TEXT_MAX];
        out.append(line, put_stretch(line, &s));
        i = j;
    }
    return out;
}

static int usage(void)
{
    fprintf(stderr, "usage: course_driver COURSE.toml SCRIPT.txt [--tries N] [--seed N] [--car FILE] "
            "[--line FILE.csv] [--standing-start]\n");
    return 2;
}

int main(int argc, char **argv)
{
    const char *course_path = nullptr, *out_path = nullptr, *car_path = nullptr, *line_path = nullptr;
    long tries = 4000;
    unsigned seed = 1;
    bool standing = false;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--tries") && i + 1 < argc)
            tries = atol(argv[++i]);
        else if (!strcmp(argv[i], "--seed") && i + 1 < argc)
            seed = (unsigned)atol(argv[++i]);
        else if (!strcmp(argv[i], "--car") && i + 1 < argc)
            car_path = argv[++i];
        else if (!strcmp(argv[i], "--line") && i + 1 < argc)
            line_path = argv[++i];
        else if (!strcmp(argv[i], "--standing-start"))
            standing = true;
        else if (argv[i][0] == '-' || (course_path && out_path))
            return usage();
        else
            (course_path ? out_path : course_path) = argv[i];
    }
    if (!out_path || tries < 1)
        return usage();

    course c;
    car params = KVT;
    char err[512];
    if (read_course_file(course_path, &c, err, sizeof err) != 0
        || (car_path && read_car_file(car_path, &params, err, sizeof err) != 0)) {
        fprintf(stderr, "course_driver: %s\n", err);
        return 2;
    }
    int laps = c.laps ? c.laps : 1;

    std::mt19937 rng(seed);
    size_t n = c.gates.size();
    plan best = {std::vector<double>(n, 0.5), std::vector<double>(n, 8.0), 1.0, 4.0, 0.3};
    outcome got = drive(c, params, best, laps, standing);
    for (long t = 0; t < tries; t++) {
        plan q = changed(best, rng);
        outcome o = drive(c, params, q, laps, standing);
        if (o.cost() <= got.cost()) {
            best = q;
            got = std::move(o);
        }
    }
    if (!got.clean) {
        fprintf(stderr, "course_driver: %s: no clean drive found (best: %ld gates in %llu ticks)\n",
                course_path, got.gates, (unsigned long long)got.ticks);
        return 1;
    }

    FILE *f = fopen(out_path, "w");
    if (!f) {
        perror(out_path);
        return 1;
    }
    if (standing) {
        car_state v;   /* the header names the car by its parameters in force */
        car_start(&v, &params);
        car_in(&v);
        std::string header;
        record_header(&header, out_path, car_path, time(nullptr), course_path, course_hash(&c), true);
        fputs(header.c_str(), f);
    }
    fprintf(f, "# %s (%s) driven clean from %s: %d lap%s of", c.name.c_str(), course_path,
            standing ? "a standing start" : "where start-up puts the car", laps, laps == 1 ? "" : "s");
    for (size_t l = 0; l < got.laps.size(); l++)
        fprintf(f, "%s %llu", l == 0 ? "" : l + 1 == got.laps.size() ? " and" : ",",
                (unsigned long long)got.laps[l]);
    fprintf(f, " ticks.\n# Made by: course_driver %s %s --tries %ld --seed %u%s%s%s\n", course_path, out_path,
            tries, seed, car_path ? " --car " : "", car_path ? car_path : "", standing ? " --standing-start" : "");
    fputs(script_text(got.keys).c_str(), f);
    if (fclose(f) != 0) {
        perror(out_path);
        return 1;
    }
    if (line_path) {
        if (!(f = fopen(line_path, "w"))) {
            perror(line_path);
            return 1;
        }
        fprintf(f, "x_m,y_m\n");
        for (const course_pose &q : got.line)
            fprintf(f, "%.3f,%.3f\n", q.x / 10.0, q.y / 10.0);
        if (fclose(f) != 0) {
            perror(line_path);
            return 1;
        }
    }
    printf("%s: %d laps:", c.name.c_str(), laps);
    for (uint64_t l : got.laps)
        printf(" %llu", (unsigned long long)l);
    printf(" ticks\n");
    return 0;
}
