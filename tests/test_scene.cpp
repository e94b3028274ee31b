/* The driving view's texts and the title screen, composed in memory. */
#include <cstring>
#include <map>
#include "course/race.h"
#include "present/chart.h"
#include "present_support.h"

/* Telemetry row n (from 1, as on screen); dashboard line -n for n < 0. */
static std::string row(int n)
{
    char s[64];
    n < 0 ? dashboard_text(-n - 1, s, sizeof s) : telemetry_text(n - 1, s, sizeof s);
    return s;
}

/* Catches a line worked out in the wrong form: drag / 20000, per tick, the full engine speed,
 * the turn from Velocity, "Speed" from the ground's speed. */
TEST_F(Frame, DashboardAndWorkedOutRows)
{
    struct { std::function<void()> set; int row; const char *text; } cases[] = {
        {[] { Gear = -1; }, -1, "Gear:-1"},
        {[] { Velocity = -2.5f; }, -2, "Velocity:-2.50"},
        {[] { Velocity = -2.5f; }, -3, "Speed:-9.0"},
        {[] { Velocity = 10; TrueVelocity = 5; }, -3, "Speed:36.0"},
        {[] { EngineRev = 3456.0076f; }, -4, "RPM = 3456.008"},
        {[] {}, 22, "Clutch Mult = 1.000"},
        {[] {}, 25, "TotalResistance = 0.327"},
        {[] { Gear = 1; Velocity = 10; }, 26, "RPM from Velocity = 34.560"},
        {[] { Gear = 1; EngineRev = 2000; PedalAccelerator = 1; }, 24, "TotalAcceleration = 2.516"},
        {[] { Gear = -1; EngineRev = 2000; PedalAccelerator = 1; }, 24, "TotalAcceleration = -2.952"},
        {[] { EngineRev = 3896; }, 23, "GetTorque = 357.000"},
        {[] { TrueVelocity = 10; }, 18, "Drag = 108.334"},
        {[] { TrueVelocity = 10; PedalBrake = 1; }, 25, "TotalResistance = 2.378"},
        {[] { DrivingWheelTurning = 1; TrueVelocity = 10; Velocity = -50; }, 27, "Turn = 1.385"},
        {[] { TrueVelocity = 12; Velocity = 11; }, 12, "Velocity Slip = -1.000"},
    };
    for (auto &c : cases) {
        sim_start(), c.set();
        EXPECT_EQ(row(c.row), c.text) << "after setting " << c.text;
    }
}

/* Catches a row showing another variable than its label names (all 20 such rows). */
TEST_F(Frame, EachRowShowsTheVariableItNames)
{
    std::map<std::string, std::string> shown;
    float v = 0.25f;
    char s[64];
#define SHOW(type, name, start) \
    name = (type)(v += 1), snprintf(s, sizeof s, #type[0] == 'i' ? "%.0f" : "%.3f", (double)name), shown[#name] = s;
    SIM_STATE(SHOW)
    Gear = 1;   /* not shown; picks the ratio */
    const std::map<std::string, std::string> alias = {{"Accelerator", "PedalAccelerator"}, {"Brake", "PedalBrake"},
        {"Clutch", "PedalClutch"}, {"FinalTransmission", "TransmissionTotal"}, {"Traction State", "TractionSlip"}};
    int rows = 0;
    for (int n = 1; n <= TELEMETRY_ROWS; n++) {
        std::string r = row(n), label = r.substr(0, r.find(" = "));
        std::string name = alias.count(label) ? alias.at(label) : label;
        if (shown.count(name)) {
            EXPECT_EQ(r, label + " = " + shown[name]) << "row " << n;
            rows++;
        }
    }
    EXPECT_EQ(rows, 20);
}

/* Catches text out of its 8x8-font box or not white, a background not black. */
TEST_F(Frame, TitleScreenIsWhiteTextOnBlack)
{
    draw_title(buffer);
    const int white = makecol(255, 255, 255), black = makecol(0, 0, 0);
    int ink[TITLE_TEXTS + 1] = {};
    for (int py = 0; py < 768; py++)
        for (int px = 0, c, in; px < 1024; px++) {
            for (in = 0; in < TITLE_TEXTS; in++) {
                const title_text &t = title_texts[in];
                if (box{t.col, t.row, t.col + 8 * (int)strlen(t.text), t.row + 8}.has(px, py))
                    break;
            }
            c = getpixel(buffer, px, py);
            ASSERT_TRUE(c == black || (c == white && in < TITLE_TEXTS)) << "at " << px << "," << py;
            ink[in] += c == white;
        }
    for (int i = 0; i < TITLE_TEXTS; i++)
        EXPECT_GT(ink[i], 10) << title_texts[i].text;
}

/* Catches a float converted to int beyond its range, undefined (the sanitized build stops at it):
 * NaN, infinities and far values as the car's place and heading, in the chart, the ghost and times. */
TEST_F(Frame, ExtremeStatesDrawWithoutConvertingThemToInt)
{
    const float wild[] = {NAN, -NAN, INFINITY, -INFINITY, 1e30f, -3e9f, 40000.5f};
    chart_clear();
    chart_shown = true;
    for (float v : wild)
        for (int what = 0; what < 2; what++) {
            sim_start();
            (what ? AxisAngle : x) = v;   /* a wild heading where the car is, or a wild place */
            Velocity = TrueVelocity = EngineRev = TrueAngle = v;
            chart_record();
            draw_frame(buffer);
            int red = 0;   /* the car sprite's pixels, above the chart's panel */
            for (int py = 0; py < CHART_PANEL_TOP; py++)
                for (int px = 0, c; px < 1024; px++)
                    red += (c = getpixel(buffer, px, py), getr(c) > 150 && getg(c) < 100 && getb(c) < 100);
            EXPECT_EQ(red > 100, what && std::isfinite(v)) << v << (what ? " as heading" : " as x");
        }
    chart_shown = false;
    course c;   /* the ghost's place and heading, and times in the timing box */
    c.name = "wild", c.start = {50, 384}, c.heading = 90, c.laps = 0, c.penalty = 3e38f, c.gates = {{{100, 300}, {100, 400}}};
    ASSERT_EQ(course_index(&c), 0);
    course_race r;
    race_start(&r, &c);
    r.p.in_lap = r.has_given = true, r.p.now.cones = 2, r.p.tick = r.p.now.start_tick = UINT64_MAX;
    r.given.ticks = UINT64_MAX, r.given.cones = INT32_MAX, view_race = &r;
    for (float v : wild)
        for (int what = 0; what < 2; what++) {
            r.given_poses = {what ? course_pose{200, 200, v} : course_pose{v, -v, 0}};
            r.split = {course_split::GATE, true, 2, v, v};
            draw_frame(buffer);
        }
    view_race = nullptr;
}
