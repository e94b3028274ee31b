/*
 * frame/drive.cpp -- every tick the game runs, and what it writes down or
 * plays back: --record, --trace, --replay.
 *
 * The drive itself is run/'s (run/drive.h): the car, the course and its
 * race, the replay played as a value with its header's rules, each tick
 * through run_tick with the game's rule for a state that stops being
 * finite (halt; live, wait for R).  What is the game's own is here: the
 * keyboard and the title screen as the tick's key source, the chart and
 * the notices, and the output files.
 *
 * Files are settled before the window opens: a bad replay, one whose car
 * or course is refused, or an output that is a file the game reads or
 * the other output, is refused (status 2); an output that cannot be
 * opened is status 1.  Outputs are opened then but emptied only once the
 * display is up, so a start that fails leaves every file as it was (and
 * removes the ones it made).
 *
 * During the run, ticks only append text in memory (run/log.h); the main
 * loop writes it out between frames, at least once a second, closing the
 * recording's open line each time so that a kill loses at most the last
 * second.  A write that fails, or an output that is no longer linked (its
 * folder deleted), is said on screen at once and at exit (status 1).
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
#include "drive/trace.h"
#include "frame/frame.h"
#include "frame/ticks.h"
#include "present/chart.h"
#include "present/present.h"
#include "run/log.h"
#include "sim/sim.h"

/* The game's drive, and what it writes down. */
static run_drive game;
static run_log log_text;

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
    {"recording", nullptr, &log_text.keys_text, -1, false, 0},
    {"trace", nullptr, &log_text.trace_text, -1, false, 0},
};

/* Set by the first tick the driver runs after a replay. */
static bool driven_after_replay;

bool replaying(void)
{
    return game.playing;
}

bool replay_in_view(void)
{
    return game_opts.replay && !driven_after_replay;
}

uint64_t replay_position(void)
{
    return game.played;
}

uint64_t replay_length(void)
{
    return game.in.ticks;
}

const std::string &game_car_file(void)
{
    return game.car_file;
}

const std::string &game_course_file(void)
{
    return game.course_file;
}

/* A read of the replay that failed as it played: said at once, and at exit. */
static void replay_read_failed(void)
{
    static bool told;
    if (!game.failed.empty() && !told) {
        told = true;
        say_on_screen(NOTICE_LOST, game.failed.c_str());
    }
}

/* ----------------------------------------------------------------------
 * The key source and the title screen, live.
 * ---------------------------------------------------------------------- */
static int allegro_key_held(int k) { return key[k]; }
static unsigned keyboard(int) { return sim_key_mask(allegro_key_held); }

/* A live title screen may stay up for long: what is waiting is written
 * out first. */
static void game_title(void)
{
    write_drive_files(true);
    gamemenu();
}

/* ----------------------------------------------------------------------
 * game_tick: a halted car's notice goes as the tick begins it again; a
 * tick that halts it says why; the replay's last tick pauses the game.
 * ---------------------------------------------------------------------- */
void game_tick(void)
{
    bool from_replay = replaying();
    driven_after_replay = driven_after_replay || !from_replay;
    if (game.run.fault)
        say_on_screen(NOTICE_HALTED, nullptr);
    unsigned bits = from_replay ? drive_tick(&game) : run_tick_read(&game.run, keyboard, game_title);
    if ((bits & COURSE_LAP_DONE) && !game_opts.replay)
        game_lap_done(&game);
    if (bits & RUN_FAULT) {
        char why[128], text[200];
        run_fault_text(&game.run, why, sizeof why);
        snprintf(text, sizeof text, "tick %llu: %s: hold R to start again", (unsigned long long)game.run.fault_tick,
                 why);
        say_on_screen(NOTICE_HALTED, text);
    }
    replay_read_failed();
    if (from_replay && !replaying())
        set_pause(true);   /* the car stands as the recorded drive left it; P hands it over */
}

bool tick_may_run(void)
{
    return !game.run.fault || replaying() || key[KEY_R];
}

