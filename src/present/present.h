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

/* One frame: compose into buffer, copy to the screen, rest 10 ms. */
void graphic(void);

/* ----------------------------------------------------------------------
 * Telemetry column (telemetry.cpp).
 * ---------------------------------------------------------------------- */

enum { TELEMETRY_ROWS = 28, TELEMETRY_COL = 100, TELEMETRY_TOP = 100 };

/* The text of row i (0..27) as drawn, from the current state. */
void telemetry_text(int i, char *out, size_t size);

/* Draws the 28 rows into dst, black, no background. */
void debug(BITMAP *dst);

/* ----------------------------------------------------------------------
 * Title and controls screen (title.cpp).
 * ---------------------------------------------------------------------- */

enum { TITLE_TEXTS = 15 };
struct title_text { int col, row; const char *text; };
extern const title_text title_texts[TITLE_TEXTS];

/* Black everywhere, the fifteen texts in white. */
void draw_title(BITMAP *dst);

#endif
