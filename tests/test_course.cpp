/* Courses: gates passed, laps and splits, cones knocked, resets, lap rows, the start. */
#include <cstring>
#include <set>
#include <thread>
#include "course/race.h"
#include "drive/script.h"
#include "support.h"

/* A course made here, in px: gates and cones as given, laps and penalty. */
static course make_course(std::vector<course_gate> gates, std::vector<course_point> cones = {}, int laps = 0,
                          float penalty = 2)
{
    course c;
    c.name = "test", c.start = {50, 384}, c.heading = 90, c.laps = laps, c.penalty = penalty;
    c.gates = std::move(gates), c.cones = std::move(cones);
    EXPECT_EQ(course_index(&c), 0);
    return c;
}
static course_gate vertical(float x, float y0 = 0, float y1 = 768) { return {{x, y0}, {x, y1}}; }

/* The car on a course, moved by hand as the simulation moves it: wrapped at the start of each tick,
 * then moved (so it may stand past an edge between ticks), the tick counted, R held or not. */
struct racer {
    course c;
    course_race r;
    explicit racer(course k, course_pose at = {95, 384, 90}) : c(std::move(k))
    {
        race_start(&r, &c);
        x = at.x, y = at.y, AxisAngle = at.angle;
    }
    racer(const racer &) = delete;
    racer &at(float x0, float y0) { return x = x0, y = y0, *this; }
    unsigned tick(float dx, float dy = 0, bool reset = false)
    {
        float x0 = x, y0 = y;
        x = x > 1024 ? x - 1024 : x < 0 ? x + 1024 : x;
        y = y > 768 ? y - 768 : y < 0 ? y + 768 : y;
        x += dx, y += dy;
        KeyMask = reset ? 1u << SIM_R : 0;
        return race_after_tick(&r, x0, y0);
    }
    unsigned ticks(int n, float dx, float dy = 0)   /* the events of n ticks of dx each */
    {
        unsigned all = 0;
        while (n-- > 0)
            all |= tick(dx, dy);
        return all;
    }
};

/* The progress after the one move m on course c, counted from the start. */
static course_progress after_move(const course &c, course_move m)
{
    course_progress p;
    course_progress_start(&p, &c);
    course_count(&c, &p, &m);
    return p;
}

/* Catches touching taken for passing, a move past a gate's end taken for crossing it, the wrap not
 * undone (a sweep over the whole screen), a gate near an edge missed, a long move the index misses. */
TEST(Course, GateIsPassedOnlyByAStrictCrossingTheShortWay)
{
    course_gate diagonal = {{300, 300}, {340, 340}};
    struct { course_gate g; float x0, y0, x1, y1; bool passed; const char *what; } cases[] = {
        {vertical(100, 300, 400), 95, 350, 105, 350, true, "across"},
        {vertical(100, 300, 400), 105, 350, 95, 351, true, "across, backwards"},
        {vertical(100, 300, 400), 95, 350, 100, 350, false, "ends on the gate"},
        {vertical(100, 300, 400), 100, 350, 105, 350, false, "starts on the gate"},
        {vertical(100, 300, 400), 95, 400, 105, 400, false, "through its end post"},
        {vertical(100, 300, 400), 95, 295, 105, 315, true, "diagonally, inside its ends"},
        {vertical(100, 300, 400), 95, 401, 105, 401, false, "past its end"},
        {diagonal, 330, 310, 310, 330, true, "a slanted gate"},
        {diagonal, 320, 320, 330, 310, false, "a slanted gate, from its middle"},
        {diagonal, 350, 350, 360, 360, false, "along its line, beyond it"},
        {vertical(4, 300, 400), 1020, 350, 1030, 350, true, "near the left edge, a move not yet wrapped"},
        {vertical(4, 300, 400), 1026, 350, 10, 350, true, "near the left edge, wrapped in the move"},
        {vertical(1020, 300, 400), 2, 350, -6, 350, true, "near the right edge, leftwards"},
        {vertical(512, 300, 400), 1020, 350, 6, 350, false, "mid-screen, a wrapped move"},
        {{{500, 2}, {540, 2}}, 520, 764, 520, 772, true, "near the top, downwards across the bottom edge"},
        {{{500, 384}, {540, 384}}, 520, 764, 520, 6, false, "mid-screen, a move wrapped in y"},
        {{{0, 100}, {1024, 100}}, 1020, 96, 1030, 104, true, "along the whole screen, at a corner"},
        {vertical(100, 300, 400), 50, 350, 200, 350, true, "a move of 150 px, ending far from the gate"},
        {vertical(100, 300, 400), 150, 350, 300, 350, false, "a move of 150 px beside the gate"},
    };
    for (const auto &k : cases)
        EXPECT_EQ(after_move(make_course({k.g}), {k.x0, k.y0, k.x1, k.y1, 0, false}).in_lap, k.passed) << k.what;
}

