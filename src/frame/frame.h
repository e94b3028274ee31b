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
    const char *car;   /* --car FILE: a car file instead of the preset */
    bool windowed;   /* a 1024x768 window rather than the full-screen mode */
    const char *record;   /* --record FILE: every tick's keys, as a script */
    const char *trace;    /* --trace FILE: one CSV row per tick */
    const char *replay;   /* --replay FILE: keys from a recording, then the driver's */
};
extern game_options game_opts;

/* One line on stderr, "caravelt: " and the text; returns status. */
int complain(int status, const char *fmt, ...) __attribute__((format(printf, 2, 3)));

/* Fills game_opts; 0, or 2 after one line on stderr. */
int parse_game_options(int argc, char **argv);

/* The usage text: options and the keys the title screen does not list. */
void print_usage(FILE *out);

/* The game's own keys beyond the driving keys, looked at once per pass of
 * the main loop, between ticks (hotkeys.cpp). */
void hotkeys(void);

/* The car file of --car (frame/car.cpp).  read_game_car: read and
 * checked, before any window opens; 0, or 1 after one line on stderr.
 * load_game_car: into the parameter variables at start-up (nothing
 * without --car).  reload_game_car: F5, between two ticks; a bad file
 * keeps the car and shows why in the driving view.  expire_notice: once
 * a pass, takes that notice away after about three seconds. */
int read_game_car(void);
void load_game_car(void);
void reload_game_car(void);
void expire_notice(void);

/* The pause (P): while set the main loop runs no tick, and the ticks owed
 * meanwhile are dropped when it ends.  step_asked: the period key was pressed while paused; the main
 * loop runs exactly one tick for it, with the keys held then. */
extern bool paused;
extern bool step_asked;

/* Pauses or resumes, dropping the ticks owed either way (P, and the end
 * of a replay). */
void set_pause(bool on);

/* Brings up library, tick, keyboard, display, pictures, buffer and car;
 * on any failure says why on stderr and exits with status 1. */
void init(void);

/* Set when the window's close button is pressed, Escape is held on the
 * title screen, or SIGINT or SIGTERM arrives; the title screen and the
 * main loop give way to it. */
extern std::atomic<int> close_requested;

/* The signal that asked the game to end, or 0. */
extern std::atomic<int> exit_signal;

/* The one way out of a started game: frees the frame buffer and returns
 * the exit status, 0, or 128 + the signal's number as a shell reports a
 * process ended by it.  Whatever a run must close on the way out is
 * closed here. */
int shut_down(void);

/* Shows the title screen until Space is held (or the window is closed). */
void gamemenu(void);

/* ----------------------------------------------------------------------
 * Ticks, recording and replay (recorder.cpp).
 * ---------------------------------------------------------------------- */

/* Before the window: the replay read and checked, the outputs opened.
 * 0; 2 for a bad replay or one file named twice; 1 for an output that
 * cannot be opened; one line on stderr for either. */
int open_drive_files(void);

/* Points the simulation's key seam and title screen at the game (or at
 * the replay while one plays); called by init. */
void drive_hooks(void);

/* Runs one tick: every tick of the game goes through here, so that the
 * recording, the trace and the replay see each one. */
void run_tick(void);

/* True while a replay has ticks left. */
bool replaying(void);

/* Between frames: writes out what the ticks left, when a second has
 * passed since the last write (or at once when now). */
void write_drive_files(bool now);

/* At shut-down: the rest written and the files closed.  0, or 1 after
 * one line on stderr when something could not be written. */
int close_drive_files(void);

#endif
