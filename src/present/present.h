/*
 * present/present.h -- drawing the driving view and the title screen.
 *
 * Every drawing function takes its target bitmap, so a frame can be
 * composed into any memory bitmap with no display; only graphic() touches
 * the screen (and the game's gamemenu(), in frame/).  Nothing here writes simulation state.
 */
#ifndef CARAVELT_PRESENT_PRESENT_H
#define CARAVELT_PRESENT_PRESENT_H

#include <allegro.h>

#include <cstddef>
#include <vector>

#include "course/course.h"

/* ----------------------------------------------------------------------
 * Bitmaps made at start-up and kept for the whole run (frame/startup.cpp).
 * ---------------------------------------------------------------------- */
extern BITMAP *buffer;   /* 1024x768 off-screen frame */
extern BITMAP *Track;    /* the tarmac, "tarmac.bmp" */
extern BITMAP *kvtcar;   /* the car sprite, "car/kvtcar.bmp", pivot (13, 25) */

/* Loads a BMP with no palette, converted to the current colour depth.
 * NULL on failure, with the reason in why (the file's absence, or that it
 * is not a picture the library reads). */
BITMAP *load_picture(const char *path, char *why, size_t size);

/* The bytes load_picture hands the library for the file at path, once
 * checked: the file's own, but for an 8-bit picture (uncompressed or
 * RLE8) uncompressed rows after a full 256-entry palette.  false with
 * the reason in why. */
bool picture_bytes(const char *path, std::vector<unsigned char> *out, char *why, size_t size);

/* load_picture, the failure said whole in err: "cannot load "PATH": why". */
BITMAP *open_picture(const char *path, char *err, size_t size);

/* Starts the library with no system driver (memory bitmaps only, no
 * window) at 16 bits per pixel, once per process: for tools and tests
 * that compose frames.  0, or -1 with the reason in err. */
int start_headless(char *err, size_t size);

/* ----------------------------------------------------------------------
 * Driving view (scene.cpp).
 * ---------------------------------------------------------------------- */

/* Number of dashboard lines, and the text of line i (0..3) as drawn. */
enum { DASHBOARD_LINES = 4 };
/* Where its lines stand: from x 900 to the screen's edge, 40 px from y 300. */
enum { DASHBOARD_X = 900, DASHBOARD_Y = 300, DASHBOARD_H = 40 };
void dashboard_text(int i, char *out, size_t size);

/* Tarmac, the car at x, y turned to AxisAngle, the dashboard and the
 * telemetry, into dst; then the chart and the pause sign when shown.
 * Reads Track and kvtcar. */
void draw_frame(BITMAP *dst);

/* A one-line notice (the game's car reload) drawn over the foot of the
 * driving view by graphic() while not empty; empty, the view is exactly
 * as it would be without it. */
extern char view_notice[127];   /* 126 characters of 8 px: the screen's width */

/* Extras over the driving view, off until a key of the game turns them
 * on: the chart of the last ten seconds along the bottom (chart.h), and
 * "PAUSED" at the top in the middle.  Both off, the view is the plain one. */
extern bool chart_shown;
extern bool paused_shown;

/* Where the pause sign goes: a black box with the white text. */
enum { PAUSED_X = 476, PAUSED_Y = 16, PAUSED_W = 72, PAUSED_H = 20 };

/* A replay's mark along the top at the left, while the text is not
 * empty: "REPLAY" and the text (the game's: time played of total, and the
 * speed) in a black box, and under it a bar of replay_share (0 to 1)
 * of the box's width.  Empty, the view is as it would be without it. */
extern char replay_progress[64];
extern double replay_share;
/* REPLAY_W: the box's widest, "REPLAY  1:00:00.00 of 1:00:00.00  1/4x" and its margins. */
enum { REPLAY_X = 16, REPLAY_Y = 16, REPLAY_H = 20, REPLAY_BAR_H = 4, REPLAY_W = 312 };

/* One frame: compose into buffer, copy to the screen, rest 10 ms. */
void graphic(void);

/* Whether a car at x, y px heading `heading` degrees is drawn: finite, and
 * near enough the screen for its sprite to show; and the library's turn
 * for that heading. */
bool car_drawable(float x, float y, float heading);
fixed car_turn(float heading);

/* ----------------------------------------------------------------------
 * A course over the driving view (course_view.cpp).
 * ---------------------------------------------------------------------- */

