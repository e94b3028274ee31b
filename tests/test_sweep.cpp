/* Sweeps of the sheet: exact grid values, rows that are the sheets of car files, the same
 * bytes whatever the threads and shards.  (Their refusals are in the sheet's table.) */
#include <algorithm>
#include "sheet/sweep.h"
#include "support.h"

/* The lines of a text; with sep ',', the cells of a CSV line. */
static std::vector<std::string> lines(const std::string &text, char sep = '\n')
{
    std::vector<std::string> v;
    std::istringstream in(sep == ',' ? text + "," : text);   /* a last cell empty is a cell */
    for (std::string l; std::getline(in, l, sep);)
        v.push_back(l);
    return v;
}

/* Catches grid values worked out in binary (0.1 + 0.1 + 0.1 passes 0.3), printed with other places
 * than the grid's, rounded twice, or integer fields given fractions. */
TEST(Sweep, AxisValuesAreExactDecimalsRoundedOnce)
{
    struct { const char *axis; std::vector<std::string> values; } cases[] = {
        {"G=0.7:1.3:0.3", {"0.7", "1.0", "1.3"}},
        {"G=0:0.3:0.1", {"0.0", "0.1", "0.2", "0.3"}},
        {"G=1.3:0.7:-0.3", {"1.3", "1.0", "0.7"}},
        {"EngineCurve=-0.5:0.5:0.25", {"-0.50", "-0.25", "0.00", "0.25", "0.50"}},
        {"Mass=800:1000:150", {"800", "950"}},
        {"GearMax=1.0:3.5:1", {"1", "2", "3"}},
        {"GearReduction[3]=2.035:2.035:-1", {"2.035"}},
        {"RollingResistance=0.000000000000000001:0.000000000000000003:0.000000000000000001",
         {"0.000000000000000001", "0.000000000000000002", "0.000000000000000003"}},
    };
    for (const auto &k : cases) {
        sweep_grid g;
        char err[512], text[64];
        g.base = KVT;
        ASSERT_EQ(sweep_add_axis(&g, k.axis, err, sizeof err), 0) << k.axis << ": " << err;
        std::vector<std::string> got;
        for (long i = 0; i < g.axes[0].count; i++) {
            sweep_value_text(&g.axes[0], i, text, sizeof text);
            got.push_back(text);
            car want = KVT, c;
            ASSERT_EQ(car_field_set(&want, g.axes[0].field.c_str(), text, err, sizeof err), 0) << err;
            sweep_setup(&g, i, &c);
            EXPECT_EQ(memcmp(&c, &want, sizeof c), 0) << k.axis << " value " << text;
        }
        EXPECT_EQ(got, k.values) << k.axis;
    }
}

/* Catches rows out of grid order (the first --vary slowest), a value or figure other than --sheet's
 * for a car file holding the row's values ("-" there is empty here). */
