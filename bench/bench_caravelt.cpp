/*
 * bench/bench_caravelt.cpp -- what one tick, one frame and one hour of
 * headless driving cost.
 *
 * All but the sliding tick and the course's drive the one scenario the
 * determinism test drives, bench/drive.txt.
 * Targets on the development machine: a tick of the scenario 60 ns or
 * less, a tick while sliding (BM_TickSliding) 70 ns or less; a frame
 * 0.5 ms or less, chart shown or not (reported beside a plain copy of
 * its 1024x768x2 bytes, as a ratio); an hour (360,000 ticks, full trace
 * to /dev/null) in 0.2 s or less as a command; a car file read well under a
 * millisecond; the handling sheet of one car under 20 ms; the tick with the
 * autocross course counted 1.3 times the tick without or less; the frame
 * with a course and a ghost 1.2 times the frame without or less; a sweep
 * of 1,000 setups in 2 s or less on two cores, two threads 1.8 times one.
 */
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "course/race.h"
#include "drive/script.h"
#include "headless/frame_out.h"
#include "present/chart.h"
#include "present/present.h"
#include "run/run.h"
#include "sim/carfile.h"
#include "sim/sim.h"
#include "sheet/sheet.h"
#include "sheet/sweep.h"
#include "headless/sim_tool.h"

/* A script as one key mask per tick, read with the tool's own parser. */
static std::vector<unsigned> script_masks(const char *path)
{
    std::vector<unsigned> masks;
    FILE *f = fopen(path, "r");
    char err[256];
    if (!f || scan_script(f, path, [](const stretch *s, void *v) {
            for (uint64_t i = 0; i < s->ticks; i++)
                ((std::vector<unsigned> *)v)->push_back(s->keys);
            return 0;
        }, &masks, err, sizeof err) != 0) {
        fprintf(stderr, "cannot read %s\n", path);
        exit(1);
    }
    fclose(f);
    return masks;
}

/* The scenario, bench/drive.txt. */
static const std::vector<unsigned> &scenario(void)
{
    static const std::vector<unsigned> masks = script_masks(CARAVELT_SOURCE_DIR "/bench/drive.txt");
    return masks;
}

/* Drives the scenario from the start state to its end. */
static void drive_scenario(void)
{
    sim_start();
    for (unsigned m : scenario()) {
        hold_keys(m);
        logic();
    }
}

/* ----------------------------------------------------------------------
 * One tick of the scenario, round and round: gears, slides, brakes,
 * reverse, a reset, the keys as they come.
 * ---------------------------------------------------------------------- */
static void BM_TickDriving(benchmark::State &state)
{
    const std::vector<unsigned> &keys = scenario();
    sim_start();
    size_t i = 0;
    long sliding = 0;
    for (auto _ : state) {
        hold_keys(keys[i]);
        logic();
        sliding += TractionSlip;
        if (++i == keys.size()) {
            i = 0;
            sim_start();
        }
    }
    benchmark::DoNotOptimize(x);
    state.counters["sliding"] = (double)sliding / (double)state.iterations();
}
BENCHMARK(BM_TickDriving);

/* ----------------------------------------------------------------------
 * The scenario's tick as every front end runs it (run_tick: the keys
 * noted, the state checked for a value that is not finite), against the
 * bare tick above: what the one way to drive costs on top.
 * ---------------------------------------------------------------------- */
static void BM_RunTickDriving(benchmark::State &state)
{
    const std::vector<unsigned> &keys = scenario();
    sim_start();
    run_car r;
    size_t i = 0;
    for (auto _ : state) {
        run_tick(&r, keys[i]);
        if (++i == keys.size()) {
            i = 0;
            sim_start();
            run_begin(&r);
        }
    }
    benchmark::DoNotOptimize(x);
}
BENCHMARK(BM_RunTickDriving);

/* ----------------------------------------------------------------------
 * The tick while sliding: full throttle and right lock in first gear,
 * with a reset every 400 ticks so the car keeps accelerating hard and
 * sliding, 99% of ticks (without it, it settles at the rev limit and
 * grips).
 * ---------------------------------------------------------------------- */
static void BM_TickSliding(benchmark::State &state)
{
    const unsigned drive = 1u << SIM_UP | 1u << SIM_RIGHT;
    const unsigned reset = 1u << SIM_UP | 1u << SIM_RIGHT | 1u << SIM_R;
    sim_start();
    hold_keys(1u << SIM_A);
    logic();
    int phase = 0;
    long sliding = 0;
    for (auto _ : state) {
        if (phase == 0)
            hold_keys(reset);
        else if (phase == 2)
            hold_keys(drive);
        logic();
        sliding += TractionSlip;
        phase = phase == 399 ? 0 : phase + 1;
    }
    benchmark::DoNotOptimize(x);
    state.counters["sliding"] = (double)sliding / (double)state.iterations();
}
BENCHMARK(BM_TickSliding);

