/*
 * frame/frame.h -- start-up and the main loop of the game.
 */
#ifndef CARAVELT_FRAME_FRAME_H
#define CARAVELT_FRAME_FRAME_H

#include <atomic>
#include <cstdio>

/* What the command line asked for; all off by default. */
struct game_options {
    bool help;
    bool windowed;   /* a 1024x768 window rather than the full-screen mode */
};
extern game_options game_opts;

/* Fills game_opts; 0, or 2 after one line on stderr. */
int parse_game_options(int argc, char **argv);

/* The usage text: options and the keys the title screen does not list. */
void print_usage(FILE *out);

/* The game's own keys beyond the driving keys, looked at once per pass of
 * the main loop, between ticks (hotkeys.cpp). */
void hotkeys(void);

/* The pause (P): while set the main loop runs no tick, and the ticks owed
 * meanwhile are dropped when it ends.  step_asked: the period key was pressed while paused; the main
 * loop runs exactly one tick for it, with the keys held then. */
extern bool paused;
extern bool step_asked;

/* Brings up library, tick, keyboard, display, pictures, buffer and car;
 * on any failure says why on stderr and exits with status 1. */
void init(void);

/* Set when the window's close button is pressed; the title screen and the
 * main loop give way to it. */
extern std::atomic<int> close_requested;

/* Shows the title screen until Space is held (or the window is closed). */
void gamemenu(void);

#endif
