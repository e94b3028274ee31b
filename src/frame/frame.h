/*
 * frame/frame.h -- start-up and the main loop of the game.
 */
#ifndef CARAVELT_FRAME_FRAME_H
#define CARAVELT_FRAME_FRAME_H

#include <atomic>

/* Brings up library, tick, keyboard, display, pictures, buffer and car;
 * on any failure says why on stderr and exits with status 1. */
void init(void);

/* Set when the window's close button is pressed; the title screen and the
 * main loop give way to it. */
extern std::atomic<int> close_requested;

/* Shows the title screen until Space is held (or the window is closed). */
void gamemenu(void);

#endif
