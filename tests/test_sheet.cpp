/* The handling sheet against its definitions over caravelt-sim traces; edge cars; refusals. */
#include <map>
#include "support.h"

static const std::string CARS = CARAVELT_DATA_DIR "/cars/";
enum { AXIS = 3, TRAVEL = 4, TRUE_V = 6, REV = 8, GEAR = 14, LATCH = 15 };   /* trace columns */

/* The trace of script (with car_arg, e.g. "--car X"): row i, tick i + 1. */
static std::vector<std::vector<double>> trace_of(const temp_dir &d, const std::string &car_arg, const std::string &script)
{
    write_file(d / "s.txt", script);
    EXPECT_EQ(run_tool(d, car_arg + " --trace t.csv s.txt").status, 0);
    std::istringstream in(read_file(d / "t.csv"));
    std::vector<std::vector<double>> rows;
    std::string line, cell;
    for (std::getline(in, line); std::getline(in, line);) {
        rows.emplace_back();
        for (std::istringstream c(line); std::getline(c, cell, ',');)
            rows.back().push_back(std::stof(cell));   /* the float the state held */
    }
    return rows;
}

/* The acceleration run's keys for `ticks` ticks: Up, and A on each shift tick. */
static std::string accel_script(const std::vector<long> &shifts, long ticks)
{
    std::string s;
    long at = 1;
    for (long t : shifts)
        if (t <= ticks)
            s += (t > at ? std::to_string(t - at) + " Up\n" : "") + "1 Up A\n", at = t + 1;
    return ticks >= at ? s + std::to_string(ticks - at + 1) + " Up\n" : s;
}

/* caravelt-sim --sheet ARGS: column `col` (1 = the first car) by label; "figure": the name. */
static std::map<std::string, std::string> sheet(const temp_dir &d, const std::string &args, int col = 1)
{
    tool_run r = run_tool(d, "--sheet " + args + " >sheet.md");
    EXPECT_EQ(r.status, 0) << r.err;
    std::map<std::string, std::string> m;
    std::istringstream in(read_file(d / "sheet.md"));
    for (std::string line, cell; std::getline(in, line);) {
        std::vector<std::string> cells;
        for (std::istringstream c(line); std::getline(c, cell, '|');)
            cells.push_back(cell.size() >= 2 ? cell.substr(1, cell.size() - 2) : cell);
        if (cells.size() > (size_t)col + 1)
            m[cells[1]] = cells[col + 1];
    }
    return m;
}

