/*
 * python/frame.h -- the game's driving view of one car, as RGB bytes.
 *
 * Drawn by the game's own draw_frame into a 1024x768 memory bitmap at 16
 * bits, headless, then each pixel widened to 8-bit red, green and blue as
 * the library widens it when it saves the frame as a 24-bit BMP (what
 * caravelt-sim --frame writes).  The drawing keeps its bitmaps in
 * process-wide variables: one thread draws at a time.
 */
#ifndef CARAVELT_PYTHON_FRAME_H
#define CARAVELT_PYTHON_FRAME_H

#include <cstddef>
#include <cstdint>

#include "course/race.h"
#include "sim/state.h"

enum { VIEW_W = 1024, VIEW_H = 768 };

/* The game's pictures from data_dir (tarmac.bmp, car/kvtcar.bmp), loaded
 * once and kept until another folder is asked for.  0, or -1 with the
 * file and the reason in err (the pictures kept before stay). */
int view_pictures(const char *data_dir, char *err, size_t errsize);

/* The driving view of car c (brought into this thread's names) into rgb,
 * VIEW_H rows of VIEW_W pixels of three bytes, top row first; with its
 * race on a course (race not null), the course as the game draws it.
 * Needs view_pictures first. */
void view_draw(const car_state *c, const course_race *race, uint8_t *rgb);

#endif
