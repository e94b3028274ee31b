/*
 * tests/present_support.h -- frames composed in memory: the library with
 * no display at 16-bit colour, the game's pictures loaded once.
 */
#ifndef CARAVELT_TESTS_PRESENT_SUPPORT_H
#define CARAVELT_TESTS_PRESENT_SUPPORT_H

#include <allegro.h>
#include "present/present.h"
#include "support.h"

inline BITMAP *game_track, *game_car;
inline void start_library(void)
{
    static char err[256];
    if (!buffer) {
        ASSERT_EQ(start_headless(err, sizeof err), 0) << err;
        game_track = load_picture(CARAVELT_DATA_DIR "/tarmac.bmp", err, sizeof err);
        game_car = load_picture(CARAVELT_DATA_DIR "/car/kvtcar.bmp", err, sizeof err);
        buffer = create_bitmap(1024, 768);
    }
    ASSERT_TRUE(game_track && game_car && buffer) << err;
    Track = game_track, kvtcar = game_car;
}

/* A fresh run with the game's pictures in place, over a blue buffer. */
class Frame : public Sim {
protected:
    void SetUp() override
    {
        Sim::SetUp();
        start_library();
        clear_to_color(buffer, makecol(0, 0, 255));
    }
};

/* Inclusive-exclusive pixel bounds. */
struct box {
    int x0, y0, x1, y1;
    bool has(int x, int y) const { return x >= x0 && x < x1 && y >= y0 && y < y1; }
};

#endif