/* Catches any figure off its definition, for the preset and a car file. */
TEST(Sheet, FiguresMatchTheirDefinitionsOverTraces)
{
    for (const char *name : {"", "light"}) {
        temp_dir d;
        std::string car_arg = *name ? "--car '" + CARS + name + ".toml'" : "";
        /* Shifts on the tick after one below top gear (5), latch free, at 6000 rev/min. */
        std::vector<long> shifts = {1};
        std::vector<std::vector<double>> acc;
        for (long next = 1; next;) {
            acc = trace_of(d, car_arg, accel_script(shifts, 60000));
            ASSERT_EQ(acc.size(), 60000u);
            next = 0;
            for (long t = shifts.back(); t < 60000 && !next; t++)
                if (acc[t - 1][GEAR] >= 1 && acc[t - 1][GEAR] < 5 && acc[t - 1][LATCH] == 0 && acc[t - 1][REV] >= 6000)
                    shifts.push_back(next = t + 1);
        }
        long t50 = 0, t100 = 0, t400 = 0, top_at = 0;
        double covered = 0, top = -1e30;
        for (long t = 1; t <= 60000; t++) {
            double v = acc[t - 1][TRUE_V] * 3.6;
            covered += std::fabs(acc[t - 1][TRUE_V]) / 100;
            t50 = t50 ? t50 : v >= 50 ? t : 0;
            t100 = t100 ? t100 : v >= 100 ? t : 0;
            t400 = t400 ? t400 : covered >= 400 ? t : 0;
            if (v > top) top = v, top_at = t;
        }
        ASSERT_TRUE(t50 && t100 && t400);
        /* Braking from the tick that reached 100, to the first at 0 or below. */
        auto br = trace_of(d, car_arg, accel_script(shifts, t100) + "60000 Down\n");
        long stop = t100 + 1;
        double braked = std::fabs(br[stop - 1][TRUE_V]) / 100;
        for (; stop < (long)br.size() && br[stop - 1][TRUE_V] > 0; stop++)
            braked += std::fabs(br[stop][TRUE_V]) / 100;
        /* One second of full lock from the tick that reached 50. */
        auto st = trace_of(d, car_arg, accel_script(shifts, t50) + "100 Up Right\n");
        double yaw = 0, slip = 0;
        for (long t = t50 + 1; t <= t50 + 100; t++) {
            yaw += std::remainder(st[t - 1][AXIS] - st[t - 2][AXIS], 360);
            slip = std::max(slip, std::fabs(std::remainder(st[t - 1][AXIS] - st[t - 1][TRAVEL], 360)));
        }
        auto fmt = [](const char *f, double v) { char b[64]; snprintf(b, sizeof b, f, v); return std::string(b); };
        std::map<std::string, std::string> got = sheet(d, car_arg), want = {
            {"0-50 km/h (s)", fmt("%.2f", t50 / 100.0)},
            {"0-100 km/h (s)", fmt("%.2f", t100 / 100.0)},
            {"400 m (s)", fmt("%.2f", t400 / 100.0)},
            {"speed at 400 m (km/h)", fmt("%.1f", acc[t400 - 1][TRUE_V] * 3.6)},
            {"top speed (km/h)", fmt("%.1f", top)},
            {"top speed gear", fmt("%.0f", acc[top_at - 1][GEAR])},
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

/* Catches a figure never reached shown as a number (or no slide as "-"). */
TEST(Sheet, FiguresNeverReachedAreDashes)
{
    const std::string T100 = "0-100 km/h (s)", BM = "100-0 km/h (m)", BS = "100-0 km/h (s)",
                      YAW = "yaw after 1 s at full lock from 50 km/h (deg)", SLIP = "peak slip at full lock from 50 km/h (deg)";
    struct { const char *car; std::map<std::string, std::string> want; } cases[] = {
        {"GearMax = 1", {{T100, "-"}, {BM, "-"}, {BS, "-"}, {"top speed gear", "1"}}},   /* out of torque near 80 */
        {"BrakeForce = 0\nRollingResistance = 0\nDragCoeficient = 0", {{BM, "-"}, {BS, "-"}}},   /* nothing slows it */
        {"LockMax = 0", {{YAW, "0.0"}, {SLIP, "0.0"}}},   /* no turn, no slide */
        {"G = 0", {{"0-50 km/h (s)", "-"}, {"400 m (s)", "-"}, {"speed at 400 m (km/h)", "-"},   /* no grip */
                   {"top speed (km/h)", "0.0"}, {YAW, "-"}, {SLIP, "-"}}},
    };
    temp_dir d;
    for (const auto &k : cases) {
        write_file(d / "odd.toml", k.car);
        auto got = sheet(d, "--car odd.toml");
        for (const auto &[label, value] : k.want)
            EXPECT_EQ(got[label], value) << k.car << ": " << label;
    }
}

/* Catches columns out of order, a sheet that varies, a shipped kvt.toml not the preset. */
TEST(Sheet, CarsSideBySideInOrderAndTheSameEveryRun)
{
    temp_dir d;
    auto preset = sheet(d, "");
    EXPECT_EQ(sheet(d, ""), preset);
    EXPECT_EQ(preset["figure"], "preset");
    const std::string light = "--car '" + CARS + "light.toml'", both = light + " --car '" + CARS + "kvt.toml'";
    auto first = sheet(d, both), second = sheet(d, both, 2);
    EXPECT_EQ(first, sheet(d, light));
    EXPECT_EQ(second["figure"], "kvt");
    second.erase("figure"), preset.erase("figure");
    EXPECT_EQ(second, preset);
    EXPECT_NE(first, second);
}

/* Catches an option the sheet ignores, or one only it takes, accepted. */
TEST(Sheet, Refusals)
{
    struct { const char *args, *message; } cases[] = {
        {"--sheet --trace old.csv", "--sheet runs its own manoeuvres: it takes no --trace"},
        {"--sheet --frame new.bmp", "--sheet runs its own manoeuvres: it takes no --frame"},
        {"--sheet s.txt", "--sheet runs its own manoeuvres: it takes no script"},
        {"--car a.toml --car a.toml s.txt", "--car given 2 times: a run drives one car (several only with --sheet)"},
        {"--shift 5000 s.txt", "--shift is for the handling sheet: only with --sheet"},
        {"--sheet --shift fast", "--shift \"fast\": an engine speed in rev/min above 0 is wanted"},
        {"--sheet --car a.toml --car bad.toml", "bad.toml:1: unknown field \"Mas\" (did you mean \"Mass\"?)"},
    };
    temp_dir d;
    write_file(d / "a.toml", "Mass = 900\n"), write_file(d / "bad.toml", "Mas = 900\n"), write_file(d / "s.txt", "10 Up\n");
    for (const auto &k : cases)
        expect_refused(d, k.args, k.message);
}

/* Catches a car whose state left the float's range given numbers (inf, -nan, 38 digits), or
 * no word why: its column is all "-", the reason under the table; the other car unharmed. */
TEST(Sheet, CarThatLeavesTheFloatsRangeHasNoFiguresAndTheReason)
{
    temp_dir d;
    write_file(d / "wild.toml", "Mass = 10\nPeakTorque = 100000\nTransmissionFinal = 20\nDragCoeficient = 200000\n");
    auto wild = sheet(d, "--car wild.toml --car '" + CARS + "kvt.toml'"), kvt = sheet(d, "--car wild.toml --car '" + CARS + "kvt.toml'", 2);
    const std::string md = read_file(d / "sheet.md");
    wild.erase("figure"), kvt.erase("figure");
    EXPECT_EQ(wild.size(), 11u) << "ten figures and the rule";
    for (const auto &[label, value] : wild)
        EXPECT_TRUE(value == "-" || label == "---") << label << ": " << value;
    auto preset = sheet(d, "");
    preset.erase("figure");
    EXPECT_EQ(kvt, preset);
    EXPECT_NE(md.find("\nwild: no figures: the steering run, tick "), std::string::npos) << md;
    EXPECT_NE(md.find(" (not a finite number)\n"), std::string::npos) << md;
}
