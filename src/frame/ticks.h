/*
 * frame/ticks.h -- the 100 Hz tick counter.
 *
 * The timer callback runs on the library's timer thread and only counts;
 * the main loop consumes.  An atomic integer, so neither side can lose
 * the other's update, and the callback never blocks.
 */
#ifndef CARAVELT_FRAME_TICKS_H
#define CARAVELT_FRAME_TICKS_H

#include <atomic>

/* Simulation ticks owed: +1 per timer call, -1 per step run. */
extern std::atomic<int> timer;

/* The timer callback: adds one tick. */
void timer_add(void);

/* Main loop side: is a tick owed, and one has been run. */
inline bool tick_owed(void) { return timer.load(std::memory_order_acquire) > 0; }
inline void tick_done(void) { timer.fetch_sub(1, std::memory_order_acq_rel); }

/* Pausing and resuming: every tick owed so far is forgotten in one
 * exchange, so a tick the callback adds meanwhile is either dropped or
 * kept whole, never half-counted. */
inline void tick_drop_owed(void) { timer.exchange(0, std::memory_order_acq_rel); }

#endif
