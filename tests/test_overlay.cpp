/*
 * The telemetry column's values as printed, the title screen composed in
 * memory, and the pictures the game ships.
 */
#include <cmath>

#include "present_support.h"

static std::string row(int n)  /* rows numbered from 1, as on screen */
{
    char s[64];
    telemetry_text(n - 1, s, sizeof s);
    return s;
}

TEST_F(Frame, TelemetryAtRest)
{
    EXPECT_EQ(row(1), "Accelerator = 0.000");
    EXPECT_EQ(row(2), "Brake = 0.000");
    EXPECT_EQ(row(3), "Clutch = 0.000");
    EXPECT_EQ(row(22), "Clutch Mult = 1.000");
    EXPECT_EQ(row(23), "GetTorque = 0.000");
    EXPECT_EQ(row(24), "TotalAcceleration = 0.000");
    EXPECT_EQ(row(25), "TotalResistance = 0.327");
    EXPECT_EQ(row(26), "RPM from Velocity = 0.000");
    EXPECT_EQ(row(27), "Turn = 0.000");
    EXPECT_EQ(row(28), "Traction State = 0");
    for (int n : {6, 7, 8, 9, 13, 14, 16, 20, 21})
        EXPECT_EQ(row(n).substr(row(n).size() - 8), " = 0.000") << row(n);
}

TEST_F(Frame, TelemetryRowsInTheirOwnForm)
{
    Gear = 1;
    Velocity = 10;
    EXPECT_EQ(row(26), "RPM from Velocity = 34.560");  /* a hundredth of the engine speed */

    TrueVelocity = 10;
    EXPECT_EQ(row(18), "Drag = 108.334");               /* not over 20000 */
    PedalBrake = 1;
    EXPECT_EQ(row(25), "TotalResistance = 2.378");

    DrivingWheelTurning = 1;
    Velocity = -50;                                    /* uses TrueVelocity */
    EXPECT_EQ(row(27), "Turn = 1.385");

    TrueVelocity = 12;
    Velocity = 11;
    EXPECT_EQ(row(12), "Velocity Slip = -1.000");

    TransmissionTotal = 11.943f;
    EXPECT_EQ(row(19), "FinalTransmission = 11.943");
    TractionSlip = 1;
    EXPECT_EQ(row(28), "Traction State = 1");
}

TEST_F(Frame, TelemetryGearSignsAndNeutral)
{
    EngineRev = 2000;
    PedalAccelerator = 1;
    Velocity = 5;

    Gear = 0;
    EXPECT_EQ(row(24), "TotalAcceleration = 0.000");
    EXPECT_EQ(row(26), "RPM from Velocity = 0.000");

    Gear = 1;
    std::string fwd_acc = row(24), fwd_rpm = row(26);
    Gear = -1;
    EXPECT_EQ(row(24).find("-"), std::string("TotalAcceleration = ").size());
    EXPECT_EQ(row(26).find("-"), std::string("RPM from Velocity = ").size());
    EXPECT_EQ(fwd_acc.find("-"), std::string::npos);
    EXPECT_EQ(fwd_rpm.find("-"), std::string::npos);

    /* torque row: the sine curve at the engine speed */
    EngineRev = 3896;
    EXPECT_EQ(row(23), "GetTorque = 357.000");
}

TEST_F(Frame, DrawingChangesNoState)
{
    Gear = 2;
    ticks(1, {SIM_KEY_UP});
    Velocity = 7.25f;
    TrueVelocity = 7;
    AxisAngle = 33;
    TrueAngle = 30;
    uint64_t before = state_hash();
    draw_frame(buffer);
    EXPECT_EQ(state_hash(), before);
    EXPECT_EQ(0, memcmp(GearReduction, KVT.GearReduction, sizeof GearReduction));
}

