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
}
