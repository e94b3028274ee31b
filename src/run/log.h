/*
 * run/log.h -- a drive written down as it runs: each tick's keys as a
 * driving script (drive/script.h), and its state as trace rows
 * (drive/trace.h), as text in memory that the front end writes out.
 *
 * Ticks only append; the front end writes the text out between frames
 * and empties it, so a tick rarely waits on a file.  However many ticks
 * run back to back (the ticks owed after a long title screen, a seek),
 * the text waiting stays bounded: past RUN_LOG_SPILL_AT bytes a tick
 * hands it to `spill` at once.  A tick's keys are the masks the
 * controls read (run.h): consecutive ticks with the same keys make one
 * line, closed when the keys change or by run_log_flush_line.
 */
#ifndef CARAVELT_RUN_LOG_H
#define CARAVELT_RUN_LOG_H

#include <cstdint>
#include <string>

#include "drive/script.h"

/* Text waiting past this many bytes goes to spill after the tick. */
enum { RUN_LOG_SPILL_AT = 1 << 20 };

struct run_log {
    bool recording = false, tracing = false;
    std::string keys_text;          /* script lines, once recording */
    std::string trace_text;         /* trace rows, once tracing */
    stretch line = {};              /* the line being counted: none yet when its ticks are 0 */
    void (*spill)(void *ctx) = nullptr;   /* must empty both texts */
    void *spill_ctx = nullptr;
};

/* A tick's keys (a run_hooks::keys), and its row (a run_hooks::row, the
 * state from this thread's names), each added when l has it on. */
void run_log_keys(run_log *l, unsigned keys, unsigned after);
void run_log_row(run_log *l, uint64_t tick);

/* Hooks that do only that, for a run_car whose drive is written down by l. */
struct run_hooks;
void run_log_hooks(run_log *l, run_hooks *h);

/* Appends the line still being counted to keys_text: the recording is
 * then complete up to the last tick run.  Ticks after it start a new
 * line (two lines with the same keys replay as one). */
void run_log_flush_line(run_log *l);

#endif