/* ----------------------------------------------------------------------
 * A car brought in and put back: what running many cars costs on top of
 * their ticks.  Two different cars taking turns, so nothing stays put.
 * Target: 20 ns or less for the pair.
 * ---------------------------------------------------------------------- */
static void BM_CarInOut(benchmark::State &state)
{
    car_state cars[2];
    car light = KVT;
    light.Mass = 920;
    car_start(&cars[0], nullptr);
    car_start(&cars[1], &light);
    unsigned i = 0;
    for (auto _ : state) {
        car_state *c = &cars[i++ & 1];
        car_in(c);
        benchmark::ClobberMemory();
        car_out(c);
        benchmark::ClobberMemory();
    }
    benchmark::DoNotOptimize(cars);
}
BENCHMARK(BM_CarInOut);

/* ----------------------------------------------------------------------
 * The tick on the autocross course, its clean drive (docs/courses/
 * autocross.txt) round and round from the course's start, with the course
 * counted after each tick or not.  Target: counted, 1.3 times the plain
 * tick or less (the counted one reports the ratio, over_plain: whole
 * passes of the drive timed by turns, best of five each).
 * ---------------------------------------------------------------------- */
static const course &autocross(void)
{
    static course c;
    static bool read;
    char err[512];
    if (!read && read_course_file(CARAVELT_SOURCE_DIR "/data/courses/autocross.toml", &c, err, sizeof err) != 0) {
        fprintf(stderr, "%s\n", err);
        exit(1);
    }
    read = true;
    return c;
}

static const std::vector<unsigned> &autocross_keys(void)
{
    static const std::vector<unsigned> keys = script_masks(CARAVELT_SOURCE_DIR "/docs/courses/autocross.txt");
    return keys;
}

/* n ticks of the autocross drive from where its last call left off; laps completed. */
static long autocross_ticks(size_t n, bool counted, course_progress *p, size_t *at)
{
    const std::vector<unsigned> &keys = autocross_keys();
    const course &c = autocross();
    long laps = 0;
    for (size_t k = 0; k < n; k++) {
        if (*at == 0) {
            sim_start();
            course_start(&c);
            course_progress_start(p, &c);
        }
        hold_keys(keys[*at]);
        float x0 = x, y0 = y;
        logic();
        if (counted)
            laps += (course_after_tick(&c, p, x0, y0) & COURSE_LAP_DONE) != 0;
        *at = *at + 1 == keys.size() ? 0 : *at + 1;
    }
    return laps;
}

static void BM_TickAutocross(benchmark::State &state)
{
    course_progress p;
    size_t at = 0;
    for (auto _ : state)
        autocross_ticks(1, false, &p, &at);
    benchmark::DoNotOptimize(x);
}
BENCHMARK(BM_TickAutocross);

static void BM_TickAutocrossCounted(benchmark::State &state)
{
    course_progress p;
    size_t at = 0;
    const size_t pass = autocross_keys().size();
    double best[2] = {1e9, 1e9};
    for (int run = 0; run < 10; run++) {   /* plain and counted by turns */
        auto t0 = std::chrono::steady_clock::now();
        autocross_ticks(pass, run & 1, &p, &at);
        std::chrono::duration<double, std::nano> d = std::chrono::steady_clock::now() - t0;
        best[run & 1] = std::min(best[run & 1], d.count() / (double)pass);
    }
    long laps = 0;
    for (auto _ : state)
        laps += autocross_ticks(1, true, &p, &at);
    benchmark::DoNotOptimize(laps);
    state.counters["plain_ns"] = best[0];
    state.counters["counted_ns"] = best[1];
    state.counters["over_plain"] = best[1] / best[0];
}
BENCHMARK(BM_TickAutocrossCounted);

/* Loads the game's pictures once, headless. */
static bool pictures_loaded(benchmark::State &state)
{
    static int loaded;   /* 0 not yet, 1 done, -1 failed */
    if (loaded == 0) {
        char err[512];
        loaded = frame_begin(CARAVELT_SOURCE_DIR "/data", err, sizeof err) == 0 ? 1 : -1;
        if (loaded < 0)
            fprintf(stderr, "%s\n", err);
    }
    if (loaded < 0)
        state.SkipWithError("cannot load the pictures");
    return loaded > 0;
}

static const size_t FRAME_BYTES = 1024 * 768 * 2;

