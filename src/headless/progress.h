/*
 * headless/progress.h -- caravelt-sim's progress line: how far long work
 * has got, on standard error, rewritten in place, only when standard
 * error is a terminal (and --quiet was not given).  A pipe or a file
 * gets nothing.  The line is cleared when the work ends, and by Ctrl-C
 * or a terminating signal too, so the terminal is left clean.
 */
#ifndef CARAVELT_HEADLESS_PROGRESS_H
#define CARAVELT_HEADLESS_PROGRESS_H

#include <cstdint>

struct tool_progress {
    bool on = false;
    const char *what = "";       /* "setups", "ticks", "s" */
    bool timed = false;          /* what counts is the seconds themselves: no rate shown */
    double began = 0, shown = 0; /* s, monotonic */
};

/* The line begins (when stderr is a terminal and not quiet); what names
 * the units counted. */
void progress_begin(tool_progress *p, const char *what, bool quiet);

/* done of total, its rate, the time left, and extra (or null) after
 * them; at most five times a second. */
void progress_show(tool_progress *p, double done, double total, const char *extra = nullptr);

/* The line cleared. */
void progress_end(tool_progress *p);

#endif
