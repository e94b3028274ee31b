/*
 * frame/hotkeys.cpp -- the game's keys beyond the driving keys.
 *
 * Looked at once per pass of the main loop, between ticks, never inside
 * one: what they change is seen by the next tick whole.  Each acts once
 * per press.
 */
#include <allegro.h>

#include "frame.h"

void hotkeys(void)
{
    static bool f5_was_down;
    bool f5 = key[KEY_F5];
    if (f5 && !f5_was_down)
        reload_game_car();
    f5_was_down = f5;
    expire_notice();
}
