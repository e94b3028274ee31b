/*
 * headless/progress.cpp -- the progress line (see progress.h).
 */
#include "headless/progress.h"

#include <csignal>
#include <initializer_list>
#include <cstdio>
#include <ctime>
#include <unistd.h>

/* What clears the line: back to its start, erase to its end. */
static const char CLEAR[] = "\r\033[K";

/* The line is up: a signal that ends the program clears it first. */
static volatile sig_atomic_t line_up;

static void clear_and_end(int signo)
{
    if (line_up)
        (void)!write(STDERR_FILENO, CLEAR, sizeof CLEAR - 1);
    signal(signo, SIG_DFL);
    raise(signo);
}

static double now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

void progress_begin(tool_progress *p, const char *what, bool quiet)
{
    p->on = !quiet && isatty(STDERR_FILENO);
    p->what = what;
    p->began = p->shown = now();
    if (!p->on)
        return;
    struct sigaction sa = {};
    sa.sa_handler = clear_and_end;
    sigemptyset(&sa.sa_mask);
    for (int signo : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signo, &sa, nullptr);
}

/* seconds as m:ss, or h:mm:ss from an hour. */
static void clock_text(char *out, size_t size, double seconds)
{
    long s = seconds < 0 ? 0 : (long)(seconds + 0.5);
    if (s >= 3600)
        snprintf(out, size, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        snprintf(out, size, "%ld:%02ld", s / 60, s % 60);
}

void progress_show(tool_progress *p, double done, double total, const char *extra)
{
    double t = now();
    if (!p->on || t - p->shown < 0.2)
        return;
    p->shown = t;
    double rate = done / (t - p->began), left = rate > 0 ? (total - done) / rate : 0;
    char took[32], remaining[32];
    clock_text(took, sizeof took, t - p->began);
    clock_text(remaining, sizeof remaining, left);
    line_up = 1;
    char rate_text[48] = "";
    if (!p->timed)
        snprintf(rate_text, sizeof rate_text, ", %.0f a second", rate);
    fprintf(stderr, "%s%.0f of %.0f %s (%.0f%%)%s, %s so far, %s left%s%s", CLEAR, done, total, p->what,
            total > 0 ? 100 * done / total : 100, rate_text, took, remaining, extra ? "; " : "", extra ? extra : "");
    fflush(stderr);
}

void progress_end(tool_progress *p)
{
    if (p->on && line_up) {
        fputs(CLEAR, stderr);
        fflush(stderr);
    }
    line_up = 0;
}