/* Catches gates counted out of order, a lap that ends before every gate.  Gates at x = 100 (start),
 * 400 and 700; 10 px a tick: 3 before 2 does nothing, backwards through 1 begins the lap. */
TEST_F(Sim, GatesCountInOrder)
{
    racer t(make_course({vertical(100), vertical(400), vertical(700)}), {705, 384, 90});
    EXPECT_EQ(t.ticks(10, -10), 0u) << "gate 3 before a lap";
    EXPECT_EQ(t.ticks(30, -10), 0u) << "gate 2 before a lap";
    EXPECT_EQ(t.ticks(30, -10), (unsigned)COURSE_LAP_BEGUN);
    EXPECT_EQ(t.ticks(50, 10), (unsigned)COURSE_GATE);   /* back over 1 (ignored), then 2 */
    EXPECT_EQ(t.r.p.next_gate, 2);
    EXPECT_EQ(t.ticks(40, -10), 0u) << "gate 2 again while 3 is next";
    EXPECT_EQ(t.r.p.next_gate, 2);
}

/* Catches a gate gone by and not said (beside it, or through a later gate), said when only near,
 * said twice, or kept after it is passed or R.  Gates 100 px long at x = 100, 400 and 700 below. */
TEST_F(Sim, GateGoneByIsSaidOnceUntilItIsPassed)
{
    auto course3 = [] {
        return make_course({vertical(100, 300, 400), vertical(400, 300, 400), vertical(700, 550, 650)});
    };
    {
        racer t(course3(), {95, 350, 90});
        EXPECT_EQ(t.ticks(1, 10), (unsigned)COURSE_LAP_BEGUN);
        EXPECT_EQ(t.ticks(20, 0, 10), 0u) << "down to y = 550, nowhere near gate 2";
        t.ticks(1, 0, -100);                                   /* y = 450: beside gate 2, 50 px off its post */
        EXPECT_EQ(t.ticks(30, 10), (unsigned)COURSE_MISSED);   /* past x = 400 */
        EXPECT_EQ(t.r.p.missed, 2);
        EXPECT_EQ(t.ticks(10, 10), 0u) << "said once";
        t.ticks(1, 0, -100);                                   /* back up to y = 350 */
        EXPECT_EQ(t.ticks(20, -10), (unsigned)COURSE_GATE) << "back through gate 2";
        EXPECT_EQ(t.r.p.missed, 0);
    }
    {
        racer t(course3(), {95, 350, 90});
        t.ticks(1, 10);
        t.ticks(1, 0, 250);                                    /* y = 600: 200 px below gate 2's post */
        EXPECT_EQ(t.ticks(40, 10), 0u) << "far beside gate 2: not gone by it";
        EXPECT_EQ(t.ticks(30, 10), (unsigned)COURSE_MISSED) << "through gate 3 with gate 2 next";
        EXPECT_EQ(t.r.p.missed, 2);
        EXPECT_EQ(t.tick(0, 0, true), (unsigned)COURSE_ABANDONED);
        EXPECT_EQ(t.r.p.missed, 0) << "R";
    }
    {
        racer t(make_course({vertical(100, 300, 400), vertical(400, 300, 400), vertical(700, 300, 400)}),
                {95, 350, 90});
        t.ticks(1, 10);
        EXPECT_EQ(t.ticks(10, -10), 0u) << "back over the start gate, gate 2 next";
        EXPECT_EQ(t.ticks(40, 10), (unsigned)COURSE_GATE);
        EXPECT_EQ(t.ticks(35, -10), (unsigned)COURSE_MISSED) << "back over the start gate, gate 3 next";
        EXPECT_EQ(t.r.p.missed, 3);
    }
}

