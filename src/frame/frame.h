/*
 * frame/frame.h -- start-up and the main loop of the game.
 */
#ifndef CARAVELT_FRAME_FRAME_H
#define CARAVELT_FRAME_FRAME_H

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "drive/files.h"
#include "run/drive.h"

/* What the command line asked for; all off by default. */
struct game_options {
    const char *car;      /* --car FILE: a car file instead of the preset */
    bool windowed;        /* a 1024x768 window rather than the full-screen mode */
    const char *data;     /* --data DIR: where the pictures are */
    const char *record;   /* --record FILE: every tick's keys, as a script */
    const char *trace;    /* --trace FILE: one CSV row per tick */
    const char *replay;   /* --replay FILE: keys from a recording, then the driver's */
    bool force;           /* --force: a replay with a car or course other than its own */
    const char *course;   /* --course FILE: cones, gates and timed laps */
    const char *ghost;    /* --ghost FILE: the best lap of a recording on the course, to race */
    bool no_best;         /* --no-best: your best lap on the course neither raced nor kept */
};
extern game_options game_opts;

/* One line on stderr, "caravelt: " and the text; returns status. */
int complain(int status, const char *fmt, ...) __attribute__((format(printf, 2, 3)));

/* Fills game_opts: CLI_RUN (drive/cli.h) to run; 0 after printing the
 * help or the version; 2 after one line on stderr. */
int parse_game_options(int argc, char **argv);

/* The game's own keys beyond the driving keys, looked at once per pass of
 * the main loop, between ticks (hotkeys.cpp). */
void hotkeys(void);

/* True on the first pass that finds key k held; was keeps the key's
 * state from the pass before. */
bool key_pressed(int k, bool &was);

/* The car (frame/car.cpp): the preset, or the file of --car.
 * read_game_car: --car read and checked, before any window opens; 0, or
 * 1 after one line on stderr.  game_given_car: what the drive is given
 * (the car file's name and its car, or none for the preset).
 * reload_game_car: F5, between two ticks; a bad file keeps the car and
 * shows why in the driving view. */
int read_game_car(void);
void game_given_car(const char **file, const car **params);
void reload_game_car(void);

/* The course (frame/course.cpp): --course read before any window
 * (read_game_course: 0, or 1 after one line on stderr, as for a car
 * file), and what the drive is given (game_given_course: its file and
 * course, or none).  The ghost: open_game_ghost, once the drive's course
 * is settled (a replay may bring its own), the recording or script of
 * --ghost checked against that course, or the ghost a replay's header
 * names (not found as it was: the replay runs without it, and says so);
 * drive_game_ghost, its laps driven and the best made the drive's lap to
 * beat.  Each 0, or 2 after one line on stderr (1 when a pipe's spool
 * cannot be made).  ghost_run_files: the ghost's recording and the car
 * file it names, for the rule that no output is one; game_ghost_file:
 * the ghost raced, for the recording's header (null: none).
 * open_game_best, once the display is up, driving live: the course's
 * targets, and your best lap kept (raced when no other ghost is); game_best_keys, each tick's keys, and
 * game_lap_done, each lap completed live, keep it when it is faster.
 * game_course_notes: what the start found but did not refuse, said on
 * the screen once it is up. */
int read_game_course(void);
void game_given_course(const char **file, const course **track);
int open_game_ghost(const run_drive *d);
int drive_game_ghost(course_race *race);
void ghost_run_files(std::vector<run_file> *files);
const char *game_ghost_file(uint64_t *hash);
void open_game_best(run_drive *d);
void game_best_keys(unsigned keys, unsigned after);
void game_lap_done(const run_drive *d);
void game_course_notes(void);

/* The line along the foot of the driving view (notice.cpp), by what
 * says it, the first up shown: a passing word (F5) for three seconds, a
 * halted car's reason until the next tick runs, a file lost for good.
 * say_on_screen: sets (or, with null, clears) one; expire_notice: once a
 * pass, takes the passing one away when its time is up. */
enum notice_kind { NOTICE_PASSING, NOTICE_HALTED, NOTICE_LOST, NOTICE_KINDS };
void say_on_screen(notice_kind kind, const char *text);
void expire_notice(void);

/* The pause (P, and the end of a replay; pause.cpp): while set the main
 * loop runs no tick, and the ticks owed meanwhile are dropped when it
 * ends.  step_asked: the period key was pressed while paused; the main
 * loop runs exactly one tick for it, with the keys held then. */
