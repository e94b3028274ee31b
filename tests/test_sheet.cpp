/* The handling sheet against its definitions over caravelt-sim traces; edge cars; refusals; the
 * loop shortcut against the full runs. */
#include "sheet/sheet.h"
#include "sheet/sweep.h"
#include "support.h"

static const std::string CARS = CARAVELT_DATA_DIR "/cars/";

/* The car of data/cars/NAME.toml; the preset for "". */
static car car_named(const std::string &name) { return name.empty() ? KVT : car_of(CARS + name + ".toml"); }

/* What the figures are defined on, after each tick. */
struct row { float axis, travel, v, rev; int gear, latch; };

/* Car c driven from the start: `accel` ticks of Up (A on tick 1, and after a tick below gear 5,
 * latch free, at 6000 rev/min), then `more` of `then`.  Row i: the state after tick i + 1. */
static std::vector<row> drive(const car &c, long accel, long more = 0, const std::vector<int> &then = {})
{
    sim_start(), load_car(&c), sim_read_keys = test_read_keys;
    std::vector<row> rows;
    for (long t = 1; t <= accel + more; t++) {
        bool shift = t == 1 || (rows.back().gear >= 1 && rows.back().gear < 5 && rows.back().latch == 0
                                && rows.back().rev >= 6000);
        ticks(1, t > accel ? then : shift ? std::vector<int>{UP, A} : std::vector<int>{UP});
        rows.push_back({AxisAngle, TrueAngle, TrueVelocity, EngineRev, Gear, KeyHeld});
    }
    return rows;
}

/* Catches any figure off its definition, for the preset and a car file. */
TEST(Sheet, FiguresMatchTheirDefinitions)
{
    for (const char *name : {"", "light"}) {
        const car c = car_named(name);
        const auto acc = drive(c, 60000);
        long t50 = 0, t100 = 0, t400 = 0, top_at = 0;
        double covered = 0, top = -1e30;
        for (long t = 1; t <= 60000; t++) {
            double v = acc[t - 1].v * 3.6;
            covered += std::fabs(acc[t - 1].v) / 100;
            t50 = t50 ? t50 : v >= 50 ? t : 0;
            t100 = t100 ? t100 : v >= 100 ? t : 0;
            t400 = t400 ? t400 : covered >= 400 ? t : 0;
            if (v > top) top = v, top_at = t;
        }
        ASSERT_TRUE(t50 && t100 && t400);
        /* Braking from the tick that reached 100, to the first at 0 or below. */
        auto br = drive(c, t100, 60000, {DOWN});
        long stop = t100 + 1;
        double braked = std::fabs(br[stop - 1].v) / 100;
        for (; stop < (long)br.size() && br[stop - 1].v > 0; stop++)
            braked += std::fabs(br[stop].v) / 100;
        /* One second of full lock from the tick that reached 50. */
        auto st = drive(c, t50, 100, {UP, RIGHT});
        double yaw = 0, slip = 0;
        for (long t = t50 + 1; t <= t50 + 100; t++) {
            yaw += std::remainder(st[t - 1].axis - st[t - 2].axis, 360);
            slip = std::max(slip, std::fabs(std::remainder(st[t - 1].axis - st[t - 1].travel, 360)));
        }
        auto fmt = [](const char *f, double v) { char b[64]; snprintf(b, sizeof b, f, v); return std::string(b); };
        temp_dir d;
        auto got = sheet_table(d, *name ? "--car '" + CARS + name + ".toml'" : "");
        std::map<std::string, std::string> want = {
            {"0-50 km/h (s)", fmt("%.2f", t50 / 100.0)},
            {"0-100 km/h (s)", fmt("%.2f", t100 / 100.0)},
            {"400 m (s)", fmt("%.2f", t400 / 100.0)},
            {"speed at 400 m (km/h)", fmt("%.1f", acc[t400 - 1].v * 3.6)},
            {"top speed (km/h)", fmt("%.1f", top)},
            {"top speed gear", fmt("%.0f", acc[top_at - 1].gear)},
            {"100-0 km/h (m)", fmt("%.1f", braked)},
            {"100-0 km/h (s)", fmt("%.2f", (stop - t100) / 100.0)},
            {"yaw after 1 s at full lock from 50 km/h (deg)", fmt("%.1f", yaw)},
            {"peak slip at full lock from 50 km/h (deg)", fmt("%.1f", slip)},
        };
        EXPECT_EQ(got.size(), want.size() + 3 + 2) << "figure rows (the closed-loop three are test_driver's), the header and its rule";
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
        auto got = sheet_table(d, "--car odd.toml");
        for (const auto &[label, value] : k.want)
            EXPECT_EQ(got[label], value) << k.car << ": " << label;
    }
}

