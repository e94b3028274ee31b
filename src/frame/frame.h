/*
 * frame/frame.h -- start-up and the main loop of the game.
 */
#ifndef CARAVELT_FRAME_FRAME_H
#define CARAVELT_FRAME_FRAME_H

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "drive/files.h"
#include "drive/script.h"

/* What the command line asked for; all off by default. */
struct game_options {
    bool help;
    const char *car;   /* --car FILE: a car file instead of the preset */
    bool windowed;   /* a 1024x768 window rather than the full-screen mode */
    const char *record;   /* --record FILE: every tick's keys, as a script */
    const char *trace;    /* --trace FILE: one CSV row per tick */
    const char *replay;   /* --replay FILE: keys from a recording, then the driver's */
    const char *course;   /* --course FILE: cones, gates and timed laps */
    const char *ghost;    /* --ghost FILE: the best lap of a recording on the course, to race */
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
 * keeps the car and shows why in the driving view. */
int read_game_car(void);
void load_game_car(void);
void reload_game_car(void);

/* The course of --course and the ghost of --ghost (course.cpp, ghost.cpp).
 * read_game_course: before any window, the course file read and the
 * ghost's recording checked; run_game_ghost: once the files are settled,
 * its laps driven.  Each 0, or the status after one line on stderr (1 for
 * a bad course file, as for a car file; 2 for usage or a ghost refused).
 * start_game_course: at start-up, after the car: the car at the course's
 * start and the course drawn.  count_course_tick: after every tick run,
 * from the car's place (x0, y0) before it.  Nothing without --course. */
int read_game_course(void);
int run_game_ghost(void);
void start_game_course(void);
void count_course_tick(float x0, float y0);

/* The files the course options read, for the rule that no output is one:
 * the course file, the ghost's recording and the car file it names. */
void course_run_files(std::vector<run_file> *files);

/* The course for a recording's header: its file (null without --course)
 * and its hash. */
uint64_t game_course_hash(void);

/* 0 when the replay was recorded on the course given (or with none on
 * none, or is no recording), else 2 after one line on stderr. */
int check_replay_course(const script_in *replay);

/* The line along the foot of the driving view (notice.cpp), by what
 * says it, the first up shown: a passing word (F5) for three seconds, a
 * halted car's reason until the next tick runs, a file lost for good.
 * say_on_screen: sets (or, with null, clears) one; expire_notice: once a
 * pass, takes the passing one away when its time is up. */
enum notice_kind { NOTICE_PASSING, NOTICE_HALTED, NOTICE_LOST, NOTICE_KINDS };
void say_on_screen(notice_kind kind, const char *text);
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

/* Before the window: the replay read and checked, the outputs opened
 * but not yet emptied.  0; 2 for a bad replay or an output that is a
 * file the game reads or the other output; 1 for an output that cannot
 * be opened; one line on stderr for either, and nothing made or changed. */
int open_drive_files(void);

/* Once the display is up: the outputs emptied, ready to be written. */
void begin_drive_files(void);

/* A start that failed: the outputs closed as they were, the ones this
 * run made removed. */
void abandon_drive_files(void);

/* Points the simulation's key seam and title screen at the game (or at
 * the replay while one plays); called by init. */
void drive_hooks(void);

/* Runs one tick: every tick of the game goes through here, so that the
 * recording, the trace and the replay see each one.  A tick that leaves
 * a state that is not finite halts the car: the reason shows along the
 * foot of the screen, and the next tick run starts from the start state
 * (with the car's parameters), the same live and in a replay. */
void run_tick(void);

/* Whether a tick may run now: always, but while the car is halted live,
 * only with R held. */
bool tick_may_run(void);

/* True while a replay has ticks left. */
bool replaying(void);

/* The replay from its first tick again; false when it cannot be read. */
bool replay_from_start(void);

/* Between frames: writes out what the ticks left, when a second has
 * passed since the last write (or at once when now).  A write that fails,
 * or an output found removed, is said on screen at once. */
void write_drive_files(bool now);

/* At shut-down: the rest written and the files closed.  0, or 1 after
 * one line on stderr for each file that could not be written (or a
 * replay that could not be read to its end). */
int close_drive_files(void);

#endif
