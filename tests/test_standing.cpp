/* A standing start: the car held through the countdown, the clock from its end, R beginning
 * it again; the recording's start line, read strictly; the same laps in every front end. */
#include "course/race.h"
#include "run/drive.h"
#include "support.h"

static const std::string SLALOM = CARAVELT_DATA_DIR "/courses/slalom.toml",
                         GOLD = CARAVELT_DATA_DIR "/courses/targets/slalom-gold.rec";

/* Catches the car moved during the countdown or its keys not taken, the clock running during it
 * (the lap begun at its start or a tick late), R not putting the car back in first with the countdown. */
TEST_F(Sim, StandingStartHoldsTheCarOnTheLineThenTimesTheLapFromThere)
{
    temp_dir d{{"keys.txt", "150 Up Right\n150 Up\n199 Up\n1 Up A\n1 R\n299 Up\n2 Up\n"}};
    course c = course_in(SLALOM);
    char err[512];
    run_given g;
    g.course_file = SLALOM.c_str(), g.track = &c, g.standing = true;
    run_drive dr;
    ASSERT_EQ(drive_open(&dr, (d / "keys.txt").c_str(), &g, err, sizeof err), 0) << err;
    drive_start(&dr, RUN_STOP, run_hooks{}, false);
    const course_point line = course_line(&c);
    const course_progress &p = dr.race.p;
    auto on_line = [&] { return x == line.x && y == line.y && AxisAngle == c.heading && Velocity == 0 && Gear == 1; };
    EXPECT_TRUE(on_line()) << "start-up: " << x << "," << y << " gear " << Gear;

    for (int t = 1; t <= 300; t++) {
        unsigned bits = drive_tick(&dr);
        ASSERT_TRUE(on_line()) << "tick " << t << ": the car moved during the countdown";
        ASSERT_EQ((bits & COURSE_LAP_BEGUN) != 0, t == 300) << "tick " << t;
        ASSERT_EQ(p.in_lap, t == 300) << "tick " << t;
        ASSERT_TRUE(t != 150 || (PedalAccelerator > 0.9f && DrivingWheelTurning > 0.9f)) << "the keys held move pedal, wheel";
    }
    EXPECT_EQ(p.now.start_tick, 300u) << "the clock starts as the countdown ends";
    drive_tick(&dr);
    EXPECT_TRUE(x != line.x && p.tick - p.now.start_tick == 1) << "the first tick after it moves the car";
    while (dr.played < 500)
        drive_tick(&dr);
    EXPECT_EQ(Gear, 2);
    EXPECT_TRUE(drive_tick(&dr) & COURSE_ABANDONED) << "R drops the lap";
    EXPECT_TRUE(on_line() && !p.in_lap && p.countdown == COURSE_COUNTDOWN) << "R: on the line, first gear, 3 s again";
    for (int t = 502; t <= 800; t++)
        ASSERT_FALSE(drive_tick(&dr) & COURSE_LAP_BEGUN) << "tick " << t;
    EXPECT_TRUE(on_line());
    EXPECT_TRUE(drive_tick(&dr) & COURSE_LAP_BEGUN);
    EXPECT_EQ(p.now.start_tick, 801u);
    drive_close(&dr);
}

/* Catches a start line not written or read loosely, a standing start asked of a recording without
 * one or with no course, and the gold target's laps differing by caravelt-sim, a drive or bare keys. */