/* Catches a footprint turned or its axes swapped, a box square at its corners, the gap taken as
 * "at most", the wrap ignored.  The footprint is 22 px along the heading, 11 across; gap 2.5 px. */
TEST(Course, ConeIsKnockedWithinAQuarterMetreOfTheFootprint)
{
    struct { course_point k; course_pose car; bool knocked; const char *what; } cases[] = {
        {{500, 375.6f}, {500, 400, 0}, true, "ahead, 2.4 px off the nose"},
        {{500, 375.5f}, {500, 400, 0}, false, "ahead, 2.5 px off the nose"},
        {{500, 424.4f}, {500, 400, 0}, true, "behind, 2.4 px off the tail"},
        {{513.4f, 400}, {500, 400, 0}, true, "beside, 2.4 px off the right side"},
        {{486.4f, 410}, {500, 400, 0}, false, "beside, 2.6 px off the left side"},
        {{500, 400}, {500, 400, 0}, true, "under the car"},
        {{512.7f, 376.3f}, {500, 400, 0}, true, "off the front right corner, 2.40 px"},
        {{512.8f, 376.2f}, {500, 400, 0}, false, "off the front right corner, 2.55 px"},
        {{524, 400}, {500, 400, 90}, true, "heading right: 2 px off the nose"},
        {{500, 376}, {500, 400, 90}, false, "heading right: 24 px above, beside it"},
        {{511.75f, 379.65f}, {500, 400, 30}, true, "heading 30: 23.5 px ahead"},
        {{488.25f, 379.65f}, {500, 400, -30}, true, "heading -30: 23.5 px ahead"},
        {{488.25f, 379.65f}, {500, 400, 30}, false, "heading 30: the mirror of 23.5 px ahead"},
        {{20, 384}, {1020, 384, 90}, true, "across the right edge, 2 px off the nose"},
        {{20, 384}, {1030, 384, 90}, true, "across the right edge, the car not yet wrapped"},
        {{1010, 5}, {1010, 760, 0}, true, "across the bottom edge, 13 px behind"},
        {{1010, 384}, {10, 384, 90}, true, "across the left edge, 2 px off the tail"},
        {{990, 384}, {10, 384, 90}, false, "across the left edge, 22 px off the tail"},
    };
    for (const auto &k : cases) {
        course_move standing = {k.car.x, k.car.y, k.car.x, k.car.y, k.car.angle, false};
        EXPECT_EQ(after_move(make_course({vertical(1000, 0, 10)}, {k.k}), standing).knocked[0], k.knocked) << k.what;
    }
}

/* Catches a cone counted twice a lap, not in the next, outside a lap or for the old lap as one ends;
 * cones not standing again; the penalty out of the total or the row; a reset tick passing a gate.
 * Start gate at x = 100; cone A at (300, 384), cone B touched from (105, 370), not from y = 340. */
