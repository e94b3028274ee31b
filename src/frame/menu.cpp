/*
 * frame/menu.cpp -- waiting on the title screen: gamemenu().
 */
#include <allegro.h>

#include "frame.h"
#include "present/present.h"

/* ----------------------------------------------------------------------
 * gamemenu: redraw the title screen until Space is held.  Space is tested
 * before any drawing, so a held Space returns at once and draws nothing.
 * The tick counter keeps counting meanwhile; those ticks are owed.
 *
 * rest(0) after each pass: under X the library reads the keyboard on a
 * thread that must wait while the screen is acquired.  Re-acquiring at
 * once starves it and Space goes unseen; yielding once per pass lets it
 * in without slowing the redraw.
 * ---------------------------------------------------------------------- */
void gamemenu(void)
{
    for (;;) {
        if (key[KEY_SPACE] || close_requested)
            return;
        acquire_screen();
        draw_title(buffer);
        blit(buffer, screen, 0, 0, 0, 0, 1024, 768);
        release_screen();
        rest(0);
    }
}
