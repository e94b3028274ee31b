/* A course over the driving view: the timing box's texts, cones, gates and the ghost drawn. */
#include "course/race.h"
#include "present_support.h"

/* A course made here, in px: three gates, a cone on the line and one off it, 3 laps. */
static course test_course(void)
{
    course c;
    c.name = "Slalom", c.start = {50, 384}, c.heading = 90, c.laps = 3, c.penalty = 2;
    c.gates = {{{100, 300}, {100, 400}}, {{400, 300}, {400, 400}}, {{700, 300}, {700, 400}}};
    c.cones = {{300, 200}, {600, 200}};
    EXPECT_EQ(course_index(&c), 0);
    return c;
}

/* A lap of `ticks` ticks with `cones` knocked. */
static course_lap lap_of(int number, uint64_t ticks, int cones = 0)
{
    course_lap l = {};
    return l.lap = number, l.ticks = ticks, l.cones = cones, l;
}
/* The frame with race r over it; the view then back to no race. */
static void draw_race(course_race &r)
{
    view_race = &r;
    draw_frame(buffer);
    view_race = nullptr;
}

/* Catches a line that misreads the race (countdown, lap, time, cones, limit, totals, the ghost's lap,
 * a split's sign or rounding, a gate gone by, the gear hint, the next target), a name cut badly. */
TEST(CourseView, TimingBoxSaysWhereTheRaceStands)
{
    const std::string wide(TIMING_CHARS, 'n');
    struct { const char *what; std::function<void(course_race &, course &)> set; std::string lines[TIMING_LINES];
             const char *delta; int sign; } cases[] = {
        {"before the start", [](course_race &, course &) {}, {"Slalom", "To the start gate", "Last -  Best -", ""}, "", 0},
        {"lap 2, a gate ahead", [](course_race &r, course &) {
             r.p.in_lap = true, r.p.tick = 2607, r.p.now = lap_of(2, 0, 1), r.p.now.start_tick = 1373;
             r.p.has_best = true, r.p.last = r.p.best = lap_of(1, 946);
             r.split = {course_split::GATE, true, 3, 4.09, -0.125};
         }, {"Slalom", "Lap 2 of 3  12.34  1 cone", "Last 9.46  Best 9.46", "Gate 3  4.09"}, "-0.12", -1},
        {"no limit, a lap behind", [](course_race &r, course &c) {
             c.laps = 0, r.p.in_lap = true, r.p.tick = 105, r.p.now = lap_of(7, 0, 2), r.p.now.start_tick = 100;
             r.p.has_best = true, r.p.last = lap_of(6, 1000, 1), r.p.best = lap_of(4, 900);
             r.split = {course_split::LAP, true, 6, 12, 3};
         }, {"Slalom", "Lap 7  0.05  2 cones", "Last 12.00  Best 9.00", "Lap 6  12.00"}, "+3.00", 1},
        {"done, the last lap level", [](course_race &r, course &) {
             r.p.laps_done = 3, r.p.has_best = true, r.p.last = r.p.best = lap_of(3, 671);
             r.split = {course_split::LAP, true, 3, 6.71, 0};
         }, {"Slalom", "Finished, 3 laps: R to go again", "Last 6.71  Best 6.71", "Lap 3  6.71"}, "+0.00", 0},
        {"a ghost's lap to beat, nothing compared", [](course_race &r, course &) {
             r.has_given = true, r.given = lap_of(1, 800);
             r.p.has_best = true, r.p.last = r.p.best = lap_of(1, 946);
             r.split = {course_split::GATE, false, 2, 2.28, 0};
         }, {"Slalom", "To the start gate", "Last 9.46  Best 8.00 (ghost)", "Gate 2  2.28"}, "", 0},
        {"the countdown's first second", [](course_race &r, course &) { r.p.standing = true, r.p.countdown = 300; },
         {"Slalom", "Get ready  3", "Last -  Best -", "", ""}, "", 0},
        {"the countdown's last tick", [](course_race &r, course &) { r.p.standing = true, r.p.countdown = 1; },
         {"Slalom", "Get ready  1", "Last -  Best -", "", ""}, "", 0},
        {"a gate gone by, over the split", [](course_race &r, course &) {
             r.p.in_lap = true, r.p.tick = 150, r.p.now = lap_of(1, 0), r.p.now.start_tick = 100, r.p.missed = 4;
             r.split = {course_split::GATE, true, 3, 0.30, -0.125};
         }, {"Slalom", "Lap 1 of 3  0.50", "Last -  Best -", "Missed gate 4: back to it", ""}, "", 0},
        {"Up held in neutral, over the gate gone by", [](course_race &r, course &) {
             r.p.in_lap = true, r.p.tick = 150, r.p.now = lap_of(1, 0), r.p.now.start_tick = 100, r.p.missed = 4;
             Gear = 0, KeyMask = 1u << SIM_UP;
         }, {"Slalom", "Lap 1 of 3  0.50", "Last -  Best -", "A: first gear", ""}, "", 0},
        {"targets, bronze beaten", [](course_race &r, course &) {
             r.targets = {{"bronze", 11.57}, {"silver", 8.60}, {"gold", 6.69}};
             r.p.has_best = true, r.p.last = r.p.best = lap_of(1, 900);
         }, {"Slalom", "To the start gate", "Last 9.00  Best 9.00", "", "Next target: silver 8.60"}, "", 0},
        {"targets, every one beaten", [](course_race &r, course &) {
             r.targets = {{"bronze", 11.57}, {"silver", 8.60}, {"gold", 6.69}};
             r.p.has_best = true, r.p.last = r.p.best = lap_of(1, 600);
         }, {"Slalom", "To the start gate", "Last 6.00  Best 6.00", "", "Every target beaten"}, "", 0},
        {"a name of 80 bytes", [](course_race &, course &c) { c.name = std::string(80, 'n'); },
         {wide, "To the start gate", "Last -  Best -", ""}, "", 0},
        {"a name cut before a character", [&](course_race &, course &c) { c.name = wide.substr(1) + "\u00e9t\u00e9"; },
         {wide.substr(1), "To the start gate", "Last -  Best -", ""}, "", 0},
    };
    for (const auto &k : cases) {
        course c = test_course();
        course_race r;
        race_start(&r, &c);
        k.set(r, c);
        char text[128];
        for (int i = 0; i < TIMING_LINES; i++) {
            timing_text(&r, i, text, sizeof text);
            EXPECT_EQ(text, k.lines[i]) << k.what << ", line " << i;
        }
        EXPECT_EQ(timing_delta_text(&r, text, sizeof text), k.sign) << k.what;
        EXPECT_STREQ(text, k.delta) << k.what;
        Gear = 0, KeyMask = 0;
    }
}

