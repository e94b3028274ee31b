/*
 * drive/record.cpp -- noting the keys the seam hands out, run-length
 * lines, trace rows, the recording's header.
 */
#include "record.h"

#include <cstdio>
#include <cstring>

#include "script.h"
#include "sim/sim.h"
#include "trace.h"

std::string record_text, trace_text;
bool recording, tracing;
uint64_t ticks_recorded, ticks_noted;
void (*record_spill)(void);

static unsigned (*key_source)(int read);

/* What the seam handed out in the tick being run: reads made, and the
 * first two masks (the start of the controls, after a title screen). */
static int reads;
static unsigned seen[2];

static unsigned noted_read_keys(void)
{
    unsigned m = key_source(reads == 0 ? 0 : 1);
    if (reads < 2)
        seen[reads] = m;
    reads++;
    return m;
}

void record_keys_from(unsigned (*source)(int read))
{
    key_source = source;
    sim_read_keys = noted_read_keys;
}

/* The line being counted: `run` ticks of these keys, none yet when 0. */
static stretch line;

void record_flush_line(void)
{
    if (line.ticks == 0)
        return;
    char text[STRETCH_TEXT_MAX];
    record_text.append(text, put_stretch(text, &line));
    line.ticks = 0;
}

/* One tick of keys; a tick whose keys changed across a title screen is a
 * line of its own. */
static void record_keys(unsigned keys, unsigned after)
{
    if (line.ticks && (keys != line.keys || after != line.after || after != keys
                       || line.ticks == SCRIPT_MAX_TICKS))
        record_flush_line();
    if (line.ticks == 0)
        line = {0, keys, after};
    line.ticks++;
}

void record_rerun(void)
{
    ticks_recorded = 0;
}

bool recorded_tick(void)
{
    reads = 0;
    logic();
    bool fresh = ++ticks_recorded > ticks_noted;
    if (fresh)
        ticks_noted = ticks_recorded;
    if (recording && fresh)
        record_keys(seen[0], reads > 1 ? seen[1] : seen[0]);
    bool finite = !state_not_finite();
    if (tracing && finite && fresh) {
        char row[ROW_TEXT_MAX];
        trace_text.append(row, put_row(row, ticks_recorded));
    }
    if (record_spill && record_text.size() + trace_text.size() >= RECORD_SPILL_AT)
        record_spill();
    return finite;
}
