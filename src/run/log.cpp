/*
 * run/log.cpp -- run-length key lines and trace rows as text (see log.h).
 */
#include "run/log.h"

#include "drive/trace.h"
#include "run/run.h"

static void spill_when_full(run_log *l)
{
    if (l->spill && l->keys_text.size() + l->trace_text.size() >= RUN_LOG_SPILL_AT)
        l->spill(l->spill_ctx);
}

void run_log_flush_line(run_log *l)
{
    if (l->line.ticks == 0)
        return;
    char text[STRETCH_TEXT_MAX];
    l->keys_text.append(text, put_stretch(text, &l->line));
    l->line.ticks = 0;
}

/* A tick whose keys changed across a title screen is a line of its own. */
void run_log_keys(run_log *l, unsigned keys, unsigned after)
{
    if (!l->recording)
        return;
    stretch &s = l->line;
    if (s.ticks && (keys != s.keys || after != s.after || after != keys || s.ticks == SCRIPT_MAX_TICKS))
        run_log_flush_line(l);
    if (s.ticks == 0)
        s = {0, keys, after};
    s.ticks++;
    spill_when_full(l);
}

void run_log_row(run_log *l, uint64_t tick)
{
    if (!l->tracing)
        return;
    char row[ROW_TEXT_MAX];
    l->trace_text.append(row, put_row(row, tick));
    spill_when_full(l);
}

void run_log_hooks(run_log *l, run_hooks *h)
{
    h->keys = [](void *ctx, unsigned keys, unsigned after) { run_log_keys((run_log *)ctx, keys, after); };
    h->row = [](void *ctx, uint64_t tick) { run_log_row((run_log *)ctx, tick); };
    h->ctx = l;
}
