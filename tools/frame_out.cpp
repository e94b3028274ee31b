/*
 * tools/frame_out.cpp -- the driving view into a BMP file.
 */
#include "frame_out.h"

#include <allegro.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "present/present.h"

int frame_library(char *err, size_t errsize)
{
    static int started;
    if (started)
        return 0;
    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0) {
        snprintf(err, errsize, "cannot start the Allegro library: %s", allegro_error);
        return -1;
    }
    /* With no display mode set, loads convert to the depth named here. */
    set_color_depth(16);
    set_color_conversion(COLORCONV_TOTAL);
    started = 1;
    return 0;
}

/* A missing file and one the library cannot read are told apart. */
static BITMAP *load_picture(const std::string &path, char *err, size_t errsize)
{
    BITMAP *b = load_bitmap(path.c_str(), NULL);
    if (b)
        return b;
    FILE *f = fopen(path.c_str(), "rb");
    if (f) {
        fclose(f);
        snprintf(err, errsize, "cannot load \"%s\": not a BMP picture the library can read",
                 path.c_str());
    } else {
        snprintf(err, errsize, "cannot load \"%s\": %s", path.c_str(), strerror(errno));
    }
    return NULL;
}

int frame_begin(const char *data_dir, char *err, size_t errsize)
{
    if (frame_library(err, errsize) != 0)
        return -1;
    std::string dir = data_dir;
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    if (!(kvtcar = load_picture(dir + "car/kvtcar.bmp", err, errsize))
        || !(Track = load_picture(dir + "tarmac.bmp", err, errsize))) {
        frame_end();
        return -1;
    }
    if (!(buffer = create_bitmap(1024, 768))) {
        snprintf(err, errsize, "cannot create the 1024x768 frame: out of memory");
        frame_end();
        return -1;
    }
    return 0;
}

int frame_save(const char *path, char *err, size_t errsize)
{
    draw_frame(buffer);
    errno = 0;
    if (save_bmp(path, buffer, NULL) != 0) {
        snprintf(err, errsize, "cannot write the frame \"%s\": %s", path,
                 errno ? strerror(errno) : "write failed");
        return -1;
    }
    return 0;
}

void frame_end(void)
{
    if (buffer)
        destroy_bitmap(buffer);
    if (Track)
        destroy_bitmap(Track);
    if (kvtcar)
        destroy_bitmap(kvtcar);
    buffer = Track = kvtcar = NULL;
}