/* Catches a course drawn unasked or leaving a trace; a cone not falling or standing again, the next
 * gate unmarked, a ghost solid, misplaced or a tick off, a split's colour, a stale course drawn. */
TEST_F(Frame, CourseDrawnOverTheViewAndGoneWithout)
{
    x = 512, y = 600, AxisAngle = 0;
    draw_frame(buffer);
    BITMAP *plain = create_bitmap(1024, 768), *solid = create_bitmap(1024, 768);
    blit(buffer, plain, 0, 0, 0, 0, 1024, 768);
    blit(buffer, solid, 0, 0, 0, 0, 1024, 768);
    pivot_sprite(solid, kvtcar, 800, 550, 13, 25, itofix(64));   /* the car, solid, where the ghost goes */

    course c = test_course();
    course_race r;
    race_start(&r, &c);
    r.p.in_lap = true, r.p.tick = 12, r.p.now = lap_of(1, 0), r.p.now.start_tick = 10, r.p.next_gate = 1;
    r.p.knocked = {0, 1};
    r.has_given = true, r.given = lap_of(1, 100);
    r.given_poses.assign(101, {300, 300, 0});
    r.given_poses[2] = {800.5f, 550, 90};   /* two ticks into its lap */
    r.split = {course_split::GATE, true, 2, 1, 0.5};
    draw_race(r);

    auto rgb = [](int c) { return std::vector<int>{getr(c), getg(c), getb(c)}; };
    auto at = [&](int px, int py) { return rgb(getpixel(buffer, px, py)); };
    EXPECT_EQ(at(303, 200), rgb(makecol(255, 120, 0))) << "the standing cone";
    EXPECT_NE(at(603, 200), rgb(makecol(255, 120, 0))) << "the knocked cone still standing";
    EXPECT_EQ(at(600, 203), rgb(makecol(150, 70, 20))) << "the knocked cone lying";
    EXPECT_EQ(at(400, 300), rgb(makecol(255, 220, 0))) << "the next gate's post";
    EXPECT_EQ(at(400, 350), rgb(makecol(255, 220, 0))) << "the next gate's line";
    EXPECT_EQ(at(700, 400), rgb(makecol(30, 80, 230))) << "a gate's post";
    EXPECT_EQ(at(100, 400), rgb(makecol(255, 255, 255))) << "the start gate's post";
    EXPECT_EQ(at(COURSE_TIMING_X + 2, COURSE_TIMING_Y + 2), rgb(makecol(0, 0, 0))) << "the timing box";
    int red = 0;
    for (int px = COURSE_TIMING_X; px < COURSE_TIMING_X + TIMING_W; px++)
        red += at(px, COURSE_TIMING_Y + 6 + 36 + 3) == rgb(makecol(255, 70, 70));
    EXPECT_GT(red, 3) << "a split behind the lap to beat in red";

    int ghosted = 0, solid_car = 0;   /* the ghost's pixels: between the tarmac and the solid car */
    for (int py = 500; py < 600; py++)
        for (int px = 750; px < 850; px++) {
            int p = getpixel(plain, px, py), s = getpixel(solid, px, py), g = getpixel(buffer, px, py);
            solid_car += s != p;
            if (g == p)
                continue;
            ghosted++;
            EXPECT_TRUE(s != p && g != s) << "at " << px << "," << py << ": not a translucent car";
        }
    EXPECT_GT(solid_car, 500);
    EXPECT_EQ(ghosted, solid_car);

    c.cones[0] = {320, 220}, r.p.knocked = {0, 0};   /* the course is drawn once and kept: not stale */
    draw_race(r);
    EXPECT_TRUE(at(303, 200) != rgb(makecol(255, 120, 0)) && at(323, 220) == rgb(makecol(255, 120, 0)))
        << "a cone moved, drawn where it was";
    EXPECT_EQ(at(603, 200), rgb(makecol(255, 120, 0))) << "a cone stood again, drawn fallen";

    draw_frame(buffer);
    for (int py = 0; py < 768; py++)
        ASSERT_EQ(memcmp(buffer->line[py], plain->line[py], 1024 * 2), 0) << "row " << py << " after the course is gone";
    destroy_bitmap(plain);
    destroy_bitmap(solid);
}

