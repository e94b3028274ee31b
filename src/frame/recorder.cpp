/*
 * frame/recorder.cpp -- every tick the game runs, and what it writes down
 * or plays back: --record, --trace, --replay.
 *
 * Files are settled before the window opens: a bad replay, one whose car
 * or course is refused (drive/header.h), or an output that is a file the
 * game reads or the other output, is refused (status 2); an output that
 * cannot be opened is status 1.  Outputs are opened then but emptied
 * only once the display is up, so a start that fails leaves every file
 * as it was (and removes the ones it made).
 *
 * During the run, ticks only append text in memory; the main loop writes
 * it out between frames, at least once a second, closing the recording's
 * open line each time so that a kill loses at most the last second.  A
 * write that fails, or an output that is no longer linked (its folder
 * deleted), is said on screen at once and at exit (status 1).
 *
 * The replay is checked whole before the window, then read again a
 * stretch at a time as it plays: memory does not grow with its length.
 * A jump back in it (the viewer) reads it again from its start.
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

#include "drive/datadir.h"
#include "drive/files.h"
#include "drive/header.h"
#include "drive/record.h"
#include "drive/script.h"
#include "drive/trace.h"
#include "frame.h"
#include "present/chart.h"
#include "sim/sim.h"
#include "ticks.h"

/* An output file and the text that waits for it. */
struct output {
    const char *what;    /* as messages name it */
    const char *path;    /* null when not asked for */
    std::string *text;
    int fd;              /* -1 when not open */
    bool made;           /* made by this run: removed again if the start fails */
    int failed;          /* the first failure (errno, or FILE_REMOVED); later text is dropped */
};
static output outputs[] = {
    {"recording", nullptr, &record_text, -1, false, 0},
    {"trace", nullptr, &trace_text, -1, false, 0},
};

/* The replay: the stretch in use and the ticks used of it; `playing`
 * while one is in use.  A read that fails ends it, and is kept here. */
static script_in replay;
static stretch replay_now;
static uint64_t replay_used;
static uint64_t replay_played;   /* ticks of the replay run since its start */
static bool playing;
static char replay_failed[512];

/* Not empty: the last tick left a state that is not finite; why. */
static char halted[200];

/* Set by the first tick the driver runs after a replay. */
static bool driven_after_replay;

bool replaying(void)
{
    return playing;
}

bool replay_in_view(void)
{
    return game_opts.replay && !driven_after_replay;
}

/* The next stretch of the replay, or its end: after a tick of it, the
 * pause (the car stands as the last tick left it, so its trace ends where
 * the recorded drive's did; P hands it to the driver). */
static void replay_next(void)
{
    bool after_a_tick = playing;
    char err[512];
    int r = script_next(&replay, &replay_now, err, sizeof err);
    replay_used = 0;
    playing = r == 1;
    if (r == 2) {
        snprintf(replay_failed, sizeof replay_failed, "%s", err);
        say_on_screen(NOTICE_LOST, err);
    }
    if (!playing && after_a_tick)
        set_pause(true);
}

bool replay_from_start(void)
{
    char err[512];
    if (!replay.f || script_rewind(&replay, err, sizeof err) != 0)
        return false;
    playing = false;
    replay_played = 0;
    replay_next();
    return playing;
}

uint64_t replay_position(void)
{
    return replay_played;
}

uint64_t replay_length(void)
{
    return replay.ticks;
}

/* ----------------------------------------------------------------------
 * replay_seek: the replay on to tick `target` with no frame drawn: on
 * from where it stands, or, for a target behind, from the start state
 * and the recording's first tick, so that every state shown is the one
 * the drive had.  A re-run writes no key and no row a second time
 * (record_rerun); the chart's ring and the course's laps (the lap to
 * beat, the ghost, the splits) are made again by the ticks re-run.
 * The ticks owed meanwhile are dropped: the replay goes on from there.
 * ---------------------------------------------------------------------- */
void replay_seek(uint64_t target)
{
    if (target < replay_played) {
        state_start();
        halted[0] = '\0';
        say_on_screen(NOTICE_HALTED, nullptr);
        chart_clear();
        restart_game_course();
        record_rerun();
        if (!replay_from_start())
            return;
    }
    while (replaying() && replay_played < target)
        run_tick();
    tick_drop_owed();
}

/* ----------------------------------------------------------------------
 * The key seam and the title screen, live or replayed.
 * ---------------------------------------------------------------------- */
static int allegro_key_held(int k) { return key[k]; }