TEST_F(Sim, ConeCountsOncePerLapForTheLapRunning)
{
    std::vector<course_point> cones = {{300, 384}, {129, 360}};
    {
        racer t(make_course({vertical(100, 300, 400)}, cones, 3), {275, 384, 90});
        const course_progress &p = t.r.p;
        EXPECT_TRUE(t.tick(1) == 0u && p.knocked[0]) << "a cone before the first lap counts nothing, but falls";
        EXPECT_EQ(t.at(95, 370).tick(10), (unsigned)(COURSE_LAP_BEGUN | COURSE_CONE)) << "tick 2, B";
        EXPECT_TRUE(p.now.cones == 1 && p.knocked[1] && !p.knocked[0]);
        EXPECT_EQ(t.at(x, 384).ticks(30, 10), (unsigned)COURSE_CONE) << "A, over 4 ticks of contact";
        EXPECT_EQ(p.now.cones, 2);
        EXPECT_EQ(t.at(95, 370).tick(10), (unsigned)(COURSE_LAP_DONE | COURSE_LAP_BEGUN | COURSE_CONE)) << "B, ending lap 1";
        EXPECT_EQ(p.now.cones, 1);
        std::string row;
        course_lap last = course_lap_of(&p, COURSE_LAST);
        course_lap_row(&row, &t.c, &last);
        EXPECT_EQ(row, "1,2,31,2,0.31,4.31\n") << "lap, start tick, ticks, cones, time and total";
        t.at(x, 384).ticks(30, 10);
        EXPECT_EQ(t.at(95, 340).tick(10), (unsigned)(COURSE_LAP_DONE | COURSE_LAP_BEGUN));
        EXPECT_TRUE(p.last.lap == 2 && p.last.cones == 2 && p.best.lap == 1) << "the same total: lap 1 stays best";
        t.ticks(31, 10);
        EXPECT_EQ(t.at(95, 340).tick(10), (unsigned)(COURSE_LAP_DONE | COURSE_FINISHED));
        EXPECT_TRUE(p.last.lap == 3 && p.last.cones == 0 && p.last.ticks == 32 && p.best.lap == 3);
        EXPECT_TRUE(t.at(275, 384).tick(1) == 0u && p.knocked[0]) << "after the last lap";
    }
    {   /* R back across the start gate: the lap dropped, its cones nothing and standing again */
        racer t(make_course({vertical(100, 300, 400)}, cones));
        t.ticks(19, 10);
        EXPECT_EQ(t.r.p.now.cones, 1);
        EXPECT_EQ(t.tick(-200, 0, true), (unsigned)COURSE_ABANDONED);
        EXPECT_TRUE(!t.r.p.in_lap && t.r.p.kept->poses.empty() && !t.r.p.knocked[0] && !t.r.p.has_best);
    }
}

/* Catches a ghost a tick out of step with the best lap, one before the first lap; poses kept past an
 * hour or unasked.  One gate at x = 100, 10 px a tick from 95: lap 1 from 105 round to 101. */
TEST_F(Sim, GhostStandsWhereTheBestLapStoodAsFarIntoIt)
{
    racer t(make_course({vertical(100)}));
    EXPECT_EQ(t.tick(10), (unsigned)COURSE_LAP_BEGUN);
    EXPECT_EQ(race_ghost(&t.r), nullptr) << "no lap to beat yet";
    t.ticks(102, 10);
    const course_lap_detail &kept = *t.r.p.kept;
    ASSERT_EQ(kept.best_poses.size(), 103u);
    EXPECT_TRUE(kept.poses.size() == 1 && kept.poses[0].x == 101);
    auto ghost_x = [&] { return race_ghost(&t.r) ? race_ghost(&t.r)->x : -1; };
    std::vector<float> ghost = {ghost_x()};   /* k ticks into lap 2 */
    for (int k = 1; k <= 103; k++) {
        t.tick(5);
        ghost.push_back(ghost_x());
    }
    EXPECT_TRUE(ghost[0] == 105 && ghost[7] == 175 && ghost[93] == 11 && ghost[102] == 101 && ghost[103] == -1);
    for (size_t i = 0; i < COURSE_POSES_MAX; i++)
        t.tick(0);
    EXPECT_EQ(kept.poses.size(), COURSE_POSES_MAX) << "a lap of more than an hour";
    racer lean(make_course({vertical(100)}));
    race_start(&lean.r, &lean.c, false);
    lean.ticks(206, 10);
    EXPECT_TRUE(lean.r.p.last.ticks == 103 && lean.r.p.best.ticks == 102 && lean.r.p.kept->poses.empty()
                && lean.r.p.kept->best_poses.empty());
}

/* Catches a start without its heading, a reset that ignores the course or forgets the heading
 * without one, or a course's start that one car leaks into another's resets. */