TEST(Run, StandingStartIsTheRecordingsAndRunsAlikeEverywhere)
{
    std::string h[2];
    for (bool standing : {false, true})
        record_header(&h[standing], "r.rec", nullptr, 0, SLALOM.c_str(), 1, standing);
    EXPECT_TRUE(h[1].find("\n# start: standing\n") != std::string::npos && h[0].find("# start:") == std::string::npos);

    temp_dir d;
    const std::string gold = read_file(GOLD);
    std::string keys;   /* the recording's lines but its header */
    for (size_t at = 0, end; at < gold.size(); at = end + 1)
        end = gold.find('\n', at), keys += gold[at] != '#' ? gold.substr(at, end - at + 1) : "";
    write_file(d / "keys.txt", keys), write_file(d / "gold.rec", gold);
    const std::string on = "--course '" + SLALOM + "' ";
    tool_run r = run_tool(d, on + "--laps rec.csv --trace rec-trace.csv gold.rec");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string laps = read_file(d / "rec.csv");
    EXPECT_EQ(laps.substr(laps.find('\n') + 1, 11), "1,300,1403,") << laps;
    r = run_tool(d, on + "--standing-start --laps keys.csv --trace keys-trace.csv keys.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(d / "keys.csv"), laps);
    EXPECT_TRUE(read_file(d / "keys-trace.csv") == read_file(d / "rec-trace.csv"));

    course c = course_in(SLALOM);
    char err[512];
    run_given g;
    g.course_file = SLALOM.c_str(), g.track = &c;
    run_drive dr;
    ASSERT_EQ(drive_open(&dr, (d / "gold.rec").c_str(), &g, err, sizeof err), 0) << err;
    drive_start(&dr, RUN_HALT, run_hooks{}, false);
    struct rows_of { run_drive *dr; std::string rows; } out = {&dr, ""};
    course_laps_header(&out.rows, &c);
    drive_to_end(&dr, [](void *ctx, unsigned bits) {
        auto *o = (rows_of *)ctx;
        if (bits & COURSE_LAP_DONE) {
            course_lap last = course_lap_of(&o->dr->race.p, COURSE_LAST);
            course_lap_row(&o->rows, &o->dr->track, &last);
        }
    }, &out);
    EXPECT_EQ(out.rows, laps) << "the drive's laps";
    drive_close(&dr);

    const size_t start = gold.find("# start: standing\n");
    write_file(d / "flying.rec", std::string(gold).replace(start, 17, "# start: flying"));
    write_file(d / "none.rec", std::string(gold).erase(start, 18));
    const struct { std::string args, err; } refused[] = {
        {on + "--trace /dev/null flying.rec", "flying.rec:4: the start line does not read: it says \"flying\", not \"standing\""},
        {on + "--trace /dev/null --standing-start none.rec", "none.rec: recorded without a standing start, so its keys drive from the "
                                      "course's start: leave out --standing-start, or pass --force to run it so anyway"},
        {"--trace /dev/null --standing-start keys.txt", "keys.txt: a standing start is on a course's start gate: it needs --course"},
        {"--sheet --standing-start", "--sheet runs its own manoeuvres: it takes no --standing-start"},
    };
    for (const auto &k : refused) {
        tool_run t = run_tool(d, k.args);
        EXPECT_EQ(t.status, 2) << k.args;
        EXPECT_EQ(t.err, "caravelt-sim: " + k.err + "\n") << k.args;
    }
}

/* Catches a shipped drive said to go by a gate it passes, and targets closer than their margins:
 * silver at least a quarter slower than gold, bronze at least three fifths. */
TEST(Run, ShippedDrivesGoByNoGateAndTargetsKeepTheirMargins)
{
    for (const char *name : {"slalom", "figure8", "autocross"}) {
        SCOPED_TRACE(name);
        const std::string file = CARAVELT_DATA_DIR "/courses/" + std::string(name) + ".toml";
        course c = course_in(file);
        char err[512];
        run_given g;
        g.course_file = file.c_str(), g.track = &c;
        uint64_t best[3] = {};
        const std::string targets = CARAVELT_DATA_DIR "/courses/targets/" + std::string(name), drives[] = {
            CARAVELT_DOCS_DIR "/courses/" + std::string(name) + ".txt", targets + "-gold.rec", targets + "-silver.rec",
            targets + "-bronze.rec"};
        for (int k = 0; k < 4; k++) {
            run_drive dr;
            ASSERT_EQ(drive_open(&dr, drives[k].c_str(), &g, err, sizeof err), 0) << err;
            EXPECT_EQ(dr.standing, k > 0) << drives[k];
            drive_start(&dr, RUN_STOP, run_hooks{}, false);
            unsigned all = 0;
            drive_to_end(&dr, [](void *ctx, unsigned bits) { *(unsigned *)ctx |= bits; }, &all);
            EXPECT_FALSE(all & COURSE_MISSED) << drives[k] << ": gate " << dr.race.p.missed;
            EXPECT_TRUE(course_finished(&c, &dr.race.p)) << drives[k];
            if (k > 0)
                best[k - 1] = dr.race.p.best.ticks;
            drive_close(&dr);
        }
        EXPECT_GE(best[1] * 4, best[0] * 5) << "silver " << best[1] << ", gold " << best[0];
        EXPECT_GE(best[2] * 5, best[0] * 8) << "bronze " << best[2] << ", gold " << best[0];
    }
}
