/*
 * frame/frame.h -- start-up and the main loop of the game.
 */
#ifndef CARAVELT_FRAME_FRAME_H
#define CARAVELT_FRAME_FRAME_H

/* Brings up library, tick, keyboard, display, pictures, buffer and car;
 * on any failure says why on stderr and exits with status 1. */
void init(void);

#endif