TEST_F(Sim, CourseStartIsWhereResetPutsTheCar)
{
    course c = make_course({vertical(100)});
    c.start = {80.5f, 384.25f}, c.heading = 90;
    course_start(&c);
    EXPECT_TRUE(x == 80.5f && y == 384.25f && AxisAngle == 90 && TrueAngle == 90 && Velocity == 0);
    car_state with_course, plain;
    car_out(&with_course);
    with_course.params = KVT;
    car_start(&plain, nullptr);
    for (car_state *v : {&with_course, &plain, &with_course, &plain}) {
        car_in(v);
        ticks(1, {A});
        ticks(200, {UP, LEFT});
        float heading = AxisAngle;
        ticks(1, {UP, R}, controls);
        car_out(v);
        bool course = v == &with_course;
        EXPECT_TRUE(x == (course ? 80.5f : 512) && y == (course ? 384.25f : 384) && TrueVelocity == 0) << course;
        EXPECT_TRUE(AxisAngle == (course ? 90 : heading) && TrueAngle != heading) << course;
    }
}

/* The course file `text` read from x.toml: "" or why it was refused. */
static std::string read_course(const temp_dir &d, const std::string &text, course *c = nullptr)
{
    course k;
    char e[512] = "";
    write_file(d / "x.toml", text);
    return read_course_file((d / "x.toml").c_str(), c ? c : &k, e, sizeof e) == 0 ? "" : e;
}
static const std::string START = "start = { x = 8.0, y = 38.4, heading = 90.0 }\n";
static const std::string GATE = "[[gate]]\na = [14.0, 34.4]\nb = [14.0, 42.4]\n";

/* Catches a bad course accepted, or refused without its file and line or in other words; a course
 * made in code that the index has no room for. */
