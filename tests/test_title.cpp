/*
 * The title screen composed in memory, and the pictures the game ships.
 */
#include <cmath>

#include "present_support.h"

TEST_F(Frame, TitleScreenIsWhiteTextOnBlack)
{
    draw_title(buffer);  /* over the fixture's blue */
    std::vector<box> boxes;
    for (const title_text &t : title_texts)
        boxes.push_back(text_box(t.col, t.row, t.text));
    EXPECT_EQ(boxes.back().y0, 748);  /* credits at the bottom */
    expect_text_layout(buffer, boxes, is_white, [](BITMAP *b, int px, int py) {
        return is_black(b, px, py);
    });
    for (const box &b : boxes)  /* inside the boxes: only the two colours */
        for (int py = b.y0; py < b.y1; py++)
            for (int px = b.x0; px < b.x1; px++)
                ASSERT_TRUE(is_black(buffer, px, py) || is_white(buffer, px, py));
}

/* Pictures loaded at 32 bits, as the files hold them. */
static BITMAP *load_true_colour(const char *path)
{
    start_library();
    set_color_depth(32);
    BITMAP *b = load_bitmap(path, NULL);
    set_color_depth(16);
    return b;
}

static double luminance(int c)
{
    auto lin = [](int v) {
        double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * lin(getr32(c)) + 0.7152 * lin(getg32(c)) + 0.0722 * lin(getb32(c));
}

/* Black text keeps 4.5:1 contrast: (l + 0.05) / 0.05 with l at least 0.175. */
TEST(Pictures, TarmacBehindTheTextIsLightEnoughForBlack)
{
    BITMAP *t = load_true_colour(CARAVELT_DATA_DIR "/tarmac.bmp");
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(t->w >= 1024 && t->h >= 768);
    for (const box &a : {box{100, 100, 400, 380}, box{900, 300, 1024, 340}})
        for (int py = a.y0; py < a.y1; py++)
            for (int px = a.x0; px < a.x1; px++)
                ASSERT_GE(luminance(getpixel(t, px, py)), 0.175) << px << "," << py;
    destroy_bitmap(t);
}

/* About 2 m by 4.5 m at 10 px a metre, centred on the pivot (13, 25),
 * on mask magenta, headlights at the top. */
TEST(Pictures, CarFacesUpAroundItsPivotOnMask)
{
    BITMAP *c = load_true_colour(CARAVELT_DATA_DIR "/car/kvtcar.bmp");
    ASSERT_NE(c, nullptr);
    int mask = makecol32(255, 0, 255);
    int x0 = c->w, x1 = -1, y0 = c->h, y1 = -1;
    for (int py = 0; py < c->h; py++)
        for (int px = 0; px < c->w; px++)
            if (getpixel(c, px, py) != mask) {
                x0 = std::min(x0, px), x1 = std::max(x1, px);
                y0 = std::min(y0, py), y1 = std::max(y1, py);
            }
    EXPECT_EQ(getpixel(c, 0, 0), mask);
    EXPECT_NEAR(x1 - x0 + 1, 21, 3);
    EXPECT_NEAR(y1 - y0 + 1, 45, 3);
    EXPECT_NEAR((x0 + x1) / 2.0, 13, 1);
    EXPECT_NEAR((y0 + y1) / 2.0, 25, 1);
    EXPECT_GT(getg32(getpixel(c, 6, y0 + 1)), 200);
    EXPECT_LT(getg32(getpixel(c, 6, y1 - 1)), 150);
    destroy_bitmap(c);
}
