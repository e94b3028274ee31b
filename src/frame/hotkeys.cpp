/*
 * frame/hotkeys.cpp -- the game's keys beyond the driving keys.
 *
 * Looked at once per pass of the main loop, between ticks, never inside
 * one: what they change is seen by the next tick whole.  Each acts once
 * per press.
 */
#include <allegro.h>

#include "frame/frame.h"
#include "present/present.h"
#include "frame/ticks.h"

bool key_pressed(int k, bool &was)
{
    bool now = key[k] != 0;
    bool edge = now && !was;
    was = now;
    return edge;
}


/* ----------------------------------------------------------------------
 * hotkeys: G shows or hides the chart; T, with a course, the telemetry;
 * P pauses or resumes; the period
 * key, while paused, asks the main loop for one tick; then the replay
 * viewer's keys.  Both edges of the pause drop the ticks owed: on
 * resuming, all the time paused (it is not made up); on pausing, the one
 * or two owed since the last frame, so the pause holds from the frame it
 * was asked in.
 * ---------------------------------------------------------------------- */
void hotkeys(void)
{
    static bool g_was, p_was, step_was, f5_was, t_was;

    if (key_pressed(KEY_F5, f5_was))
        reload_game_car();
    expire_notice();

    if (key_pressed(KEY_G, g_was))
        chart_shown = !chart_shown;
    if (key_pressed(KEY_T, t_was) && view_race)
        telemetry_shown = !telemetry_shown;
    if (key_pressed(KEY_P, p_was))
        set_pause(!paused);
    if (key_pressed(KEY_STOP, step_was) && paused)
        step_asked = true;
    viewer_keys();
}