TEST(CourseFile, BadFilesAreRefusedWithFileAndLine)
{
    std::string gates, cones;
    for (int i = 0; i < 101; i++)
        gates += GATE;
    for (int i = 0; i < 2001; i++)
        cones += "[[cone]]\nat = [26.0, 36.4]\n";
    struct { std::string text, message; } cases[] = {
        {START + "lap = 3\n" + GATE, "2: unknown key \"lap\" (did you mean \"laps\"?)"},
        {START + "colour = 3\n" + GATE, "2: unknown key \"colour\""},
        {"start = { x = 8.0, y = 38.4, heading = 90.0, speed = 3 }\n" + GATE, "1: unknown key \"speed\" in start"},
        {START + GATE + "c = [1, 2]\n", "5: unknown key \"c\" in gate 1 (did you mean \"a\"?)"},
        {START + GATE + GATE + "[[cone]]\nAt = [1, 2]\n", "9: unknown key \"At\" in cone 1 (did you mean \"at\"?)"},
        {START + "[[gate]]\na = [110, 34.4]\nb = [14.0, 42.4]\n", "3: gate 1's a (110, 34.4) is off the screen: x runs 0 to 102.4 m, y 0 to 76.8 m"},
        {START + GATE + "[[cone]]\nat = [26.0, -0.01]\n", "6: cone 1 (26, -0.01) is off the screen: x runs 0 to 102.4 m, y 0 to 76.8 m"},
        {"start = { x = 8.0, y = 76.81, heading = 90.0 }\n" + GATE, "1: start (8, 76.81) is off the screen: x runs 0 to 102.4 m, y 0 to 76.8 m"},
        {START + "timing = [66.5, 0]\n" + GATE, "2: the timing box at (66.5, 0) reaches off the screen: it is 36 m by 6.6 m, so x runs 0 to 66.4 m, y 0 to 70.2 m"},
        {START + "timing = [0, -1]\n" + GATE, "2: timing (0, -1) is off the screen: x runs 0 to 102.4 m, y 0 to 76.8 m"},
        {START + "[[gate]]\na = [14.0, 34.4]\nb = [14.0, 34.4]\n", "2: gate 1 has zero length: a and b are one point"},
        {START, "no gate: a course needs a [[gate]], the first its start and finish"},
        {START + "gate = []\n", "no gate: a course needs a [[gate]], the first its start and finish"},
        {START + gates, "302: more than 100 gates: a course holds at most 100"},
        {START + GATE + cones, "4005: more than 2000 cones: a course holds at most 2000"},
        {START + "penalty = -1\n" + GATE, "2: penalty must be 0 or more seconds, not -1"},
        {START + "laps = -1\n" + GATE, "2: laps must be 0 (no limit) to 2147483647, not -1"},
        {START + "laps = 1.5\n" + GATE, "2: laps takes a whole number (0: no limit), not a fraction"},
        {"start = { x = 8.0, y = 38.4, heading = 360.5 }\n" + GATE, "1: start's heading must be 0 to 360 degrees, clockwise from up, not 360.5"},
        {"start = { x = 8.0, y = 38.4 }\n" + GATE, "1: start has no heading"},
        {"start = [8.0, 38.4]\n" + GATE, "1: start takes a table { x = ..., y = ..., heading = ... }, not an array"},
        {GATE, "no start: start = { x = ..., y = ..., heading = ... } puts the car"},
        {START + "[[gate]]\na = [14.0, 34.4]\n", "2: gate 1 has no b"},
        {START + "gate = 3\n", "2: gate takes [[gate]] tables, not an integer"},
        {START + "gate = [1, 2]\n", "2: gate takes [[gate]] tables, not an array of other things"},
        {START + "[[gate]]\na = \"here\"\nb = [14.0, 42.4]\n", "3: gate 1's a takes [x, y] in metres, not text"},
        {START + "[[gate]]\na = [1, 2, 3]\nb = [14.0, 42.4]\n", "3: gate 1's a takes [x, y] in metres: two numbers, not 3"},
        {START + "[[gate]]\na = [nan, 2]\nb = [14.0, 42.4]\n", "3: the x of gate 1's a is nan: every number must be finite"},
        {START + "[[gate]]\na = [1, true]\nb = [14.0, 42.4]\n", "3: the y of gate 1's a takes a number, not a boolean"},
        {"name = \"two\\nlines\"\n" + START + GATE, "1: name holds a control character (0x0a)"},
        {"name = \"" + std::string(81, 'n') + "\"\n" + START + GATE, "1: name is 81 bytes long; at most 80"},
        {"name = 3\n" + START + GATE, "1: name takes text, not an integer"},
    };
    temp_dir d;
    for (const auto &k : cases)
        EXPECT_EQ(read_course(d, k.text), (k.message.find("no ") == 0 ? d / "x.toml: " : d / "x.toml:") + k.message) << k.text.substr(0, 200);
    course c;   /* made in code past the index's room: refused too */
    for (auto [gates, cones] : {std::pair{COURSE_GATES_MAX + 1, 0}, {0, 0}, {1, COURSE_CONES_MAX + 1}}) {
        c.gates.assign(gates, vertical(100)), c.cones.assign(cones, {1, 1});
        EXPECT_EQ(course_index(&c), -1) << gates << " gates, " << cones << " cones";
    }
}

/* Catches a length rounded twice (to double, then tenfold to float), or defaults other than the
 * file's name, no lap limit and no penalty. */
TEST(CourseFile, LengthsRoundOnceFromMetresToStoredPixels)
{
    struct { const char *x; float px; } cases[] = {
        {"8", 80}, {"8.0", 80}, {"14.05", 140.5f}, {"1_0.5", 105}, {"1.05e1", 105}, {"+1050E-2", 105},
        {"10.00000038146972657", std::bit_cast<float>(0x42c80001u)},   /* via double: 100 */
        {"102.4", 1024}, {"0", 0},
    };
    temp_dir d;
    for (const auto &k : cases) {
        course c;
        ASSERT_EQ(read_course(d, "start = { x = " + std::string(k.x) + ", y = 38.4, heading = 90 }\n" + GATE, &c), "") << k.x;
        EXPECT_BITS(c.start.x, k.px) << k.x;
        EXPECT_TRUE(c.name == "x" && c.laps == 0 && c.penalty == 0 && c.start.y == 384 && c.heading == 90);
    }
}

