/*
 * frame/ticks.cpp -- the tick counter and its timer callback.
 */
#include "frame/ticks.h"

std::atomic<int> timer{0};

void timer_add(void)
{
    timer.fetch_add(1, std::memory_order_acq_rel);
}
