/*
 * tests/present_support.h -- frames composed in memory: the library with
 * no display at 16-bit colour, the game's pictures loaded once.
 */
#ifndef CARAVELT_TESTS_PRESENT_SUPPORT_H
#define CARAVELT_TESTS_PRESENT_SUPPORT_H

#include <allegro.h>

#include <string>
#include <vector>

#include "present/present.h"
#include "sim_support.h"

inline BITMAP *game_track, *game_car;

inline void start_library(void)
{
    static bool started;
    if (started)
        return;
    started = true;
    char err[256];
    ASSERT_EQ(start_headless(err, sizeof err), 0) << err;
    game_track = load_picture(CARAVELT_DATA_DIR "/tarmac.bmp", err, sizeof err);
    game_car = load_picture(CARAVELT_DATA_DIR "/car/kvtcar.bmp", err, sizeof err);
    buffer = create_bitmap(1024, 768);
    ASSERT_TRUE(game_track && game_car && buffer) << err;
}

/* A fresh run with the game's pictures in place, over a blue buffer. */
class Frame : public Sim {
protected:
    void SetUp() override
    {
        Sim::SetUp();
        start_library();
        Track = game_track;
        kvtcar = game_car;
        clear_to_color(buffer, makecol(0, 0, 255));
    }
};

inline bool is_black(BITMAP *b, int x, int y) { return getpixel(b, x, y) == makecol(0, 0, 0); }
inline bool is_white(BITMAP *b, int x, int y) { return getpixel(b, x, y) == makecol(255, 255, 255); }

/* The library's font is 8 by 8.  Inclusive-exclusive pixel bounds. */
struct box { int x0, y0, x1, y1; };
inline box text_box(int col, int row, const std::string &s) { return {col, row, col + 8 * (int)s.size(), row + 8}; }

/* Ink only inside the boxes, some in every box; outside, every pixel
 * passes is_bg. */
template <class Ink, class Background>
void expect_text_layout(BITMAP *b, const std::vector<box> &boxes, Ink is_ink, Background is_bg)
{
    std::vector<int> hits(boxes.size());
    for (int py = 0; py < b->h; py++)
        for (int px = 0; px < b->w; px++) {
            bool in = false;
            for (size_t i = 0; i < boxes.size(); i++)
                if (px >= boxes[i].x0 && px < boxes[i].x1 && py >= boxes[i].y0 && py < boxes[i].y1) {
                    in = true;
                    hits[i] += is_ink(b, px, py);
                }
            ASSERT_TRUE(in || (is_bg(b, px, py) && !is_ink(b, px, py))) << "at " << px << "," << py;
        }
    for (size_t i = 0; i < boxes.size(); i++)
        EXPECT_GT(hits[i], 10) << "text box " << i << " is empty";
}

#endif