/* Microseconds per plain copy of one frame's bytes, best of a few runs. */
static double plain_copy_us(void)
{
    std::vector<char> a(FRAME_BYTES, 1), b(FRAME_BYTES);
    double best = 1e9;
    for (int run = 0; run < 5; run++) {
        auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < 50; i++) {
            memcpy(b.data(), a.data(), FRAME_BYTES);
            benchmark::ClobberMemory();
        }
        std::chrono::duration<double, std::micro> d = std::chrono::steady_clock::now() - t0;
        best = std::min(best, d.count() / 50);
    }
    return best;
}

/* ----------------------------------------------------------------------
 * One frame composed into the buffer: tarmac, car, dashboard, telemetry;
 * no screen, no rest.  The car where the scenario leaves it: mid-slide,
 * turned, off the centre.
 * ---------------------------------------------------------------------- */
static void BM_ComposeFrame(benchmark::State &state)
{
    if (!pictures_loaded(state))
        return;
    drive_scenario();

    double copy = plain_copy_us();
    auto t0 = std::chrono::steady_clock::now();
    for (auto _ : state) {
        draw_frame(buffer);
        benchmark::ClobberMemory();
    }
    std::chrono::duration<double, std::micro> d = std::chrono::steady_clock::now() - t0;
    double frame = d.count() / (double)state.iterations();
    state.counters["copy_us"] = copy;
    state.counters["frame_over_copy"] = frame / copy;
}
BENCHMARK(BM_ComposeFrame)->Unit(benchmark::kMicrosecond);

/* ----------------------------------------------------------------------
 * The same frame with the chart shown over ten seconds of that drive:
 * a full ring, the slide marks, every line moving.
 * ---------------------------------------------------------------------- */
static void BM_ComposeFrameChart(benchmark::State &state)
{
    if (!pictures_loaded(state))
        return;
    sim_start();
    chart_clear();
    hold_keys(1u << SIM_A);
    logic();
    for (int i = 0; i < 1500; i++) {
        hold_keys(i < 500 ? 1u << SIM_UP : 1u << SIM_UP | 1u << SIM_RIGHT);
        logic();
        chart_record();
    }
    chart_shown = true;
    for (auto _ : state) {
        draw_frame(buffer);
        benchmark::ClobberMemory();
    }
    chart_shown = false;
}
BENCHMARK(BM_ComposeFrameChart)->Unit(benchmark::kMicrosecond);

/* ----------------------------------------------------------------------
 * The frame on the autocross course, 300 ticks into its second lap: every
 * cone and gate, the timing box and the ghost of the first lap, against
 * the same frame without the course.  Target: 1.2 times it or less (the
 * counter over_plain: batches of frames timed by turns, best of five).
 * ---------------------------------------------------------------------- */
static void BM_ComposeFrameCourse(benchmark::State &state)
{
    if (!pictures_loaded(state))
        return;
    const course &c = autocross();
    course_race race;
    race_start(&race, &c);
    sim_start();
    course_start(&c);
    for (unsigned keys : autocross_keys()) {
        hold_keys(keys);
        float x0 = x, y0 = y;
        logic();
        race_after_tick(&race, x0, y0);
        if (race.p.now.lap == 2 && race.p.tick - race.p.now.start_tick == 300)
            break;
    }
    if (!race_ghost(&race)) {
        state.SkipWithError("no ghost on the autocross's second lap");
        return;
    }
    /* A tick between frames, as in the game: the running time and the
     * ghost move on (taking turns between two ticks here). */
    const uint64_t tick = race.p.tick;
    double best[2] = {1e9, 1e9};
    for (int run = 0; run < 10; run++) {   /* without and with the course by turns */
        view_race = run & 1 ? &race : nullptr;
        auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < 200; i++) {
            race.p.tick = tick + (i & 1);
            draw_frame(buffer);
            benchmark::ClobberMemory();
        }
        std::chrono::duration<double, std::micro> d = std::chrono::steady_clock::now() - t0;
        best[run & 1] = std::min(best[run & 1], d.count() / 200);
    }
    view_race = &race;
    int i = 0;
    for (auto _ : state) {
        race.p.tick = tick + (i++ & 1);
        draw_frame(buffer);
        benchmark::ClobberMemory();
    }
    view_race = nullptr;
    state.counters["plain_us"] = best[0];
    state.counters["course_us"] = best[1];
    state.counters["over_plain"] = best[1] / best[0];
}
BENCHMARK(BM_ComposeFrameCourse)->Unit(benchmark::kMicrosecond);