/* Catches columns out of order, a sheet that varies, kvt.toml not the preset; a car gone non-finite
 * given numbers or no reason, or harming the cars beside it. */
TEST(Sheet, CarsSideBySideInOrderAndTheSameEveryRun)
{
    temp_dir d{{"wild.toml", "Mass = 10\nPeakTorque = 100000\nTransmissionFinal = 20\nDragCoeficient = 200000\n"}};
    auto preset = sheet_table(d, "");
    EXPECT_EQ(sheet_table(d, ""), preset);
    EXPECT_EQ(preset["figure"], "preset");
    const std::string light = "--car '" + CARS + "light.toml'";
    const std::string cars = light + " --car wild.toml --car '" + CARS + "kvt.toml'";
    auto first = sheet_table(d, cars), wild = sheet_table(d, cars, 2), third = sheet_table(d, cars, 3);
    const std::string md = read_file(d / ".stdout");
    EXPECT_EQ(first, sheet_table(d, light));
    EXPECT_EQ(third["figure"], "kvt");
    third.erase("figure"), preset.erase("figure"), wild.erase("figure");
    EXPECT_EQ(third, preset);
    EXPECT_EQ(wild.size(), 14u) << "thirteen figures and the rule";
    for (const auto &[label, value] : wild)
        EXPECT_TRUE(value == "-" || label == "---") << label << ": " << value;
    EXPECT_NE(md.find("\nwild: no figures: the steering run, tick "), std::string::npos) << md;
    EXPECT_NE(md.find(" (not a finite number)\n"), std::string::npos) << md;
}

/* Catches options the sheet ignores, or only it takes, accepted; a bad grid, value, thread count or shard. */
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
        /* sweeps */
        {"--vary Mass=800:900:100", "--vary is for the handling sheet: only with --sheet"},
        {"--threads 2 s.txt", "--threads is for the handling sheet: only with --sheet"},
        {"--sheet --threads 2", "--threads is for sweeps: only with --vary"},
        {"--sheet --shard 0/2", "--shard is for sweeps: only with --vary"},
        {"--sheet --vary G=1:2:1 --runs new.csv", "--runs is for the sheet of single cars: not with --vary"},
        {"--sheet --vary G=1:2:1 --car a.toml --car a.toml", "--car given 2 times: a sweep varies one car"},
        {"--sheet --vary G=1:2:1 --car bad.toml", "bad.toml:1: unknown field \"Mas\" (did you mean \"Mass\"?)"},
        {"--sheet --vary Mas=800:900:100", "--vary \"Mas=800:900:100\": unknown field \"Mas\" (did you mean \"Mass\"?)"},
        {"--sheet --vary G=1e0:2:1", "--vary \"G=1e0:2:1\": FROM \"1e0\" is not a decimal such as 800, 0.75 or -2.5"},
        {"--sheet --vary G=1:.:1", "--vary \"G=1:.:1\": TO \".\" is not a decimal such as 800, 0.75 or -2.5"},
        {"--sheet --vary G=1:2:", "--vary \"G=1:2:\": STEP \"\" is not a decimal such as 800, 0.75 or -2.5"},
        {"--sheet --vary G=1:2:0.0000000000000000001", "--vary \"G=1:2:0.0000000000000000001\": STEP \"0.0000000000000000001\" has more than 18 digits"},
        {"--sheet --vary G=100000000000:1:-0.0000001", "--vary \"G=100000000000:1:-0.0000001\": FROM, TO and STEP together need more than 18 digits"},
        {"--sheet --vary GearMax=1:5:0.5", "--vary \"GearMax=1:5:0.5\": GearMax takes integers: FROM and STEP must be whole numbers"},
        {"--sheet --vary G=1:2:0", "--vary \"G=1:2:0\": STEP is 0: it must move towards TO"},
        {"--sheet --vary G=1:2:-0.1", "--vary \"G=1:2:-0.1\": STEP -0.1 points away from TO"},
        {"--sheet --vary G=2:1:0.1", "--vary \"G=2:1:0.1\": STEP 0.1 points away from TO"},
        {"--sheet --vary Mass=100:0:-50", "--vary \"Mass=100:0:-50\": at Mass=0: Mass must be 10 to 100000 kg, not 0"},
        {"--sheet --vary RollingResistance=1:900000000000000000:1", "--vary \"RollingResistance=1:900000000000000000:1\": the grid would have more than ten million setups (1 x 900000000000000000)"},
        {"--sheet --vary Mass=10:1009:1 --vary G=0:1:0.0001",
         "--vary \"G=0:1:0.0001\": the grid would have more than ten million setups (1000 x 10001)"},
        {"--sheet --vary G=1:2:1 --vary G=0:1:1", "--vary \"G=0:1:1\": G is varied twice"},
        {"--sheet --vary 'GearReduction[3]=1:2:1' --vary 'GearReduction[03]=1:2:1'",
         "--vary \"GearReduction[03]=1:2:1\": GearReduction[03] is GearReduction[3], varied already"},
    };
    temp_dir d{{"a.toml", "Mass = 900\n"}, {"bad.toml", "Mas = 900\n"}, {"s.txt", "10 Up\n"}};
    for (const auto &k : cases)
        expect_refused(d, k.args, k.message);
    /* One line for each bad value of an option. */
    const struct { const char *args, *opt, *why; std::vector<const char *> values; } same[] = {
        {"--sheet --vary ", "--vary", "a sweep is NAME=FROM:TO:STEP, e.g. Mass=800:1400:100", {"Mass=800:900", "=1:2:1", "Mass=800:900:100:5"}},
        {"--sheet --vary G=1:2:1 --threads ", "--threads", "a number of threads from 1 to 1024 is wanted", {"0", "2x"}},
        {"--sheet --vary G=1:2:1 --shard ", "--shard", "K/N is wanted, N shards of the grid (1 to ten million) and K the one to run (0 to N - 1)",
         {"2/2", "1", "-1/2", "0/0"}},
    };
    for (const auto &f : same)
        for (const char *v : f.values)
            expect_refused(d, f.args + std::string(v), f.opt + std::string(" \"") + v + "\": " + f.why);
}