/* Catches a hash blind to a value of the course (a cone moved by a float step, the penalty,
 * the name, the gates' order) or one that changes with nothing changed or with the timing box. */
TEST(CourseFile, HashTellsCoursesApart)
{
    temp_dir d;
    const std::string cone = "[[cone]]\nat = [26.0, 36.4]\n", other = "[[gate]]\na = [20, 30]\nb = [20, 40]\n";
    const std::string texts[] = {
        START + GATE + other + cone, START + GATE + other + cone + cone, START + other + GATE + cone,
        START + GATE + other + "[[cone]]\nat = [26.0, 36.40001]\n", "penalty = 2\n" + START + GATE + other + cone,
        "name = \"y\"\n" + START + GATE + other + cone, "laps = 1\n" + START + GATE + other + cone,
    };
    std::set<uint64_t> seen;
    for (const std::string &t : texts) {
        course c;
        ASSERT_EQ(read_course(d, t, &c), "");
        EXPECT_TRUE(seen.insert(course_hash(&c)).second) << t;
    }
    course a, b;
    read_course(d, texts[0], &a), read_course(d, "timing = [0, 70.2]\n" + texts[0], &b);
    EXPECT_EQ(course_hash(&a), course_hash(&b)) << "the timing box moved: no drive changes";
    EXPECT_TRUE(a.timing.x == COURSE_TIMING_X && a.timing.y == COURSE_TIMING_Y && b.timing.x == 0 && b.timing.y == 702);
}

/* Catches splits off by one, compared with the wrong gate, lap or sign or with the lap just become
 * best; a lap given beaten by an equal one or not by a quicker; a split left up after R. */
TEST_F(Sim, RaceSplitsAreAgainstTheLapToBeat)
{
    const int N = course_split::NONE, G = course_split::GATE, L = course_split::LAP;
    const unsigned GATE = COURSE_GATE, LAP = COURSE_LAP_DONE | COURSE_LAP_BEGUN;
    const double NO = NAN;   /* nothing compared */
    const char *const what[] = {"no lap given", "a slower lap given", "an equal lap given"};
    /* given: 1.02 or 1.10 s, splits 0.20 and 0.70; lap 1 beats the slower one, not the equal */
    const struct { int n; float dx; unsigned ev; int kind, number; double time, delta[3]; } steps[] = {
        {1, 10, COURSE_LAP_BEGUN, N, 0, 0, {NO, NO, NO}},
        {30, 10, GATE, G, 2, 0.30, {NO, 0.10, 0.10}},
        {30, 10, GATE, G, 3, 0.60, {NO, -0.10, -0.10}},
        {42, 10, LAP, L, 1, 1.02, {NO, -0.08, 0}},
        {15, 20, GATE, G, 2, 0.15, {-0.15, -0.15, -0.05}},
        {60, 5, GATE, G, 3, 0.75, {0.15, 0.15, 0.05}},
        {43, 10, LAP, L, 2, 1.18, {0.16, 0.16, 0.16}},
    };
    for (int c = 0; c < 3; c++) {
        racer t(make_course({vertical(100), vertical(400), vertical(700)}));
        t.r.has_given = c > 0;
        t.r.given.ticks = c == 1 ? 110 : 102, t.r.given.splits[0] = 20, t.r.given.splits[1] = 70;
        for (const auto &s : steps) {
            std::string at = std::string(what[c]) + ", step " + std::to_string(&s - steps);
            EXPECT_EQ(t.ticks(s.n, s.dx), s.ev) << at;
            const course_split &got = t.r.split;
            bool compared = !std::isnan(s.delta[c]);
            EXPECT_TRUE(got.kind == s.kind && got.number == s.number && got.compared == compared)
                << at << ": kind " << got.kind << " number " << got.number;
            EXPECT_NEAR(got.time, s.time, 1e-9) << at;
            EXPECT_NEAR(got.delta, compared ? s.delta[c] : 0, 1e-9) << at;
        }
        EXPECT_EQ(race_best(&t.r), c < 2 ? &t.r.p.best : &t.r.given) << what[c];
        EXPECT_EQ(t.tick(10, 0, true), (unsigned)COURSE_ABANDONED) << what[c];
        EXPECT_EQ(t.r.split.kind, N) << what[c] << ": a split left up after R";
    }
}

