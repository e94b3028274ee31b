/*
 * present/pictures.cpp -- loading the game's pictures, and the library
 * started with no display for composing frames in memory.
 */
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "present.h"

/* A missing file and a file the library cannot read are told apart. */
BITMAP *load_picture(const char *path, char *why, size_t size)
{
    BITMAP *b = load_bitmap(path, NULL);
    if (b)
        return b;
    FILE *f = fopen(path, "rb");
    if (f) {
        fclose(f);
        snprintf(why, size, "not a BMP picture the library can read");
    } else {
        snprintf(why, size, "%s", strerror(errno));
    }
    return NULL;
}

int start_headless(char *err, size_t size)
{
    static int started;
    if (started)
        return 0;
    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0) {
        snprintf(err, size, "cannot start the Allegro library: %s", allegro_error);
        return -1;
    }
    /* With no display mode set, pictures load converted to this depth. */
    set_color_depth(16);
    set_color_conversion(COLORCONV_TOTAL);
    started = 1;
    return 0;
}
