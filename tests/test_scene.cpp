/*
 * The driving view and the title screen composed in memory: texts, the
 * sprite's pivot and angle units; the tarmac the game ships is light
 * enough for black text.
 */
#include <cmath>
#include <cstring>
#include <functional>
#include <map>

#include "present_support.h"

/* Telemetry row n (from 1, as on screen); dashboard line -n for n < 0. */
static std::string row(int n)
{
    char s[64];
    n < 0 ? dashboard_text(-n - 1, s, sizeof s) : telemetry_text(n - 1, s, sizeof s);
    return s;
}

/* Dashboard lines (rows -1 to -4 here) and the telemetry rows worked out
 * on the spot, each in its own form: no division by 20000 for drag, per
 * second rather than per tick, a hundredth of the engine speed, the turn
 * from TrueVelocity. */
TEST_F(Frame, DashboardAndWorkedOutRows)
{
    struct { std::function<void()> set; int row; const char *text; } cases[] = {
        {[] { Gear = -1; }, -1, "Gear:-1"},
        {[] { Velocity = -2.5f; }, -2, "Velocity:-2.50"},
        {[] { Velocity = -2.5f; }, -3, "Speed:-9.0"},
        {[] { Velocity = 10; TrueVelocity = 5; }, -3, "Speed:36.0"},   /* the wheels' speed */
        {[] { EngineRev = 3456.0076f; }, -4, "RPM = 3456.008"},
        {[] {}, 22, "Clutch Mult = 1.000"},
        {[] {}, 23, "GetTorque = 0.000"},
        {[] {}, 25, "TotalResistance = 0.327"},
        {[] { Gear = 1; Velocity = 10; }, 26, "RPM from Velocity = 34.560"},
        {[] { Gear = -1; Velocity = 10; }, 26, "RPM from Velocity = -40.551"},
        {[] { Gear = 1; EngineRev = 2000; PedalAccelerator = 1; }, 24, "TotalAcceleration = 2.516"},
        {[] { Gear = -1; EngineRev = 2000; PedalAccelerator = 1; }, 24, "TotalAcceleration = -2.952"},
        {[] { EngineRev = 3896; }, 23, "GetTorque = 357.000"},
        {[] { TrueVelocity = 10; }, 18, "Drag = 108.334"},
        {[] { TrueVelocity = 10; PedalBrake = 1; }, 25, "TotalResistance = 2.378"},
        {[] { DrivingWheelTurning = 1; TrueVelocity = 10; Velocity = -50; }, 27, "Turn = 1.385"},
        {[] { TrueVelocity = 12; Velocity = 11; }, 12, "Velocity Slip = -1.000"},
    };
    for (auto &c : cases) {
        sim_start();
        c.set();
        EXPECT_EQ(row(c.row), c.text);
    }
}

static std::string shown_text(int i) { return std::to_string(i); }
static std::string shown_text(float f)
{
    char s[64];
    snprintf(s, sizeof s, "%.3f", f);
    return s;
}

/* Every variable a different value: each row that shows one variable
 * shows the one its label names. */
TEST_F(Frame, EachRowShowsTheVariableItNames)
{
    std::map<std::string, std::string> shown;
    float v = 0.25f;
#define SHOW(type, name, start) name = (type)(v += 1); shown[#name] = shown_text(name);
    SIM_STATE(SHOW)
    Gear = 1;   /* not shown; picks the ratio */
    const std::map<std::string, std::string> alias = {{"Accelerator", "PedalAccelerator"},
        {"Brake", "PedalBrake"}, {"Clutch", "PedalClutch"},
        {"FinalTransmission", "TransmissionTotal"}, {"Traction State", "TractionSlip"}};
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

/* A sprite of mask colour but for its pivot pixel (red) and a nose pixel
 * (green) 25 px ahead of it. */
TEST_F(Frame, SpritePivotAndHeadingIn256thsOfATurn)
{
    BITMAP *s = create_bitmap(27, 51);
    const int red = makecol(255, 0, 0), green = makecol(0, 255, 0);
    clear_to_color(s, bitmap_mask_color(s));
    putpixel(s, 13, 25, red);
    putpixel(s, 13, 0, green);
    kvtcar = s;
    auto near = [](int px, int py, int colour) {   /* within a pixel */
        for (int i = 0; i < 9; i++)
            if (getpixel(buffer, px + i % 3 - 1, py + i / 3 - 1) == colour)
                return true;
        return false;
    };
    struct { float x, y, angle; int px, py, nose_x, nose_y; } cases[] = {
        {511.9f, 383.2f, 0, 511, 383, 511, 358},  /* truncated, nose up */
        {-0.4f, 200, 0, 0, 200, 0, 175},
        {512, 384, 90, 512, 384, 537, 384},       /* quarter turn clockwise */
        {512, 384, -90, 512, 384, 487, 384},
        {512, 384, 360, 512, 384, 512, 359},      /* a full turn: as at 0 */
    };
    for (auto c : cases) {
        x = c.x, y = c.y, AxisAngle = c.angle;
        draw_frame(buffer);
        EXPECT_TRUE(near(c.px, c.py, red)) << "pivot at " << c.x << "," << c.y;
        EXPECT_TRUE(near(c.nose_x, c.nose_y, green)) << "nose at " << c.angle;
    }
    destroy_bitmap(s);
}

/* White text in its boxes (the library's font is 8 by 8), some in each;
 * black everywhere else. */
TEST_F(Frame, TitleScreenIsWhiteTextOnBlack)
{
    draw_title(buffer);  /* over the fixture's blue */
    const int white = makecol(255, 255, 255), black = makecol(0, 0, 0);
    int ink[TITLE_TEXTS] = {};
    for (int py = 0; py < 768; py++)
        for (int px = 0, c, in; px < 1024; px++) {
            for (in = 0; in < TITLE_TEXTS; in++) {
                const title_text &t = title_texts[in];
                if (box{t.col, t.row, t.col + 8 * (int)strlen(t.text), t.row + 8}.has(px, py))
                    break;
            }
            c = getpixel(buffer, px, py);
            ASSERT_TRUE(c == black || (c == white && in < TITLE_TEXTS)) << "at " << px << "," << py;
            if (c == white)
                ink[in]++;
        }
    for (int n : ink)
        EXPECT_GT(n, 10) << "a text box is empty";
}

/* Black text keeps 4.5:1 contrast where the text stands: relative
 * luminance at least 0.175, from the file's own 24-bit colours. */
TEST(Pictures, TarmacBehindTheTextIsLightEnoughForBlack)
{
    start_library();
    set_color_depth(32);
    char why[256];
    BITMAP *t = load_picture(CARAVELT_DATA_DIR "/tarmac.bmp", why, sizeof why);
    set_color_depth(16);
    ASSERT_TRUE(t && t->w >= 1024 && t->h >= 768) << why;
    auto lin = [](int v) { double s = v / 255.0; return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4); };
    for (int py = 100; py < 380; py++)   /* the telemetry, then the dashboard */
        for (int px = 0, c; px < 1024; px++) {
            c = getpixel(t, px, py);
            bool text = (px >= 100 && px < 400) || (px >= 900 && py >= 300 && py < 340);
            ASSERT_TRUE(!text || 0.2126 * lin(getr32(c)) + 0.7152 * lin(getg32(c)) + 0.0722 * lin(getb32(c)) >= 0.175)
                << px << "," << py;
        }
    destroy_bitmap(t);
}