static std::string figures_bits(const sheet_figures &f)
{
    std::ostringstream s;
    s << f.t50 << ' ' << f.t100 << ' ' << f.t400 << ' ' << std::bit_cast<uint64_t>(f.v400) << ' ' << std::bit_cast<uint64_t>(f.top) << ' '
      << f.top_gear << ' ' << f.brake_ticks << ' ' << std::bit_cast<uint64_t>(f.brake_m) << ' ' << f.steered << ' '
      << std::bit_cast<uint64_t>(f.yaw) << ' ' << std::bit_cast<uint64_t>(f.slip) << ' ' << f.fault;
    return s.str();
}

/* Catches a loop taken too early, on another state or out of phase: figures and every tick's speed
 * the full runs' to the bit, over shipped, odd, unsettling and infinite cars. */
TEST(Sheet, LoopShortcutGivesTheFullRunsToTheBit)
{
    std::vector<std::pair<std::string, car>> cars = {{"kvt", car_named("kvt")}, {"light", car_named("light")}, {"drift", car_named("drift")}};
    sweep_grid g;
    char err[512];
    g.base = KVT;
    for (const char *axis : {"Mass=800:1400:600", "G=0.6:1.3:0.35", "BrakeForce=2400:4800:2400"})
        ASSERT_EQ(sweep_add_axis(&g, axis, err, sizeof err), 0) << err;
    for (long i = 0; i < g.setups; i++)
        cars.push_back({"setup " + std::to_string(i), {}}), sweep_setup(&g, i, &cars.back().second);
    for (const char *odd : {"Mass=3000", "GearMax=1", "LockMax=0", "G=0", "RollingResistance=0 BrakeForce=0",
                            "Mass=10 PeakTorque=100000 TransmissionFinal=20 DragCoeficient=200000"}) {   /* the last goes infinite */
        car c = KVT;
        std::istringstream words(odd);
        for (std::string w; words >> w;)
            ASSERT_EQ(car_field_set(&c, w.substr(0, w.find('=')).c_str(), w.c_str() + w.find('=') + 1, err, sizeof err), 0) << err;
        cars.push_back({odd, c});
    }
    int looped = 0;
    for (const auto &[name, c] : cars) {
        std::vector<std::tuple<int, long, uint32_t>> full_ticks, short_ticks;   /* every tick reported, as bits */
        sheet_how full, shortcut;
        full.full = true, full.ctx = &full_ticks, shortcut.ctx = &short_ticks;
        full.tick = shortcut.tick = [](void *ctx, sheet_run run, long n, float tv) {
            ((std::vector<std::tuple<int, long, uint32_t>> *)ctx)->emplace_back(run, n, bits(tv)); };
        sheet_figures a, b;
        sheet_measure(&c, &full, &a);
        sheet_measure(&c, &shortcut, &b);
        EXPECT_EQ(figures_bits(b), figures_bits(a)) << name;
        EXPECT_TRUE(short_ticks == full_ticks) << name;
        looped += b.driven < a.driven;
        long least = name == "kvt" ? 1 : name == "RollingResistance=0 BrakeForce=0" ? SHEET_RUN_TICKS : 0;   /* coasts for ever */
        EXPECT_GE(a.driven - b.driven, least) << name;
        EXPECT_TRUE(name != "Mass=3000" || a.driven == b.driven) << "never settles: every tick driven";
    }
    EXPECT_GE(looped, (int)cars.size() / 2);
}