/* Whether a point, with `margin` px around it, reaches into box b. */
static bool under(const view_box &b, double x, double y, double margin)
{
    return x + margin >= b.x0 && x - margin < b.x1 && y + margin >= b.y0 && y - margin < b.y1;
}

/* Calls fn at every 2 px of the straight line from a to b, the short way across the edges. */
template <class F> static void along(course_point a, course_point b, F fn)
{
    auto short_way = [](double d, double size) { return d > size / 2 ? d - size : d < -size / 2 ? d + size : d; };
    double dx = short_way((double)b.x - a.x, 1024), dy = short_way((double)b.y - a.y, 768);
    int steps = (int)(std::hypot(dx, dy) / 2) + 1;
    for (int k = 0; k <= steps; k++) {
        double px = a.x + dx * k / steps, py = a.y + dy * k / steps;
        fn(std::fmod(px + 1024, 1024), std::fmod(py + 768, 768));
    }
}

static course_point middle(const course_gate &g) { return {(g.a.x + g.b.x) / 2, (g.a.y + g.b.y) / 2}; }

/* Catches a shipped course moved under the telemetry, the dashboard or the chart, a timing box
 * set over a gate, and a box moved over a course. */
TEST_F(Frame, ShippedCoursesLieClearOfEveryBox)
{
    for (const char *name : {"slalom", "figure8", "autocross"}) {
        SCOPED_TRACE(name);
        course c = course_in(std::string(CARAVELT_DATA_DIR "/courses/") + name + ".toml");
        for (const view_box &b : course_view_boxes(&c)) {
            auto clear = [&](const char *what, double x, double y, double margin) {
                EXPECT_FALSE(under(b, x, y, margin)) << what << " at " << x << "," << y << " under " << b.what;
            };
            for (const course_gate &g : c.gates)
                for (course_point q : {g.a, g.b, gate_number_at(g)})
                    clear("a gate post or number", q.x, q.y, 5);
            for (course_point k : c.cones)
                clear("a cone", k.x, k.y, 5);
            clear("the start", c.start.x, c.start.y, 25);
            clear("the standing start", middle(c.gates[0]).x, middle(c.gates[0]).y, 25);
            /* the car's line, as straight as it goes: half the car's width either side */
            for (size_t g = 0; g < c.gates.size(); g++)
                along(middle(c.gates[g]), middle(c.gates[(g + 1) % c.gates.size()]),
                      [&](double x, double y) { clear("the line between gates", x, y, 12); });
            along(c.start, middle(c.gates[0]), [&](double x, double y) { clear("the way to the start gate", x, y, 12); });
        }

        /* and drawn so: every box up, each post and cone's centre still its own colour */
        course_race r;
        race_start(&r, &c);
        course_start(&c);
        chart_shown = paused_shown = true;
        snprintf(replay_progress, sizeof replay_progress, "0:24.36 of 1:10.06  1x");
        draw_race(r);
        chart_shown = paused_shown = false;
        replay_progress[0] = '\0';
        for (size_t g = 0; g < c.gates.size(); g++)
            for (course_point q : {c.gates[g].a, c.gates[g].b}) {
                int col = getpixel(buffer, (int)q.x, (int)q.y);
                EXPECT_TRUE(col == makecol(255, 220, 0) || col == makecol(255, 255, 255) || col == makecol(30, 80, 230))
                    << "gate " << g + 1 << "'s post at " << q.x << "," << q.y << " hidden";
            }
        for (course_point k : c.cones)
            EXPECT_EQ(getpixel(buffer, (int)k.x, (int)k.y), makecol(255, 255, 255)) << "the cone at " << k.x << "," << k.y << " hidden";
    }
}