/* read 0: the start of the controls; read 1: after a title screen. */
static unsigned game_keys(int read)
{
    if (replaying())
        return read == 0 ? replay_now.keys : replay_now.after;
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

static void spill(void) { write_drive_files(true); }

/* The header names the car by its parameters: made here, once start-up
 * has loaded them, before the first tick. */
void drive_hooks(void)
{
    record_keys_from(game_keys);
    record_spill = spill;
    sim_title_screen = game_title;
    if (recording && record_text.empty())
        record_header(&record_text, game_opts.record, game_car_path(), time(nullptr), game_opts.course,
                      game_course_hash());
}

/* ----------------------------------------------------------------------
 * run_tick: every tick the game runs, owed or single-stepped.  A tick
 * begun on a state that is not finite starts from the start state with
 * the car's parameters: no reset can clear a NaN heading or pedal, and
 * the same rule live and in a replay keeps a recording of it exact.
 * ---------------------------------------------------------------------- */
void run_tick(void)
{
    driven_after_replay = driven_after_replay || !replaying();
    if (halted[0]) {
        state_start();
        halted[0] = '\0';
        say_on_screen(NOTICE_HALTED, nullptr);
    }
    float x0 = x, y0 = y;
    if (recorded_tick()) {
        chart_record();
    } else {
        char why[128];
        state_not_finite(why, sizeof why);
        snprintf(halted, sizeof halted, "tick %llu: %s: hold R to start again",
                 (unsigned long long)ticks_recorded, why);
        say_on_screen(NOTICE_HALTED, halted);
    }
    count_course_tick(x0, y0);
    if (replaying()) {
        replay_played++;
        if (++replay_used == replay_now.ticks)
            replay_next();
    }
}

bool tick_may_run(void)
{
    return !halted[0] || replaying() || key[KEY_R];
}

/* ----------------------------------------------------------------------
 * Before the window: the files checked and opened.
 * ---------------------------------------------------------------------- */

/* No output is a file the game reads (the car file, the replay, the two
 * pictures, the course's files) or the other output; 0, or 2 after saying so. */
static int check_files(void)
{
    std::vector<run_file> files;
    if (const char *car_file = game_car_path())
        files.push_back({"the car file", car_file, id_of_path(car_file), false});
    if (game_opts.replay)
        files.push_back({"the replay", game_opts.replay, replay.id, false});
    for (const char *pic : PICTURE_FILES) {
        std::string path = data_path(pictures_dir, pic);
        files.push_back({"the picture", path, id_of_path(path.c_str()), false});
    }
    course_run_files(&files);
    for (const output &o : outputs)
        if (o.path)
            files.push_back({std::string("the ") + o.what, o.path, id_of_path(o.path), true});
    char err[512];
    return check_run_files(files, err, sizeof err) ? complain(2, "%s", err) : 0;
}

/* Opened without emptying, so that a start that fails leaves an old file
 * as it was; one made here is removed again. */
static int open_outputs(void)
{
    for (output &o : outputs) {
        if (!o.path)
            continue;
        struct stat st;
        bool existed = stat(o.path, &st) == 0;
        o.fd = open(o.path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
        if (o.fd < 0) {
            int e = errno;
            abandon_drive_files();
            return complain(1, "cannot write the %s \"%s\": %s", o.what, o.path, strerror(e));
        }
        o.made = !existed;
    }
    return 0;
}

int open_drive_files(void)
{
    outputs[0].path = game_opts.record;
    outputs[1].path = game_opts.trace;
    char err[512];
    if (game_opts.replay) {
        if (script_open(&replay, game_opts.replay, err, sizeof err) != 0)
            return complain(2, "%s", err);
        if (int st = script_check(&replay, SCRIPT_SPOOL_MAX, err, sizeof err))
            return complain(st, "%s", err);
        if (int st = replay_game_car(replay.header, replay.name))
            return st;
        if (int st = check_replay_course(&replay))
            return st;
    }
    if (int st = check_files())
        return st;
    return open_outputs();
}

void begin_drive_files(void)
{
    for (output &o : outputs) {
        struct stat st;
        if (o.fd >= 0 && fstat(o.fd, &st) == 0 && S_ISREG(st.st_mode) && ftruncate(o.fd, 0) != 0)
            o.failed = errno;
    }
    recording = game_opts.record != nullptr;
    tracing = game_opts.trace != nullptr;
    if (tracing)
        trace_text = std::string(TRACE_HEADER) + "\n";
    if (game_opts.replay)
        replay_from_start();
}

void abandon_drive_files(void)
{
    for (output &o : outputs) {
        if (o.fd < 0)
            continue;
        close(o.fd);
        o.fd = -1;
        if (o.made)
            unlink(o.path);
    }
}

/* ----------------------------------------------------------------------
 * During the run and at the end: the text written out.
 * ---------------------------------------------------------------------- */

/* Every byte of the text, or the failure; a closed pipe (EPIPE: SIGPIPE
 * is ignored) is one like any other.  The first failure shows at once. */
static void write_out(output *o)
{
    for (size_t at = 0; o->fd >= 0 && !o->failed && at < o->text->size();) {
        ssize_t n = write(o->fd, o->text->data() + at, o->text->size() - at);
        if (n > 0)
            at += (size_t)n;
        else if (n < 0 && errno != EINTR)
            o->failed = errno;
    }
    o->text->clear();
    if (o->fd >= 0 && !o->failed && file_removed(o->fd))
        o->failed = FILE_REMOVED;
    static bool told[std::size(outputs)];
    if (o->failed && !told[o - outputs]) {
        told[o - outputs] = true;
        char text[256];
        snprintf(text, sizeof text, "cannot write the %s \"%s\": %s", o->what, o->path,
                 failure_text(o->failed));
        say_on_screen(NOTICE_LOST, text);
    }
}

void write_drive_files(bool now)
{
    static struct timespec last;
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    bool due = now || t.tv_sec > last.tv_sec + 1
               || (t.tv_sec > last.tv_sec && t.tv_nsec >= last.tv_nsec);
    if (!due)
        return;
    last = t;
    record_flush_line();
    for (output &o : outputs)
        write_out(&o);
}

int close_drive_files(void)
{
    record_flush_line();
    int st = 0;
    for (output &o : outputs) {
        if (o.fd < 0)
            continue;
        write_out(&o);
        if (close(o.fd) != 0 && !o.failed)
            o.failed = errno;
        o.fd = -1;
        if (o.failed)
            st = complain(1, "cannot write the %s \"%s\": %s", o.what, o.path,
                          failure_text(o.failed));
    }
    if (replay_failed[0])
        st = complain(1, "%s", replay_failed);
    script_close(&replay);
    return st;
}