/* The plain copy on its own, for the table. */
static void BM_PlainCopyFrameBytes(benchmark::State &state)
{
    std::vector<char> a(FRAME_BYTES, 1), b(FRAME_BYTES);
    for (auto _ : state) {
        memcpy(b.data(), a.data(), FRAME_BYTES);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)FRAME_BYTES);
}
BENCHMARK(BM_PlainCopyFrameBytes)->Unit(benchmark::kMicrosecond);

/* ----------------------------------------------------------------------
 * An hour of driving through caravelt-sim's whole program: 117 passes of
 * bench/drive.txt from a file (360,711 ticks), every trace row written to
 * /dev/null.
 * ---------------------------------------------------------------------- */
static void BM_HourHeadless(benchmark::State &state)
{
    std::ifstream pass(CARAVELT_SOURCE_DIR "/bench/drive.txt");
    std::stringstream text;
    text << pass.rdbuf();
    std::string hour;
    for (int i = 0; i < 117; i++)
        hour += text.str();
    char path[] = "/tmp/caravelt-hour-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0 || write(fd, hour.data(), hour.size()) != (ssize_t)hour.size()) {
        state.SkipWithError("cannot write the hour's script");
        return;
    }
    close(fd);

    char a0[] = "caravelt-sim", a1[] = "--trace", a2[] = "/dev/null";
    char *argv[] = {a0, a1, a2, path, nullptr};
    for (auto _ : state)
        if (sim_tool_main(4, argv) != 0)
            state.SkipWithError("caravelt-sim failed");
    unlink(path);
    state.counters["ticks"] = 117.0 * (double)scenario().size();
}
BENCHMARK(BM_HourHeadless)->Unit(benchmark::kMillisecond)->MinTime(2.0);

/* ----------------------------------------------------------------------
 * Reading the shipped preset's car file, every field named: well under a
 * millisecond, so F5 between two ticks is never felt.
 * ---------------------------------------------------------------------- */
static void BM_ReadCarFile(benchmark::State &state)
{
    car c;
    char err[512];
    for (auto _ : state)
        if (read_car_file(CARAVELT_SOURCE_DIR "/data/cars/kvt.toml", &c, err, sizeof err) != 0)
            state.SkipWithError(err);
    benchmark::DoNotOptimize(c);
}
BENCHMARK(BM_ReadCarFile)->Unit(benchmark::kMicrosecond);

/* ----------------------------------------------------------------------
 * The whole handling sheet of the preset: the ten-minute acceleration
 * run, the braking and the steering runs.  Target: under 20 ms.
 * ---------------------------------------------------------------------- */
static void BM_SheetOneCar(benchmark::State &state)
{
    sheet_figures f;
    sheet_how how;
    for (auto _ : state)
        sheet_measure(&KVT, &how, &f);
    benchmark::DoNotOptimize(f);
    state.counters["driven"] = (double)f.driven;
}
BENCHMARK(BM_SheetOneCar)->Unit(benchmark::kMillisecond);

/* ----------------------------------------------------------------------
 * A sweep of 1,000 setups, Mass 800 to 1700 kg by 100, G 0.6 to 1.5 by
 * 0.1 and PeakTorque 250 to 475 N m by 25, its CSV to /dev/null, on one
 * thread and then on two.  Wall time.  Targets: 2 s or less on the two
 * cores, and two threads at least 1.8 times as fast as one
 * (vs_one_thread).
 * ---------------------------------------------------------------------- */
static void BM_Sweep1000(benchmark::State &state)
{
    static double one_thread_s;
    sweep_grid g;
    g.base = KVT;
    char err[512];
    for (const char *axis : {"Mass=800:1700:100", "G=0.6:1.5:0.1", "PeakTorque=250:475:25"})
        if (sweep_add_axis(&g, axis, err, sizeof err) != 0) {
            state.SkipWithError(err);
            return;
        }
    sweep_how how;
    how.threads = (int)state.range(0);
    FILE *null = fopen("/dev/null", "w");
    auto t0 = std::chrono::steady_clock::now();
    for (auto _ : state)
        if (sweep_print(&g, &how, null) != 0)
            state.SkipWithError("cannot write to /dev/null");
    std::chrono::duration<double> d = std::chrono::steady_clock::now() - t0;
    fclose(null);
    double each = d.count() / (double)state.iterations();
    if (how.threads == 1)
        one_thread_s = each;
    state.counters["vs_one_thread"] = one_thread_s > 0 ? one_thread_s / each : 0;
    state.counters["setups_per_s"] = (double)g.setups / each;
}
BENCHMARK(BM_Sweep1000)->Arg(1)->Arg(2)->Unit(benchmark::kSecond)->UseRealTime();

BENCHMARK_MAIN();