extern bool paused;
extern bool step_asked;

/* Pauses or resumes, dropping the ticks owed either way. */
void set_pause(bool on);

/* The pictures' folder (drive/datadir.h): --data, or found by the rule
 * there before any window opens.  find_pictures: 0, or 1 after one line
 * on stderr naming the folders looked in. */
extern std::string pictures_dir;
int find_pictures(void);

/* (main.cpp: init brings up library, tick, keyboard, display, pictures,
 * buffer and the drive; shut_down is the one way out of a started game.) */

/* Set when the window's close button is pressed, Escape is held on the
 * title screen, or SIGINT or SIGTERM arrives; the title screen and the
 * main loop give way to it. */
extern std::atomic<int> close_requested;

/* The signal that asked the game to end, or 0. */
extern std::atomic<int> exit_signal;

/* Shows the title screen until Space is held (or the window is closed). */
void gamemenu(void);

/* ----------------------------------------------------------------------
 * The drive (drive.cpp): every tick the game runs, through run/, and
 * what it writes down or plays back: --record, --trace, --replay.
 * ---------------------------------------------------------------------- */

/* Before the window: the replay read and checked, its car and course
 * chosen by its header (run/drive.h), the ghost opened on the course,
 * the outputs opened but not yet emptied.  0; 2 for a bad replay, a car
 * or course refused, or an output that is a file the game reads or the
 * other output; 1 for an output that cannot be opened; one line on
 * stderr for either, and nothing made or changed. */
int open_drive_files(void);

/* Once the display is up: the car at its start (the course's with one),
 * the outputs emptied, the recording's header written. */
void begin_drive(void);

/* A start that failed: the outputs closed as they were, the ones this
 * run made removed. */
void abandon_drive_files(void);

/* ----------------------------------------------------------------------
 * game_tick: one tick, from the replay while one plays, else from the
 * keyboard: every tick of the game goes through here, so that the
 * recording, the trace and the replay see each one.  A tick that leaves
 * a state that is not finite halts the car (the game's rule, run/run.h):
 * the reason shows along the foot of the screen, and the next tick run
 * starts from the start state, the same live and in a replay.  At the
 * replay's last tick the game pauses.
 * ---------------------------------------------------------------------- */
void game_tick(void);

/* Whether a tick may run now: always, but while the car is halted live,
 * only with R held. */
bool tick_may_run(void);

/* True while a replay has ticks left. */
bool replaying(void);

/* Ticks of the replay run since its start, and in all. */
uint64_t replay_position(void);
uint64_t replay_length(void);

/* A replay is in view: from its start until the driver runs a tick
 * after its end. */
bool replay_in_view(void);

/* ----------------------------------------------------------------------
 * replay_seek: the replay run on to its tick `target` without drawing:
 * from where it is, or from the start state and its first tick again
 * when target is behind.  Every key and row is written once however
 * often it is re-run, and what is sampled per tick (the chart) and
 * counted on the course follows the re-run.  The ticks owed meanwhile
 * are dropped.
 * ---------------------------------------------------------------------- */
void replay_seek(uint64_t target);

/* The file of the car driven ("" the preset), and the course's file (""
 * none): the replay's own when it brought them. */
const std::string &game_car_file(void);
const std::string &game_course_file(void);

/* Between frames: writes out what the ticks left, when a second has
 * passed since the last write (or at once when now).  A write that fails,
 * or an output found removed, is said on screen at once. */
void write_drive_files(bool now);

/* At shut-down: the rest written and the files closed.  0, or 1 after
 * one line on stderr for each file that could not be written (or a
 * replay that could not be read to its end). */
int close_drive_files(void);

/* ----------------------------------------------------------------------
 * The replay viewer (viewer.cpp): while a --replay is in view, "REPLAY"
 * and its progress along the top, and keys for its speed and to jump in
 * it.
 * ---------------------------------------------------------------------- */

/* Looked at once a pass with the other keys (hotkeys): [ and ] the speed,
 * Page Up and Page Down 10 s back and on, Home the start. */
void viewer_keys(void);

/* The ticks to run for one tick of the clock: 1 but while a replay
 * plays, where 16x runs 16 and 1/4x one in four. */
int viewer_ticks(void);

/* The progress line for the next frame (or none, once the driver drives). */
void viewer_show(void);

#endif
