/*
 * The handling sheet: its figures against their definitions worked out
 * here from caravelt-sim traces of the same keys; cars that never get
 * there; columns in order; the same sheet every run; refusals.
 */
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>
#include <vector>

#include "tool_support.h"

static const std::string CARS = CARAVELT_DATA_DIR "/cars/";

struct tick_row { double axis, travel, tv, rev; int gear, latch; };

/* The trace of script (with car_arg, e.g. "--car X"), row i = tick i + 1. */
static std::vector<tick_row> trace_of(const temp_dir &d, const std::string &car_arg,
                                      const std::string &script)
{
    write_file(d / "s.txt", script);
    tool_run r = run_tool(d, car_arg + " --trace t.csv s.txt");
    EXPECT_EQ(r.status, 0) << r.err;
    std::istringstream in(read_file(d / "t.csv"));
    std::string line;
    std::getline(in, line);
    std::vector<tick_row> rows;
    while (std::getline(in, line)) {
        float f[13];
        int i[4];
        sscanf(line.c_str(), "%d,%f,%f,%f,%f,%f,%f,%f,%f,%f,%f,%f,%f,%f,%d,%d,%d", i, f, f + 1,
               f + 2, f + 3, f + 4, f + 5, f + 6, f + 7, f + 8, f + 9, f + 10, f + 11, f + 12,
               i + 1, i + 2, i + 3);
        rows.push_back({f[2], f[3], f[5], f[7], i[1], i[2]});
    }
    return rows;
}

/* The acceleration run's keys as a script of `ticks` ticks, A on the
 * given ticks. */
static std::string accel_script(const std::vector<long> &shift_ticks, long ticks)
{
    std::string s;
    long at = 1;
    for (long t : shift_ticks) {
        if (t > ticks)
            break;
        if (t > at)
            s += std::to_string(t - at) + " Up\n";
        s += "1 Up A\n";
        at = t + 1;
    }
    if (ticks >= at)
        s += std::to_string(ticks - at + 1) + " Up\n";
    return s;
}

/* Column `col` (1 = first car) of a printed sheet, by label. */
static std::map<std::string, std::string> column(const std::string &sheet, int col)
{
    std::map<std::string, std::string> m;
    std::istringstream in(sheet);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> cells;
        std::istringstream c(line);
        for (std::string cell; std::getline(c, cell, '|');)
            cells.push_back(cell.size() >= 2 ? cell.substr(1, cell.size() - 2) : cell);
        if (cells.size() > (size_t)col + 1)
            m[cells[1]] = cells[col + 1];
    }
    return m;
}

static std::string sheet_of(const temp_dir &d, const std::string &args)
{
    tool_run r = run_tool(d, "--sheet " + args + " > sheet.md");
    EXPECT_EQ(r.status, 0) << r.err;
    return read_file(d / "sheet.md");
}

static std::string fmt(const char *f, double v)
{
    char b[64];
    snprintf(b, sizeof b, f, v);
    return b;
}

/* Each figure from the traces of the three manoeuvres, by definition. */
TEST(Sheet, FiguresMatchTheirDefinitionsOverTraces)
{
    for (const char *name : {"", "light"}) {
        temp_dir d;
        std::string car_arg = *name ? "--car '" + CARS + name + ".toml'" : "";
        const int gear_max = 5;   /* neither car changes it */

        /* Acceleration: find each shift from the trace of the keys so far. */
        std::vector<long> shifts = {1};
        std::vector<tick_row> acc;
        for (;;) {
            acc = trace_of(d, car_arg, accel_script(shifts, 60000));
            ASSERT_EQ(acc.size(), 60000u);
            long next = 0;
            for (long t = shifts.back(); t < 60000 && !next; t++) {
                const tick_row &r = acc[t - 1];
                if (r.gear >= 1 && r.gear < gear_max && r.latch == 0 && r.rev >= 6000)
                    next = t + 1;
            }
            if (!next)
                break;
            shifts.push_back(next);
        }
        long t50 = 0, t100 = 0, t400 = 0, top_at = 0;
        double covered = 0, top = -1e30;
        for (long t = 1; t <= 60000; t++) {
            double v = acc[t - 1].tv * 3.6;
            covered += std::fabs(acc[t - 1].tv) / 100;
            if (!t50 && v >= 50) t50 = t;
            if (!t100 && v >= 100) t100 = t;
            if (!t400 && covered >= 400) t400 = t;
            if (v > top) top = v, top_at = t;
        }
        ASSERT_TRUE(t50 && t100 && t400);

        /* Braking from the tick that reached 100. */
        std::vector<tick_row> br = trace_of(d, car_arg, accel_script(shifts, t100) + "60000 Down\n");
        long stop = 0;
        double braked = 0;
        for (long t = t100 + 1; t <= (long)br.size() && !stop; t++) {
            braked += std::fabs(br[t - 1].tv) / 100;
            if (br[t - 1].tv <= 0)
                stop = t;
        }
        ASSERT_TRUE(stop);

        /* One second of full lock from the tick that reached 50. */
        std::vector<tick_row> st = trace_of(d, car_arg, accel_script(shifts, t50) + "100 Up Right\n");
        double yaw = 0, slip = 0;
        for (long t = t50 + 1; t <= t50 + 100; t++) {
            double turn = st[t - 1].axis - st[t - 2].axis;
            while (turn > 180) turn -= 360;
            while (turn < -180) turn += 360;
            yaw += turn;
            double s = std::fmod(std::fabs(st[t - 1].axis - st[t - 1].travel), 360);
            slip = std::max(slip, s > 180 ? 360 - s : s);
        }

        auto got = column(sheet_of(d, car_arg), 1);
        std::map<std::string, std::string> want = {
            {"0-50 km/h (s)", fmt("%.2f", t50 / 100.0)},
            {"0-100 km/h (s)", fmt("%.2f", t100 / 100.0)},
            {"400 m (s)", fmt("%.2f", t400 / 100.0)},
            {"speed at 400 m (km/h)", fmt("%.1f", acc[t400 - 1].tv * 3.6)},
            {"top speed (km/h)", fmt("%.1f", top)},
            {"top speed gear", std::to_string(acc[top_at - 1].gear)},
            {"100-0 km/h (m)", fmt("%.1f", braked)},
            {"100-0 km/h (s)", fmt("%.2f", (stop - t100) / 100.0)},
            {"yaw after 1 s at full lock from 50 km/h (deg)", fmt("%.1f", yaw)},
            {"peak slip at full lock from 50 km/h (deg)", fmt("%.1f", slip)},
        };
        EXPECT_EQ(got.size(), want.size() + 2) << "figure rows, the header and its rule";
        for (const auto &[label, value] : want)
            EXPECT_EQ(got[label], value) << (*name ? name : "preset") << ": " << label;
    }
}