/* The course a front end drives, drawn by draw_frame: its cones and gates
 * on the tarmac, the ghost of the lap to beat, the timing box.  Null (no
 * course): the view is the plain one, to the pixel. */
struct course_race;
extern const course_race *view_race;

/* The tarmac with the course on it, in place of the plain tarmac: cones
 * (fallen ones lying) and gates (the next one marked).  The tarmac and
 * the course are drawn together once and kept; forget_course_ground
 * frees that (the tarmac is about to go). */
void draw_ground(BITMAP *dst, const course_race *r);
void forget_course_ground(void);

/* Where a gate's number is centred: 12 px beyond its post a, away from b. */
course_point gate_number_at(const course_gate &g);

/* The car of the lap to beat, translucent and pale blue (not the car's
 * red), where race_ghost has it. */
void draw_ghost(BITMAP *dst, const course_race *r);

/* Towards the next gate: a small arrow 40 px ahead of the car when the
 * gate is more than 250 px away (the short way, across the edges). */
void draw_way(BITMAP *dst, const course_race *r);

/* After the course's last lap: the result over the middle of the view,
 * each lap's time, cones and total, the best, the targets beaten, and
 * the keys to go again or leave.  result_text: its line i, false past
 * the last. */
bool result_text(const course_race *r, int i, char *out, size_t size);
void draw_result(BITMAP *dst, const course_race *r);

/* The timing box where the course puts it (course::timing; at the top,
 * clear of the pause sign, unless it says): the course's name; the
 * countdown, or the lap and its running time; the last and best laps'
 * totals; "A: first gear" while Up is held in neutral, else the gate the
 * lap has gone by ("Missed gate 4: back to it"), else the split at the
 * last gate or lap and its difference from the lap to beat; the next
 * target to beat, when the race has targets. */
enum { TIMING_LINES = 5, TIMING_CHARS = 42, TIMING_W = COURSE_TIMING_W, TIMING_H = COURSE_TIMING_H };
/* The line that says the split, a gate gone by, or the first gear's hint. */
enum { TIMING_SPLIT_LINE = 3 };
void timing_text(const course_race *r, int i, char *out, size_t size);

/* The split's difference as drawn ("-0.12"), empty without one; -1 when
 * ahead (green), 1 behind (red), 0 level or none (white). */
int timing_delta_text(const course_race *r, char *out, size_t size);
void draw_timing(BITMAP *dst, const course_race *r);

/* ----------------------------------------------------------------------
 * course_view_boxes: every box the driving view may lay over c, px from
 * the top-left, x0 and y0 in, x1 and y1 out: the timing box where c puts
 * it, the telemetry column, the dashboard, the chart (G), the pause sign
 * and a replay's mark.  A course laid out well has no gate, cone or
 * stretch of its line under any of them.
 * ---------------------------------------------------------------------- */
struct view_box { const char *what; int x0, y0, x1, y1; };
std::vector<view_box> course_view_boxes(const course *c);

/* ----------------------------------------------------------------------
 * Telemetry column (telemetry.cpp).
 * ---------------------------------------------------------------------- */

/* The column's reach, px: its widest row (34 characters of 8 px) and its rows of 10. */
enum { TELEMETRY_ROWS = 28, TELEMETRY_COL = 100, TELEMETRY_TOP = 100, TELEMETRY_W = 272, TELEMETRY_H = 280 };

/* The text of row i (0..27) as drawn, from the current state. */
void telemetry_text(int i, char *out, size_t size);

/* Draws the 28 rows into dst, black, no background (debug, the
 * telemetry's own procedure). */
void draw_telemetry(BITMAP *dst);

/* Whether draw_frame draws the column: on unless the game's key for it
 * (T, with a course) turned it off. */
extern bool telemetry_shown;

/* ----------------------------------------------------------------------
 * Title and controls screen (title.cpp).
 * ---------------------------------------------------------------------- */

enum { TITLE_TEXTS = 15 };
struct title_text { int col, row; const char *text; };
extern const title_text title_texts[TITLE_TEXTS];

/* With a course, the keys it adds, under the fifteen; none without. */
enum { TITLE_COURSE_TEXTS = 3 };
extern const title_text title_course_texts[TITLE_COURSE_TEXTS];
extern bool title_course;

/* Black everywhere, the fifteen texts in white (and the course's keys
 * when title_course). */
void draw_title(BITMAP *dst);

#endif
