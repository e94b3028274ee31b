/* The driver: clean laps of courses it has never seen, the same keys on any threads, its drive
 * written and replayed by caravelt-sim, and the sheet's closed-loop figures. */
#include "course/race.h"
#include "driver/driver.h"
#include "run/run.h"
#include "sheet/sheet.h"
#include "support.h"

static const std::string COURSES = CARAVELT_DATA_DIR "/courses/";

/* A course from metres: gates as {ax, ay, bx, by}, cones as {x, y}. */
static course made(const char *name, float sx, float sy, float heading, int laps,
                   std::vector<std::array<float, 4>> gates, std::vector<std::array<float, 2>> cones)
{
    course c;
    c.name = name, c.start = {sx * 10, sy * 10}, c.heading = heading, c.laps = laps, c.penalty = 2;
    for (auto &g : gates)
        c.gates.push_back({{g[0] * 10, g[1] * 10}, {g[2] * 10, g[3] * 10}});
    for (auto &k : cones)
        c.cones.push_back({k[0] * 10, k[1] * 10});
    EXPECT_EQ(course_index(&c), 0);
    return c;
}

/* Laps done and cones knocked by the keys on c, counted by run/'s tick on a race of their own. */
struct counted { int laps, cones; };
static counted count_keys(const course &c, const car &params, const std::vector<uint16_t> &keys)
{
    driver_task t = driver_course_task(&c, &params);
    car_in(&t.start);
    course_race race;
    race_start(&race, &c, false);
    run_car r;
    r.race = &race;
    counted n = {0, 0};
    for (uint16_t k : keys) {
        unsigned ev = run_tick(&r, k);
        n.laps += (ev & COURSE_LAP_DONE) != 0, n.cones += (ev & COURSE_CONE) != 0;
    }
    return n;
}

static driver_result search(const course &c, long drives, uint64_t seed, run_pool *pool, bool first_clean = false)
{
    driver_task t = driver_course_task(&c, &KVT);
    driver_how how;
    how.budget.drives = drives, how.seed = seed, how.pool = pool, how.first_clean = first_clean;
    driver_result r;
    driver_search(&t, &how, &r);
    return r;
}

/* Catches draws or reduction depending on which thread drove which member, a budget not kept to. */
TEST(Driver, SameSeedAndDrivesGiveTheSameKeysOnOneThreadAndTwo)
{
    const course c = course_in(COURSES + "slalom.toml");
    run_pool *two = run_pool_new(2);
    driver_result one = search(c, 500, 7, nullptr), both = search(c, 500, 7, two), other = search(c, 500, 8, two);
    run_pool_free(two);
    EXPECT_EQ(one.drives, 500);
    EXPECT_TRUE(one.keys == both.keys);
    EXPECT_EQ(one.best_total, both.best_total);
    EXPECT_FALSE(other.keys == one.keys) << "the seed changes nothing";
}

/* Catches a driver tuned to the shipped courses or reading their cones, not the given course's
 * (the slalom fenced where its own best drive goes); each drive counted by the tick, not the driver. */
TEST(Driver, CoursesItHasNeverSeenAreDrivenClean)
{
    const course slalom = course_in(COURSES + "slalom.toml");
    course fenced = slalom;
    run_pool *pool = run_pool_new(2);
    {
        driver_result shipped = search(slalom, 600, 1, pool);
        driver_task t = driver_course_task(&slalom, &KVT);
        car_in(&t.start);
        run_car r;
        for (size_t k = 0; k < shipped.keys.size(); k++) {
            run_tick(&r, shipped.keys[k]);
            if (k % (shipped.keys.size() / 6) == shipped.keys.size() / 12)
                fenced.cones.push_back({x, y});
        }
        ASSERT_EQ(course_index(&fenced), 0);
    }

    std::vector<std::array<float, 4>> ring;
    for (int k = 0; k < 12; k++) {
        double a = 2 * M_PI * k / 12 + 0.2;
        ring.push_back({(float)(51.2 + 20 * std::sin(a)), (float)(38.4 - 20 * std::cos(a)),
                        (float)(51.2 + 30 * std::sin(a)), (float)(38.4 - 30 * std::cos(a))});
    }
    const course cases[] = {
        made("open triangle", 20, 60, 90, 2, {{40, 55, 40, 70}, {80, 20, 95, 25}, {15, 10, 25, 20}}, {}),
        made("across both edges", 90, 70, 45, 2,
             {{98, 66, 98, 74}, {5, 2, 12, 2}, {30, 60, 30, 70}, {60, 40, 70, 40}},
             {{98, 64}, {98, 76}, {3, 2}, {14, 2}}),
        made("tight zigzag", 10, 38, 90, 1,
             {{20, 33, 20, 43}, {30, 38, 30, 44}, {40, 32, 40, 38}, {50, 38, 50, 44}, {60, 32, 60, 38},
              {70, 38, 70, 44}, {80, 32, 80, 38}, {90, 38, 90, 44}},
             {{30, 36.5f}, {30, 45.5f}, {40, 30.5f}, {40, 39.5f}, {50, 36.5f}, {50, 45.5f}, {60, 30.5f},
              {60, 39.5f}, {70, 36.5f}, {70, 45.5f}, {80, 30.5f}, {80, 39.5f}, {90, 36.5f}, {90, 45.5f}}),
        made("twelve round a ring", 51.2f, 8, 90, 1, ring,
             {{51.2f, 38.4f}, {51.2f, 24}, {51.2f, 52.8f}, {37, 38.4f}, {65.4f, 38.4f}}),
        fenced,
    };
    for (const course &c : cases) {
        driver_result r = search(c, 1000, 1, pool);
        ASSERT_TRUE(r.clean) << c.name << ": " << r.gates << " gates, " << r.laps_done << " laps";
        counted n = count_keys(c, KVT, r.keys);
        EXPECT_TRUE(n.laps == c.laps && n.cones == 0) << c.name << ": " << n.laps << " laps, " << n.cones << " cones";
        EXPECT_EQ(r.best_total, course_lap_total(&c, &r.best)) << c.name;
    }
    run_pool_free(pool);
}

