/*
 * frame/recorder.cpp -- every tick the game runs, and what it writes down
 * or plays back: --record, --trace, --replay.
 *
 * Files are settled before the window opens: a bad replay or two outputs
 * on one file are refused (status 2), an output that cannot be opened is
 * status 1.  During the run, ticks only append text in memory; the main
 * loop writes it out between frames, at least once a second, and all of
 * it at shut-down.
 */
#include <allegro.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "drive/files.h"
#include "drive/record.h"
#include "drive/script.h"
#include "drive/trace.h"
#include "frame.h"
#include "present/chart.h"
#include "sim/sim.h"

/* An output file and the text that waits for it. */
struct output {
    const char *what;    /* as messages name it */
    const char *path;    /* null when not asked for */
    std::string *text;
    FILE *f;
    int failed;          /* errno of the first failed write; later text is dropped */
};
static output outputs[] = {
    {"recording", nullptr, &record_text, nullptr, 0},
    {"trace", nullptr, &trace_text, nullptr, 0},
};

/* Text beyond this is written at the next pass, whatever the clock says. */
static const size_t WRITE_AT = 1 << 20;

/* The replay: its stretches, the one in use and the ticks used of it. */
static std::vector<stretch> replay;
static size_t replay_at;
static uint64_t replay_used;

bool replaying(void)
{
    return replay_at < replay.size();
}

/* ----------------------------------------------------------------------
 * The key seam and the title screen, live or replayed.
 * ---------------------------------------------------------------------- */
static int allegro_key_held(int k) { return key[k]; }

/* read 0: the start of the controls; read 1: after a title screen. */
static unsigned game_keys(int read)
{
    if (replaying()) {
        const stretch &s = replay[replay_at];
        return read == 0 ? s.keys : s.after;
    }
    return sim_key_mask(allegro_key_held);
}

/* A replayed title screen returns at once.  A live one may stay up for
 * long: what is waiting is written out first. */
static void game_title(void)
{
    if (replaying())
        return;
    write_drive_files(true);
    gamemenu();
}

/* The header names the car by its parameters: made here, once start-up
 * has loaded them, before the first tick. */
void drive_hooks(void)
{
    record_keys_from(game_keys);
    sim_title_screen = game_title;
    if (recording && record_text.empty())
        record_header(&record_text, game_opts.record, game_opts.car, time(nullptr));
}

/* Every tick the game runs, owed or single-stepped, goes through here:
 * the step with its keys recorded and its trace row, then the chart's
 * sample of what it left (read only). */
void run_tick(void)
{
    recorded_tick();
    chart_record();
    if (replaying() && ++replay_used == replay[replay_at].ticks) {
        replay_at++;
        replay_used = 0;
        /* The end of the replay: the car stands as the last tick left it,
         * paused, so its trace ends where the recorded drive's did; P hands
         * it to the driver. */
        if (!replaying())
            set_pause(true);
    }
}

/* ----------------------------------------------------------------------
 * Before the window: the files checked and opened.
 * ---------------------------------------------------------------------- */

static int keep_stretch(const stretch *s, void *)
{
    if (!replay.empty() && s->keys == s->after && replay.back().keys == s->keys
        && replay.back().after == s->after)
        replay.back().ticks += s->ticks;
    else
        replay.push_back(*s);
    return 0;
}

/* The whole replay read and checked, as caravelt-sim checks a script. */
static int load_replay(const char *path)
{
    FILE *in = fopen(path, "r");
    if (!in)
        return complain(2, "%s: %s", path, strerror(errno));
    char err[512];
    int st = scan_script(in, path, keep_stretch, nullptr, err, sizeof err);
    fclose(in);
    return st ? complain(2, "%s", err) : 0;
}

/* Opened without truncating, so that a refusal leaves an old file as it
 * was; one made here is removed again. */
static int open_outputs(void)
{
    int fd[std::size(outputs)];
    bool made[std::size(outputs)] = {};
    for (size_t i = 0; i < std::size(outputs); i++) {
        fd[i] = -1;
        if (!outputs[i].path)
            continue;
        struct stat st;
        bool existed = stat(outputs[i].path, &st) == 0;
        fd[i] = open(outputs[i].path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
        if (fd[i] < 0) {
            int e = errno;
            for (size_t j = 0; j < i; j++)
                if (fd[j] >= 0) {
                    close(fd[j]);
                    if (made[j])
                        unlink(outputs[j].path);
                }
            return complain(1, "cannot write the %s \"%s\": %s", outputs[i].what, outputs[i].path,
                       strerror(e));
        }
        made[i] = !existed;
    }
    for (size_t i = 0; i < std::size(outputs); i++) {
        if (fd[i] < 0)
            continue;
        struct stat st;
        if (fstat(fd[i], &st) == 0 && S_ISREG(st.st_mode) && ftruncate(fd[i], 0) != 0)
            outputs[i].failed = errno;
        outputs[i].f = fdopen(fd[i], "w");
        if (!outputs[i].f)
            return complain(1, "cannot write the %s \"%s\": %s", outputs[i].what, outputs[i].path,
                       strerror(errno));
    }
    return 0;
}

int open_drive_files(void)
{
    outputs[0].path = game_opts.record;
    outputs[1].path = game_opts.trace;
    if (game_opts.record && game_opts.trace && same_file(game_opts.record, game_opts.trace))
        return complain(2, "the recording and the trace are the same file \"%s\"", game_opts.record);
    for (const output &o : outputs)
        if (o.path && game_opts.replay && same_file(o.path, game_opts.replay))
            return complain(2, "the %s would overwrite the replay \"%s\"", o.what, game_opts.replay);
    if (game_opts.replay)
        if (int st = load_replay(game_opts.replay))
            return st;
    if (int st = open_outputs())
        return st;

    recording = game_opts.record != nullptr;
    tracing = game_opts.trace != nullptr;
    if (tracing)
        trace_text = std::string(TRACE_HEADER) + "\n";
    return 0;
}

/* ----------------------------------------------------------------------
 * During the run and at the end: the text written out.
 * ---------------------------------------------------------------------- */
static void write_out(output *o)
{
    if (o->f && !o->failed && !o->text->empty()
        && (fwrite(o->text->data(), 1, o->text->size(), o->f) != o->text->size()
            || fflush(o->f) != 0))
        o->failed = errno ? errno : EIO;
    o->text->clear();
}

void write_drive_files(bool now)
{
    static struct timespec last;
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    bool due = now || t.tv_sec > last.tv_sec + 1
               || (t.tv_sec > last.tv_sec && t.tv_nsec >= last.tv_nsec);
    for (output &o : outputs)
        due = due || o.text->size() >= WRITE_AT;
    if (!due)
        return;
    last = t;
    for (output &o : outputs)
        write_out(&o);
}

int close_drive_files(void)
{
    record_flush_line();
    int st = 0;
    for (output &o : outputs) {
        if (!o.f)
            continue;
        write_out(&o);
        if (fclose(o.f) != 0 && !o.failed)
            o.failed = errno ? errno : EIO;
        o.f = nullptr;
        if (o.failed)
            st = complain(1, "cannot write the %s \"%s\": %s", o.what, o.path, strerror(o.failed));
    }
    return st;
}