void replay_seek(uint64_t target)
{
    bool was_playing = replaying();
    if (target < game.played)
        say_on_screen(NOTICE_HALTED, nullptr);
    drive_seek(&game, target);
    replay_read_failed();
    if (was_playing && !replaying())
        set_pause(true);
    tick_drop_owed();
}

/* ----------------------------------------------------------------------
 * Before the window: the files checked and opened.
 * ---------------------------------------------------------------------- */

/* No output is a file the game reads (the car file, the replay, the two
 * pictures, the course's files) or the other output; 0, or 2 after saying so. */
static int check_files(void)
{
    std::vector<run_file> files;
    if (!game.car_file.empty())
        files.push_back({"the car file", game.car_file, id_of_path(game.car_file.c_str()), false});
    if (game_opts.replay)
        files.push_back({"the replay", game_opts.replay, game.in.id, false});
    for (const char *pic : PICTURE_FILES) {
        std::string path = data_path(pictures_dir, pic);
        files.push_back({"the picture", path, id_of_path(path.c_str()), false});
    }
    if (game.on_course)
        files.push_back({"the course file", game.course_file, id_of_path(game.course_file.c_str()), false});
    ghost_run_files(&files);
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
    run_given given;
    game_given_car(&given.car_file, &given.params);
    game_given_course(&given.course_file, &given.track);
    given.force = game_opts.force;
    given.standing = !game_opts.replay;   /* driven live on a course: a standing start */
    char err[1024];
    if (game_opts.replay) {
        if (drive_open(&game, game_opts.replay, &given, err, sizeof err) != 0)
            return complain(game.in.machine_fault ? 1 : 2, "%s", err);
    } else {
        drive_live(&game, &given);
    }
    if (int st = open_game_ghost(&game))
        return st;
    if (int st = check_files())
        return st;
    if (int st = drive_game_ghost(&game.race))
        return st;
    return open_outputs();
}

/* ----------------------------------------------------------------------
 * Once the display is up.
 * ---------------------------------------------------------------------- */

static void spill(void *) { write_drive_files(true); }

/* The hooks: the log's keys and rows, the chart's samples, which a
 * re-run from the start makes again. */
static run_hooks game_hooks(void)
{
    run_hooks h;
    h.keys = [](void *, unsigned keys, unsigned after) {
        run_log_keys(&log_text, keys, after);
        game_best_keys(keys, after);
    };
    h.row = [](void *, uint64_t tick) { run_log_row(&log_text, tick); };
    h.ran = [](void *) { chart_record(); };
    h.restart = [](void *) { chart_clear(); };
    return h;
}

/* The header names the car by its parameters: made once they are loaded,
 * before the first tick. */
void begin_drive(void)
{
    for (output &o : outputs) {
        struct stat st;
        if (o.fd >= 0 && fstat(o.fd, &st) == 0 && S_ISREG(st.st_mode) && ftruncate(o.fd, 0) != 0)
            o.failed = errno;
    }
    log_text.recording = game_opts.record != nullptr;
    log_text.tracing = game_opts.trace != nullptr;
    log_text.spill = spill;
    if (log_text.tracing)
        log_text.trace_text = std::string(TRACE_HEADER) + "\n";
    open_game_best(&game);   /* only once the game runs: a start refused or failed touches no best */
    drive_start(&game, RUN_HALT, game_hooks(), true);
    if (game.on_course)
        view_race = &game.race;
    uint64_t ghost_hash = 0;
    const char *ghost_file = game_ghost_file(&ghost_hash);
    if (log_text.recording)
        record_header(&log_text.keys_text, game_opts.record, game.car_file.empty() ? nullptr : game.car_file.c_str(),
                      time(nullptr), game.on_course ? game.course_file.c_str() : nullptr,
                      game.on_course ? course_hash(&game.track) : 0, game.standing, ghost_file, ghost_hash);
    game_course_notes();
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
    run_log_flush_line(&log_text);
    for (output &o : outputs)
        write_out(&o);
}

int close_drive_files(void)
{
    run_log_flush_line(&log_text);
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
    if (!game.failed.empty())
        st = complain(1, "%s", game.failed.c_str());
    drive_close(&game);
    return st;
}
