/*
 * The title screen composed in memory, and the tarmac the game ships.
 */
#include <cmath>

#include "present_support.h"

/* White text in its boxes, black everywhere else; nothing but the two. */
TEST_F(Frame, TitleScreenIsWhiteTextOnBlack)
{
    draw_title(buffer);  /* over the fixture's blue */
    std::vector<box> boxes;
    for (const title_text &t : title_texts)
        boxes.push_back(text_box(t.col, t.row, t.text));
    expect_text_layout(buffer, boxes, is_white, is_black);
    for (const box &b : boxes)
        for (int py = b.y0; py < b.y1; py++)
            for (int px = b.x0; px < b.x1; px++)
                ASSERT_TRUE(is_black(buffer, px, py) || is_white(buffer, px, py));
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
    for (const box &a : {box{100, 100, 400, 380}, box{900, 300, 1024, 340}})
        for (int py = a.y0; py < a.y1; py++)
            for (int px = a.x0, c; px < a.x1; px++) {
                c = getpixel(t, px, py);
                ASSERT_GE(0.2126 * lin(getr32(c)) + 0.7152 * lin(getg32(c)) + 0.0722 * lin(getb32(c)), 0.175)
                    << px << "," << py;
            }
    destroy_bitmap(t);
}
