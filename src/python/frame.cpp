/*
 * python/frame.cpp -- the driving view, headless, into an RGB array.
 */
#include "frame.h"

#include <allegro.h>

#include <cstdio>
#include <string>

#include "present/present.h"

/* The folder the pictures in Track and kvtcar came from. */
static std::string pictures_from;

int view_pictures(const char *data_dir, char *err, size_t errsize)
{
    std::string dir = data_dir;
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    if (Track && kvtcar && dir == pictures_from)
        return 0;
    if (start_headless(err, errsize) != 0)
        return -1;
    if (!buffer && !(buffer = create_bitmap(VIEW_W, VIEW_H))) {
        snprintf(err, errsize, "cannot create the %dx%d frame: out of memory", VIEW_W, VIEW_H);
        return -1;
    }
    BITMAP *track = open_picture((dir + "tarmac.bmp").c_str(), err, errsize);
    BITMAP *sprite = track ? open_picture((dir + "car/kvtcar.bmp").c_str(), err, errsize) : nullptr;
    if (!sprite) {
        if (track)
            destroy_bitmap(track);
        return -1;
    }
    forget_course_ground();   /* drawn over the tarmac about to go */
    if (Track)
        destroy_bitmap(Track);
    if (kvtcar)
        destroy_bitmap(kvtcar);
    Track = track;
    kvtcar = sprite;
    pictures_from = dir;
    return 0;
}

void view_draw(const car_state *c, const course_race *race, uint8_t *rgb)
{
    car_in(c);
    view_race = race;
    draw_frame(buffer);
    view_race = nullptr;
    for (int y = 0; y < VIEW_H; y++) {
        const uint16_t *row = (const uint16_t *)buffer->line[y];
        for (int x = 0; x < VIEW_W; x++) {
            int p = row[x];
            *rgb++ = (uint8_t)getr16(p);
            *rgb++ = (uint8_t)getg16(p);
            *rgb++ = (uint8_t)getb16(p);
        }
    }
}