/* Catches a drive knocking a cone reported as clean, or an unfinishable course (every way through
 * its gate knocks a cone) answered with anything but its line, status 1 and nothing written. */
TEST(Driver, ACourseItCannotFinishIsSaidSoWithHowFarItGot)
{
    temp_dir d;
    std::string walled = "name = \"Walled\"\nstart = { x = 10.0, y = 38.4, heading = 90.0 }\nlaps = 1\n"
                         "[[gate]]\na = [30.0, 36.4]\nb = [30.0, 40.4]\n";
    for (int k = 0; k <= 8; k++)
        walled += "[[cone]]\nat = [30.0, " + std::to_string(36.4 + 0.5 * k) + "]\n";
    write_file(d / "walled.toml", walled);
    tool_run r = run_tool(d, "--course walled.toml --best-lap --budget-drives 300 --record r.rec --laps l.csv");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("walled.toml: no clean drive found in 300 drives: the best passed"), std::string::npos)
        << r.err;
    EXPECT_FALSE(exists(d / "r.rec") || exists(d / "l.csv"));
}

/* Catches a recording naming another car or course than the one driven, or keys not the drive's:
 * replayed on its header's own, it gives the laps printed, every one clean. */
TEST(Driver, ItsRecordingReplaysToTheSameLaps)
{
    temp_dir d;
    std::string out = tool_out(d, "--course '" + COURSES + "figure8.toml' --car '" CARAVELT_DATA_DIR "/cars/light.toml'"
                                  " --best-lap --budget-drives 600 --threads 2 --record r.rec --laps found.csv");
    std::string found = read_file(d / "found.csv");
    EXPECT_NE(out.find(found), std::string::npos) << "the table printed is not the laps written";
    EXPECT_EQ(out.rfind("Figure eight: best lap ", 0), 0u) << out;
    tool_run r = run_tool(d, "--laps again.csv --trace /dev/null r.rec");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(d / "again.csv"), found);
    EXPECT_EQ(found.find(",1,"), std::string::npos) << "a lap with a cone: " << found;
}

/* Catches the shipped lane change drifting from the one the sheet makes. */
TEST(Driver, ShippedLaneChangeIsTheSheets)
{
    course shipped = course_in(COURSES + "lane_change.toml"), made;
    corner_lane_change_course(&made);
    EXPECT_EQ(course_hash(&shipped), course_hash(&made));
}

/* Catches closed-loop figures not measuring cornering: less grip holds the circle slower. */
TEST(Driver, ClosedLoopFiguresFollowGrip)
{
    temp_dir d{{"less.toml", "G = 0.4\n"}, {"more.toml", "G = 0.6\n"}};
    auto less = sheet_table(d, "--car less.toml --car more.toml", 1);
    auto more = sheet_table(d, "--car less.toml --car more.toml", 2);
    const std::string CIRCLE = "steady speed round a 30 m circle (km/h)", G = "lateral acceleration on it (g)",
                      LANE = "double lane change entry speed (km/h)";
    EXPECT_LT(std::stoi(less[CIRCLE]), std::stoi(more[CIRCLE]));
    EXPECT_LT(std::stod(less[G]), std::stod(more[G]));
    EXPECT_LE(std::stoi(less[LANE]), std::stoi(more[LANE]));
    auto preset = sheet_table(d, "");
    EXPECT_EQ(preset[CIRCLE], "280");
    EXPECT_EQ(preset[G], "20.56");
    EXPECT_EQ(preset[LANE], "280");
}

/* Catches --best-lap taking what it cannot use, or the driver's options taken without it. */
TEST(Driver, BestLapRefusals)
{
    temp_dir d;
    const std::string slalom = "--course '" + COURSES + "slalom.toml' ";
    struct { std::string args, message; } cases[] = {
        {"--best-lap", "--best-lap needs --course: the laps are the course's"},
        {slalom + "--best-lap script.txt", "--best-lap drives its own keys: it takes no script"},
        {slalom + "--best-lap --sheet", "--best-lap drives its own keys: it takes no --sheet"},
        {slalom + "--best-lap --trace t.csv", "--best-lap drives its own keys: it takes no --trace"},
        {slalom + "--best-lap --budget 5 --budget-drives 9", "--budget and --budget-drives: one budget, in seconds or in drives"},
        {slalom + "--best-lap --budget 0", "--budget \"0\": seconds above 0 (at most 1000000) are wanted"},
        {slalom + "--best-lap --seed -1", "--seed \"-1\": a whole number from 0 to 2147483647 is wanted"},
        {slalom + "--best-lap --budget-drives 1e3", "--budget-drives \"1e3\": a number of drives from 1 to 1000000000 is wanted"},
        {slalom + "--best-lap --record '" + COURSES + "slalom.toml'",
         "the recording \"" + COURSES + "slalom.toml\" would overwrite the course file \"" + COURSES + "slalom.toml\""},
        {slalom + "--budget 5", "--budget is for the driver's search: only with --best-lap"},
        {"--sheet --budget-drives 9", "--budget-drives is for --best-lap, or --sheet with --course"},
    };
    for (const auto &k : cases)
        expect_refused(d, k.args, k.message);
}