/* Catches a result missing a lap, a penalty, the sum, a target or the keys, or drawn early or never;
 * a gate gone by not in red; the ghost in the car's red; hidden telemetry drawn; the arrow wrong. */
TEST_F(Frame, ResultRouteAndGhostAreDrawnAsSaid)
{
    course c = test_course();
    course_race r;
    race_start(&r, &c);
    r.targets = {{"bronze", 11.57}, {"silver", 8.60}, {"gold", 6.69}};
    r.laps = {lap_of(1, 946), lap_of(2, 666, 1), lap_of(3, 671)};
    r.p.laps_done = 3, r.p.has_best = true, r.p.last = r.p.best = r.laps[2];
    const char *want[] = {"Result: Slalom", "", "Lap 1  9.46  0 cones  9.46", "Lap 2  6.66  1 cone  8.66",
                          "Lap 3  6.71  0 cones  6.71", "Total 24.83   Best 6.71", "Targets beaten: bronze, silver", "",
                          "R: go again   Q: title screen   Escape: quit"};
    char text[128];
    for (int i = 0; i < 9; i++) {
        ASSERT_TRUE(result_text(&r, i, text, sizeof text)) << i;
        EXPECT_STREQ(text, want[i]) << i;
    }
    EXPECT_FALSE(result_text(&r, 9, text, sizeof text));

    x = 50, y = 384, AxisAngle = 90;
    auto drawn = [&] { draw_race(r); };
    auto count = [&](int x0, int y0, int w, int h, auto is) {
        int n = 0;
        for (int py = y0; py < y0 + h; py++)
            for (int px = x0; px < x0 + w; px++)
                n += is(getpixel(buffer, px, py));
        return n;
    };
    const int yellow = makecol(255, 220, 0), red = makecol(255, 70, 70), black = makecol(0, 0, 0);
    drawn();
    EXPECT_EQ(getpixel(buffer, 512, 384 - 9 * 6 - 4), black) << "the result's box";
    EXPECT_GT(count(312, 300, 400, 160, [&](int p) { return p == yellow; }), 400) << "the result's border";

    race_start(&r, &c);   /* lap 1 under way, gate 2 (x = 400) gone by, gate 3 far */
    r.p.in_lap = true, r.p.tick = 50, r.p.now = lap_of(1, 0), r.p.next_gate = 1, r.p.missed = 2;
    const int line3 = COURSE_TIMING_Y + 6 + 12 * TIMING_SPLIT_LINE;
    drawn();
    EXPECT_GT(count(COURSE_TIMING_X, line3, TIMING_W, 8, [&](int p) { return p == red; }), 30) << "gate gone by in red";
    EXPECT_EQ(count(420, 310, 260, 140, [&](int p) { return p == black; }), 0) << "a result before the last lap";
    EXPECT_GT(count(82, 376, 16, 16, [&](int p) { return p == yellow; }), 20) << "no arrow to the far gate";
    r.p.next_gate = 0, r.p.missed = 0;
    drawn();
    EXPECT_EQ(count(82, 376, 16, 16, [&](int p) { return p == yellow; }), 0) << "an arrow to the near gate";

    /* the column's text is black; nothing else of this course is in its upper part, below the timing box */
    EXPECT_GT(count(TELEMETRY_COL, 110, TELEMETRY_W, 170, [&](int p) { return p == black; }), 500);
    telemetry_shown = false;
    drawn();
    telemetry_shown = true;
    EXPECT_EQ(count(TELEMETRY_COL, 110, TELEMETRY_W, 170, [&](int p) { return p == black; }), 0)
        << "the telemetry drawn while hidden";

    r.has_given = true, r.given = lap_of(1, 100), r.given_poses.assign(100, course_pose{800, 550, 45});
    r.p.next_gate = 1;
    drawn();
    EXPECT_GT(count(770, 520, 64, 64, [](int p) { return getb(p) > getr(p) + 35; }), 300) << "no pale blue ghost";
    EXPECT_EQ(count(770, 520, 64, 64, [](int p) { return getr(p) > getb(p) + 35; }), 0) << "the ghost in the car's red";
}