TEST_F(Frame, TitleScreenIsWhiteTextOnBlack)
{
    clear_to_color(buffer, makecol(0, 128, 255));
    draw_title(buffer);

    std::vector<box> boxes;
    for (const title_text &t : title_texts)
        boxes.push_back(text_box(t.col, t.row, t.text));
    std::vector<int> white(boxes.size());
    for (int py = 0; py < 768; py++)
        for (int px = 0; px < 1024; px++) {
            bool in = false;
            for (size_t b = 0; b < boxes.size(); b++)
                if (inside(boxes[b], px, py)) {
                    in = true;
                    white[b] += is_white(buffer, px, py);
                }
            if (!in)
                ASSERT_TRUE(is_black(buffer, px, py)) << px << "," << py;
            else
                ASSERT_TRUE(is_black(buffer, px, py) || is_white(buffer, px, py))
                    << px << "," << py;
        }
    for (size_t b = 0; b < boxes.size(); b++)
        EXPECT_GT(white[b], 10) << title_texts[b].text;
    EXPECT_EQ(boxes.front().y0, 50);
    EXPECT_EQ(boxes.back().y0, 748);  /* the credits line sits at the bottom */
}

/* ---- the pictures in data/ ---- */

static double linear(int c)
{
    double v = c / 255.0;
    return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

TEST(Pictures, TarmacBehindTheTextIsLightEnoughForBlack)
{
    start_library();
    set_color_depth(32);
    BITMAP *t = load_bitmap(CARAVELT_DATA_DIR "/tarmac.bmp", NULL);
    set_color_depth(16);
    ASSERT_NE(t, nullptr);
    EXPECT_GE(t->w, 1024);
    EXPECT_GE(t->h, 768);

    const box areas[] = {{100, 100, 400, 380}, {900, 300, 1024, 340}};
    double darkest = 1;
    for (const box &a : areas)
        for (int py = a.y0; py < a.y1; py++)
            for (int px = a.x0; px < a.x1; px++) {
                int c = getpixel(t, px, py);
                double l = 0.2126 * linear(getr32(c)) + 0.7152 * linear(getg32(c))
                           + 0.0722 * linear(getb32(c));
                darkest = std::min(darkest, l);
            }
    /* contrast with black (l + 0.05) / 0.05 of at least 4.5 */
    EXPECT_GE(darkest, 0.175);
    destroy_bitmap(t);
}

TEST(Pictures, CarFacesUpAroundItsPivotOnMask)
{
    start_library();
    set_color_depth(32);
    BITMAP *c = load_bitmap(CARAVELT_DATA_DIR "/car/kvtcar.bmp", NULL);
    set_color_depth(16);
    ASSERT_NE(c, nullptr);

    int mask = makecol32(255, 0, 255);
    int x0 = c->w, x1 = -1, y0 = c->h, y1 = -1;
    for (int py = 0; py < c->h; py++)
        for (int px = 0; px < c->w; px++)
            if (getpixel(c, px, py) != mask) {
                x0 = std::min(x0, px), x1 = std::max(x1, px);
                y0 = std::min(y0, py), y1 = std::max(y1, py);
            }
    EXPECT_NE(getpixel(c, 13, 25), mask);
    EXPECT_EQ(getpixel(c, 0, 0), mask);
    /* about 2 m by 4.5 m at 10 px a metre, centred on the pivot */
    EXPECT_NEAR(x1 - x0 + 1, 21, 3);
    EXPECT_NEAR(y1 - y0 + 1, 45, 3);
    EXPECT_NEAR((x0 + x1) / 2.0, 13, 1);
    EXPECT_NEAR((y0 + y1) / 2.0, 25, 1);
    /* headlights (yellowish) in the top rows: it faces up */
    int top = getpixel(c, 6, y0 + 1), bottom = getpixel(c, 6, y1 - 1);
    EXPECT_GT(getg32(top), 200);
    EXPECT_LT(getg32(bottom), 150);
    destroy_bitmap(c);
}
