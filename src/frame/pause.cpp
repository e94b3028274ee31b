/*
 * frame/pause.cpp -- the pause (P, and the end of a replay).
 */
#include "frame/frame.h"
#include "frame/ticks.h"
#include "present/present.h"

bool paused;
bool step_asked;

void set_pause(bool on)
{
    paused = on;
    paused_shown = on;
    step_asked = false;
    tick_drop_owed();
}