/* Cars that never get there show "-" (or 0 for no slide), promptly. */
TEST(Sheet, FiguresNeverReachedAreDashes)
{
    struct { const char *car, *label, *want; } cases[] = {
        /* First gear only: runs out of torque near 80 km/h. */
        {"GearMax = 1", "0-100 km/h (s)", "-"},
        {"GearMax = 1", "100-0 km/h (m)", "-"},
        {"GearMax = 1", "100-0 km/h (s)", "-"},
        {"GearMax = 1", "top speed gear", "1"},
        /* A brake that pushes: never stops. */
        {"BrakeForce = -2400", "100-0 km/h (m)", "-"},
        {"BrakeForce = -2400", "100-0 km/h (s)", "-"},
        /* No steering lock: no turn, no slide. */
        {"LockMax = 0", "yaw after 1 s at full lock from 50 km/h (deg)", "0.0"},
        {"LockMax = 0", "peak slip at full lock from 50 km/h (deg)", "0.0"},
        /* No grip: the wheels spin, the car stays where it is. */
        {"G = 0", "0-50 km/h (s)", "-"},
        {"G = 0", "400 m (s)", "-"},
        {"G = 0", "speed at 400 m (km/h)", "-"},
        {"G = 0", "top speed (km/h)", "0.0"},
        {"G = 0", "yaw after 1 s at full lock from 50 km/h (deg)", "-"},
        {"G = 0", "peak slip at full lock from 50 km/h (deg)", "-"},
    };
    temp_dir d;
    for (const auto &k : cases) {
        write_file(d / "odd.toml", k.car);
        EXPECT_EQ(column(sheet_of(d, "--car odd.toml"), 1)[k.label], k.want) << k.car << ": " << k.label;
    }
}

TEST(Sheet, CarsSideBySideInOrderAndTheSameEveryRun)
{
    temp_dir d;
    std::string preset = sheet_of(d, "");
    EXPECT_EQ(sheet_of(d, ""), preset);
    EXPECT_EQ(preset.substr(0, preset.find('\n')), "| figure | preset |");

    std::string light = sheet_of(d, "--car '" + CARS + "light.toml'");
    std::string both = sheet_of(d, "--car '" + CARS + "light.toml' --car '" + CARS + "kvt.toml'");
    EXPECT_EQ(both.substr(0, both.find('\n')), "| figure | light | kvt |");
    EXPECT_EQ(column(both, 1), column(light, 1));
    EXPECT_EQ(column(both, 2)["0-100 km/h (s)"], column(preset, 1)["0-100 km/h (s)"]);
    auto kvt = column(both, 2), pre = column(preset, 1);
    kvt.erase("figure"), pre.erase("figure");
    EXPECT_EQ(kvt, pre) << "the shipped kvt.toml is the preset";
    EXPECT_NE(column(both, 1), column(both, 2));
}

/* Status 2, one line, nothing on standard output. */
TEST(Sheet, RefusalsWriteNothing)
{
    struct { const char *args, *message; } cases[] = {
        {"--sheet --trace t.csv", "--sheet runs its own manoeuvres: it takes no --trace"},
        {"--sheet --frame f.bmp", "--sheet runs its own manoeuvres: it takes no --frame"},
        {"--sheet s.txt", "--sheet runs its own manoeuvres: it takes no script"},
        {"--car a.toml --car a.toml s.txt", "--car given 2 times: a run drives one car (several only with --sheet)"},
        {"--shift 5000 s.txt", "--shift is for the handling sheet: only with --sheet"},
        {"--sheet --shift fast", "--shift \"fast\": an engine speed in rev/min above 0 is wanted"},
        {"--sheet --car a.toml --car bad.toml", "bad.toml:1: unknown field \"Mas\" (did you mean \"Mass\"?)"},
    };
    temp_dir d;
    write_file(d / "a.toml", "Mass = 900\n");
    write_file(d / "bad.toml", "Mas = 900\n");
    write_file(d / "s.txt", "10 Up\n");
    for (const auto &k : cases) {
        tool_run r = run_tool(d, std::string(k.args) + " > out.txt");
        EXPECT_EQ(r.status, 2) << k.args;
        EXPECT_EQ(r.err, std::string("caravelt-sim: ") + k.message + "\n") << k.args;
        EXPECT_EQ(read_file(d / "out.txt"), "") << k.args;
    }
}
