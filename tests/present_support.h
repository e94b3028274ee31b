/* tests/present_support.h -- frames in memory: the library with no display, 16-bit colour. */
#ifndef CARAVELT_TESTS_PRESENT_SUPPORT_H
#define CARAVELT_TESTS_PRESENT_SUPPORT_H

#include <allegro.h>
#include "present/present.h"
#include "support.h"

/* Once: the library, the game's pictures and the frame buffer. */
inline void start_library(void)
{
    static char err[256];
    if (!buffer) {
        ASSERT_EQ(start_headless(err, sizeof err), 0) << err;
        Track = load_picture(CARAVELT_DATA_DIR "/tarmac.bmp", err, sizeof err);
        kvtcar = load_picture(CARAVELT_DATA_DIR "/car/kvtcar.bmp", err, sizeof err);
        buffer = create_bitmap(1024, 768);
    }
    ASSERT_TRUE(Track && kvtcar && buffer) << err;
}

/* A fresh run with the game's pictures in place, over a blue buffer. */
class Frame : public Sim {
protected:
    void SetUp() override { Sim::SetUp(), start_library(), clear_to_color(buffer, makecol(0, 0, 255)); }
};

/* Inclusive-exclusive pixel bounds. */
struct box {
    int x0, y0, x1, y1;
    bool has(int x, int y) const { return x >= x0 && x < x1 && y >= y0 && y < y1; }
};

#endif
