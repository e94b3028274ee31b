/*
 * frame/menu.cpp -- waiting on the title screen: gamemenu().
 */
#include <allegro.h>

#include "frame/frame.h"
#include "present/present.h"

/* ----------------------------------------------------------------------
 * gamemenu: redraw the title screen until Space is held.  Space is tested
 * before any drawing, so a held Space returns at once and draws nothing.
 * Escape held here ends the game as the close button does: it asks the
 * main loop to stop, and returns.  The tick counter keeps counting
 * meanwhile; those ticks are owed.
 *
 * The keys are looked at every 10 ms (rest(10) after each pass, as after
 * each frame of the driving view), so a 0.1 s press is seen in any of ten
 * passes; the screen is still, so it is drawn and copied on the first pass
 * and then once every TITLE_REDRAW passes (0.1 s).  Redrawn flat out it
 * took most of a core; every 10 ms, about a tenth.  The pause also lets in
 * the library's keyboard thread under X, which waits while the screen is
 * acquired: re-acquiring at once starved it and Space went unseen.
 * ---------------------------------------------------------------------- */
enum { TITLE_REDRAW = 10 };

void gamemenu(void)
{
    for (int pass = 0;; pass++) {
        if (key[KEY_SPACE] || close_requested)
            return;
        if (key[KEY_ESC]) {
            close_requested = 1;
            return;
        }
        if (pass % TITLE_REDRAW == 0) {
            acquire_screen();
            draw_title(buffer);
            blit(buffer, screen, 0, 0, 0, 0, 1024, 768);
            release_screen();
        }
        rest(10);
    }
}
