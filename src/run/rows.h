/*
 * run/rows.h -- the traced state as one packed record: a row of a
 * fleet's rollout, and (after its tick number) a row of a run's trace.
 *
 * The members are the trace's columns but `tick`, in its order, made from
 * the same list, so a column added there is carried here with no edit.
 */
#ifndef CARAVELT_RUN_ROWS_H
#define CARAVELT_RUN_ROWS_H

#include <cstdint>

#include "sim/state.h"

#define STATE_ROW_MEMBER(type, name, start) type name;
struct state_row {
    SIM_STATE_TRACED(STATE_ROW_MEMBER)
};
#undef STATE_ROW_MEMBER

/* Every column is a 4-byte float or int, so the row has no padding and
 * numpy describes it field by field. */
#define STATE_ROW_SIZE(type, name, start) +sizeof(type)
static_assert(sizeof(state_row) == 0 SIM_STATE_TRACED(STATE_ROW_SIZE), "a packed row");
#undef STATE_ROW_SIZE

/* A row of a run's trace: the tick (1 for the first) and the state after it. */
struct trace_row {
    int64_t tick;
    state_row s;
};

/* *r takes what this thread's names hold now. */
inline void take_row(state_row *r)
{
#define STATE_ROW_TAKE(type, name, start) r->name = name;
    SIM_STATE_TRACED(STATE_ROW_TAKE)
#undef STATE_ROW_TAKE
}

#endif
