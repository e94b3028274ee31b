/*
 * headless/frame_out.h -- composing the driving view without a display.
 *
 * The library starts with no system driver (memory bitmaps only), the
 * pictures load converted to 16 bits as the game's do, and the frame is
 * drawn by the game's own draw_frame into the game's `buffer`.
 */
#ifndef CARAVELT_HEADLESS_FRAME_OUT_H
#define CARAVELT_HEADLESS_FRAME_OUT_H

#include <cstddef>

/* Loads DIR/tarmac.bmp into Track and DIR/car/kvtcar.bmp into kvtcar (DIR
 * "" is the current folder) and makes the 1024x768 buffer.  0, or -1 with
 * the file and reason in err. */
int frame_begin(const char *data_dir, char *err, size_t errsize);

/* draw_frame(buffer) for the current state, saved as a BMP (24 bits,
 * whatever the name's extension).  0, or -1 with the reason in err. */
int frame_save(const char *path, char *err, size_t errsize);

/* Frees what frame_begin made. */
void frame_end(void);

#endif