TEST(Sweep, RowsAreTheSheetsOfCarFilesWithTheSameValues)
{
    temp_dir d{{"base.toml", "LockMax = 40\nGearMax = 4\n"}};
    const std::string grid = "--vary G=0.7:1.3:0.3 --vary 'GearReduction[2]=3.369:3.0:-0.3' "
                             "--vary BrakeForce=2400:4800:2400";
    std::vector<std::string> rows = lines(tool_out(d, "--sheet --car base.toml " + grid));
    ASSERT_EQ(rows.size(), 1u + 3 * 2 * 2);
    EXPECT_EQ(rows[0], "index,G,GearReduction[2],BrakeForce,t50_s,t100_s,t400m_s,v400m_kmh,top_kmh,top_gear,brake_m,"
                       "brake_s,yaw_deg,slip_deg,circle_kmh,circle_g,lane_change_kmh,fault");
    const char *figures[] = {"0-50 km/h (s)", "0-100 km/h (s)", "400 m (s)", "speed at 400 m (km/h)", "top speed (km/h)",
                             "top speed gear", "100-0 km/h (m)", "100-0 km/h (s)",
                             "yaw after 1 s at full lock from 50 km/h (deg)", "peak slip at full lock from 50 km/h (deg)",
                             "steady speed round a 30 m circle (km/h)", "lateral acceleration on it (g)",
                             "double lane change entry speed (km/h)"};
    const char *g[] = {"0.7", "1.0", "1.3"}, *ratio[] = {"3.369", "3.069"}, *brake[] = {"2400", "4800"};
    int empty = 0;
    for (size_t i = 1; i < rows.size(); i++) {
        std::vector<std::string> c = lines(rows[i], ',');
        ASSERT_EQ(c.size(), 18u) << rows[i];
        EXPECT_EQ(c[17], "") << "no fault";
        const size_t n = i - 1;
        EXPECT_EQ(c[0] + " " + c[1] + " " + c[2] + " " + c[3],
                  std::to_string(n) + " " + g[n / 4] + " " + ratio[n / 2 % 2] + " " + brake[n % 2]);
        std::string ratios = "[-3.953, 0, " + c[2] + ", 2.035, 1.36, 1, 0.856, 0, 0]";
        write_file(d / "setup.toml", "LockMax = 40\nGearMax = 4\nG = " + c[1] + "\nGearReduction = " + ratios + "\nBrakeForce = " + c[3] + "\n");
        std::map<std::string, std::string> sheet = sheet_table(d, "--car setup.toml");
        for (int f = 0; f < 13; f++) {
            EXPECT_EQ(c[4 + f].empty() ? "-" : c[4 + f], sheet[figures[f]]) << rows[i] << ": " << figures[f];
            empty += c[4 + f].empty();
        }
    }
    EXPECT_GE(empty, 6) << "a brake too strong for the grip leaves the car creeping, never stopped";
}

/* Catches a setup gone non-finite shown with figures, without its quoted reason, or harming the next. */
TEST(Sweep, SetupThatLeavesTheFloatsRangeHasNoFiguresAndTheReason)
{
    temp_dir d{{"wild.toml", "Mass = 10\nPeakTorque = 100000\nTransmissionFinal = 20\n"}};
    std::vector<std::string> rows = lines(tool_out(d, "--sheet --car wild.toml --vary DragCoeficient=0:200000:200000"));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].substr(0, 22) + "|" + rows[1].substr(rows[1].size() - 1), "0,0,9.16,17.81,22.81,1|,") << rows[1];
    const std::string no_figures = "1,200000" + std::string(14, ',') + "\"the steering run, tick ";
    EXPECT_EQ(rows[2].substr(0, no_figures.size()), no_figures) << rows[2];
    EXPECT_EQ(rows[2].substr(rows[2].size() - 22), "(not a finite number)\"") << rows[2];
}

/* Catches rows in completion order (the heavy setups first take longest), shards that lose, repeat or
 * renumber setups: the same bytes on 1, 4 or default threads, or shards sorted. */
TEST(Sweep, SameBytesWhateverTheThreadsAndShards)
{
    temp_dir d;
    const std::string grid = "--sheet --vary Mass=3000:800:-2200 --vary G=0.8:1.2:0.2 ";
    auto sweep = [&](const std::string &more) { return tool_out(d, grid + more); };
    const std::string one = sweep("--threads 1");
    const std::vector<std::string> want = lines(one);
    EXPECT_EQ(want.size(), 7u);
    EXPECT_EQ(sweep("--threads 4"), one);
    EXPECT_EQ(sweep(""), one);
    for (int n : {2, 4, 9}) {
        std::vector<std::string> rows = {want[0]};
        for (int k = 0; k < n; k++) {
            std::vector<std::string> shard = lines(sweep("--threads 2 --shard " + std::to_string(k) + "/" + std::to_string(n)));
            ASSERT_FALSE(shard.empty());
            EXPECT_EQ(shard[0], want[0]) << "header";
            rows.insert(rows.end(), shard.begin() + 1, shard.end());
        }
        std::sort(rows.begin() + 1, rows.end(), [](const std::string &a, const std::string &b) { return std::stol(a) < std::stol(b); });
        EXPECT_EQ(rows, want) << n << " shards";
    }
}
