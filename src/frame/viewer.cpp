/*
 * frame/viewer.cpp -- watching a replay: its speed, jumps in it, and its
 * progress along the top of the view.
 *
 * Only while a --replay is in view: from its first tick until the driver
 * runs a tick of their own after its end.  The driving keys, G, P, the
 * period key and F5 keep their meaning; the viewer's keys are others.
 */
#include <allegro.h>

#include <cstdio>
#include <iterator>

#include "frame/frame.h"
#include "present/present.h"

/* The speeds in quarters of real time, 1/4x to 16x; 1x to begin with. */
static const int QUARTERS[] = {1, 2, 4, 8, 16, 32, 64};
static const char *const SPEED_TEXT[] = {"1/4x", "1/2x", "1x", "2x", "4x", "8x", "16x"};
static int speed = 2;

/* Quarter ticks owed but not yet run: at 1/4x a tick runs every fourth
 * tick of the clock. */
static int credit;

/* A jump back or on: 10 s of ticks. */
static const uint64_t JUMP_TICKS = 1000;

void viewer_keys(void)
{
    static bool slower_was, faster_was, back_was, on_was, start_was;
    if (!replay_in_view())
        return;
    if (key_pressed(KEY_OPENBRACE, slower_was) && speed > 0)
        speed--, credit = 0;
    if (key_pressed(KEY_CLOSEBRACE, faster_was) && speed < (int)std::size(QUARTERS) - 1)
        speed++, credit = 0;
    uint64_t at = replay_position();
    if (key_pressed(KEY_PGUP, back_was))
        replay_seek(at > JUMP_TICKS ? at - JUMP_TICKS : 0);
    if (key_pressed(KEY_PGDN, on_was))
        replay_seek(at + JUMP_TICKS);
    if (key_pressed(KEY_HOME, start_was))
        replay_seek(0);
}

int viewer_ticks(void)
{
    if (!replaying())   /* the driver's ticks, after the end too: real time */
        return 1;
    credit += QUARTERS[speed];
    int n = credit / 4;
    credit %= 4;
    return n;
}

/* ticks as time: m:ss.cc, or h:mm:ss.cc from an hour. */
static void put_time(char *out, size_t size, uint64_t ticks)
{
    unsigned long long cs = ticks % 100, s = ticks / 100 % 60, m = ticks / 6000 % 60, h = ticks / 360000;
    if (h)
        snprintf(out, size, "%llu:%02llu:%02llu.%02llu", h, m, s, cs);
    else
        snprintf(out, size, "%llu:%02llu.%02llu", m, s, cs);
}

void viewer_show(void)
{
    if (!replay_in_view()) {
        replay_progress[0] = '\0';
        return;
    }
    char played[24], total[24];   /* the most ticks a script can count, as h:mm:ss.cc */
    uint64_t at = replay_position(), all = replay_length();
    put_time(played, sizeof played, at);
    put_time(total, sizeof total, all);
    snprintf(replay_progress, sizeof replay_progress, "%s of %s  %s", played, total, SPEED_TEXT[speed]);
    replay_share = all ? (double)at / (double)all : 1;
}