/* One line of what a race shows after a tick: events, count, lap, split, lap to beat, ghost. */
static std::string race_seen(const course_race &r, unsigned ev)
{
    const course_progress &p = r.p;
    const course_lap_head *best = race_best(&r);
    const course_pose *g = race_ghost(&r);
    char line[256];
    snprintf(line, sizeof line, "%u tick %llu done %d lap %d cones %d next %d split %d %d %.2f %+.2f best %.2f ghost %g %g",
             ev, (unsigned long long)p.tick, p.laps_done, p.in_lap ? p.now.lap : 0, p.now.cones, p.next_gate,
             (int)r.split.kind, r.split.number, r.split.time, r.split.delta, best ? course_lap_total(r.c, best) : -1.0,
             g ? g->x : -1.0, g ? g->y : -1.0);
    return line;
}

/* Catches a drive counted again from its first tick (a replay's jump back) keeping anything of the
 * first count, or losing the lap given: every tick shows what one count alone shows. */
TEST_F(Sim, RaceAgainCountsTheDriveAfreshKeepingTheLapGiven)
{
    const course c = make_course({vertical(100), vertical(400), vertical(700)}, {{250, 390}}, 3);
    auto drive = [](racer &t, int ticks) {
        static const float speed[] = {10, 20, 5, 10, 7};
        std::vector<std::string> seen;
        x = 95, y = 384, AxisAngle = 90;
        for (int i = 0; i < ticks; i++)
            seen.push_back(race_seen(t.r, t.tick(speed[i / 120])));
        return seen;
    };
    auto given = [](racer &t) {
        t.r.has_given = true;
        t.r.given.ticks = 110, t.r.given.splits[0] = 20, t.r.given.splits[1] = 70;
        t.r.given_poses.assign(111, {1, 2, 3});
    };
    racer once(c), again(c);
    given(once), given(again);
    const std::vector<std::string> want = drive(once, 600);
    drive(again, 350);
    race_again(&again.r);
    const std::vector<std::string> got = drive(again, 600);
    for (size_t i = 0; i < want.size(); i++)
        ASSERT_EQ(got[i], want[i]) << "tick " << i + 1 << " counted again";
    EXPECT_EQ(once.r.p.laps_done, 3) << "the drive is to do every lap";
    EXPECT_TRUE(again.r.has_given && again.r.given_poses.size() == 111) << "the lap given is lost";
}

/* Catches the last lap not finishing the course, laps counted past it, R after it doing nothing, a
 * new run forgetting the best lap, restarting the tick count or not waiting for the start gate. */
TEST_F(Sim, RaceRAfterTheLastLapBeginsTheLapsAgain)
{
    racer t(make_course({vertical(100), vertical(400)}, {}, 1));
    EXPECT_EQ(t.ticks(1 + 30 + 72, 10), (unsigned)(COURSE_LAP_BEGUN | COURSE_GATE | COURSE_LAP_DONE | COURSE_FINISHED));
    ASSERT_TRUE(course_finished(&t.c, &t.r.p) && t.r.p.has_best && t.r.p.laps_done == 1);
    EXPECT_EQ(t.ticks(103, 10), 0u) << "laps after the last";
    EXPECT_EQ(t.at(95, y).tick(10, 0, true), 0u) << "the tick with R passes no gate";
    EXPECT_FALSE(course_finished(&t.c, &t.r.p));
    uint64_t tick = t.r.p.tick;
    EXPECT_EQ(t.at(95, y).ticks(1, 10), (unsigned)COURSE_LAP_BEGUN) << "over the start gate";
    EXPECT_TRUE(t.r.p.now.lap == 1 && t.r.p.now.start_tick == tick + 1 && race_best(&t.r) == &t.r.p.best
                && t.r.p.best.ticks == 102 && race_ghost(&t.r) != nullptr);
}
