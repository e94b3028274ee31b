/*
 * frame/notice.cpp -- the one line along the foot of the driving view.
 *
 * Three things may want it.  A passing notice (F5's reload) shows for
 * three seconds; a halted car's reason shows until the next tick runs; a
 * file the game can no longer write shows for the rest of the run.  The
 * line shows the first of them that is up, in that order, so that F5's
 * word never hides for good what was lost.
 */
#include <chrono>
#include <cstring>

#include "frame/frame.h"
#include "present/present.h"

static char texts[NOTICE_KINDS][sizeof view_notice];

/* When the passing notice goes away. */
static std::chrono::steady_clock::time_point passing_until;
static const std::chrono::milliseconds PASSING_TIME(3000);

/* The first notice up into the view. */
static void show_first(void)
{
    view_notice[0] = '\0';
    for (const char *t : texts)
        if (t[0]) {
            memcpy(view_notice, t, sizeof view_notice);
            return;
        }
}

void say_on_screen(notice_kind kind, const char *text)
{
    /* What fits the screen's width; a longer line is cut. */
    size_t n = text ? strnlen(text, sizeof texts[kind] - 1) : 0;
    memcpy(texts[kind], text ? text : "", n);
    texts[kind][n] = '\0';
    if (kind == NOTICE_PASSING)
        passing_until = std::chrono::steady_clock::now() + PASSING_TIME;
    show_first();
}

void expire_notice(void)
{
    if (texts[NOTICE_PASSING][0] && std::chrono::steady_clock::now() >= passing_until) {
        texts[NOTICE_PASSING][0] = '\0';
        show_first();
    }
}
