/*
 * frame/course.cpp -- the game's course (--course), read before any
 * window opens; the ghost raced on it (--ghost, the one a replay was
 * raced against, or your best kept); its targets; and your best lap
 * kept as you drive.  The drive counts every tick on the course (run/);
 * the present draws it.
 */
#include <cstring>
#include <ctime>

#include "drive/header.h"
#include "frame/frame.h"
#include "present/present.h"
#include "run/best.h"
#include "run/ghost.h"
#include "run/log.h"
#include "run/targets.h"

static course given_course;
static run_drive ghost;
static bool ghost_opened;

/* What was read for the ghost, for the rule on outputs. */
static std::vector<run_file> read_files;

/* The ghost raced, as the recording's header names it: its file and the
 * hash of its bytes ("" for none, or one from a pipe). */
static std::string ghost_named;
static uint64_t ghost_named_hash;

/* Your best: the file and its lap, and the drive's keys from its first
 * tick, the recording written when a lap beats it. */
static best_kept kept;
static uint64_t kept_car;   /* the hash of the car the file is for: a car read again (F5) keeps nothing */
static run_log best_keys_log;

/* What the start found worth saying but not fatal: said on the screen
 * once it is up. */
static std::string notes;

static void note(const std::string &text)
{
    complain(0, "%s", text.c_str());
    notes += (notes.empty() ? "" : "; ") + text;
}

int read_game_course(void)
{
    char err[512];
    if (game_opts.course && read_course_file(game_opts.course, &given_course, err, sizeof err) != 0)
        return complain(1, "%s", err);
    title_course = game_opts.course != nullptr;
    return 0;
}

void game_given_course(const char **file, const course **track)
{
    *file = game_opts.course;
    *track = game_opts.course ? &given_course : nullptr;
}

/* The ghost at path opened on d's course; a driving script is driven
 * with the game's own car.  0, or the status after one line. */
static int open_ghost_file(const run_drive *d, const char *path)
{
    char err[1024];
    const char *car_file;
    const car *params;
    game_given_car(&car_file, &params);
    int st = ghost_open(&ghost, path, &d->track, d->course_file.c_str(), err, sizeof err, car_file ? car_file : "",
                        params ? params : &KVT);
    if (ghost.in.f)
        read_files.push_back({"the ghost", ghost.in.name, ghost.in.id, false});
    if (st != 0)
        return complain(ghost.in.machine_fault ? 1 : 2, "%s", err);
    if (!ghost.car_file.empty())
        read_files.push_back({"the ghost's car file", ghost.car_file, id_of_path(ghost.car_file.c_str()), false});
    ghost_opened = true;
    if (strcmp(path, "-") != 0 && file_hash(path, &ghost_named_hash) == 0)
        ghost_named = path;
    return 0;
}

/* A replay raced against a ghost brings it, when its file is still there
 * as it was; else the replay runs without it, and says why. */
static void open_replays_ghost(const run_drive *d)
{
    std::string file;
    uint64_t want = 0, now = 0;
    char err[1024];
    int line = header_ghost(&d->in, &file, &want, err, sizeof err);
    if (line <= 0) {
        if (line < 0)
            note(std::string(err) + ": replayed without its ghost");
        return;
    }
    if (file_hash(file.c_str(), &now) != 0)
        note("the ghost " + shell_word(file.c_str()) + " cannot be read: replayed without it");
    else if (now != want)
        note("the ghost " + shell_word(file.c_str()) + " has changed since (hash " + hex16(now) + ", raced "
             + hex16(want) + "): replayed without it");
    else if (ghost_open(&ghost, file.c_str(), &d->track, d->course_file.c_str(), err, sizeof err) != 0)
        note(std::string(err) + ": replayed without it");
    else
        ghost_opened = true, ghost_named = file, ghost_named_hash = now;
}

int open_game_ghost(const run_drive *d)
{
    if (game_opts.ghost && !d->on_course)
        return complain(2, "--ghost needs a course (--course, or a replay made on one): a ghost is a lap of a course");
    if (game_opts.ghost && game_opts.replay && !strcmp(game_opts.ghost, "-") && !strcmp(game_opts.replay, "-"))
        return complain(2, "--ghost and --replay cannot both read standard input");
    if (game_opts.ghost)
        return open_ghost_file(d, game_opts.ghost);
    if (game_opts.replay && d->on_course)
        open_replays_ghost(d);
    return 0;
}

int drive_game_ghost(course_race *race)
{
    if (!ghost_opened)
        return 0;
    char err[1024];
    int st = ghost_drive(&ghost, race, err, sizeof err);
    drive_close(&ghost);
    if (st != 0 && !game_opts.ghost) {   /* the replay's own ghost: it runs without */
        note(std::string(err) + ": replayed without it");
        ghost_named.clear();
        return 0;
    }
    return st ? complain(2, "%s", err) : 0;
}

void ghost_run_files(std::vector<run_file> *files)
{
    files->insert(files->end(), read_files.begin(), read_files.end());
}

const char *game_ghost_file(uint64_t *hash)
{
    *hash = ghost_named_hash;
    return ghost_named.empty() ? nullptr : ghost_named.c_str();
}

void open_game_best(run_drive *d)
{
    if (!d->on_course || game_opts.replay)
        return;   /* a replay shows the drive as caravelt-sim draws it: no targets, no best */
    std::string why;
    targets_load(d->course_file.c_str(), &d->track, &d->race.targets, &why);
    if (!why.empty())
        note(why);
    if (game_opts.no_best)
        return;
    std::string folder = best_folder();
    if (folder.empty()) {
        note("neither XDG_DATA_HOME nor HOME is set: your best lap is not kept");
        return;
    }
    kept_car = car_hash_of(&d->params);
    kept.path = best_file(folder, &d->track, kept_car);
    best_read(&kept, &d->track, d->course_file.c_str(), ghost_opened ? nullptr : &d->race, &why);
    if (!why.empty())
        note(why);
    if (kept.has && !ghost_opened)
        ghost_named = kept.path, file_hash(kept.path.c_str(), &ghost_named_hash);
    best_keys_log.recording = true;
}

void game_course_notes(void)
{
    if (!notes.empty())
        say_on_screen(NOTICE_PASSING, notes.c_str());
    notes.clear();
}

void game_best_keys(unsigned keys, unsigned after)
{
    run_log_keys(&best_keys_log, keys, after);
}

void game_lap_done(const run_drive *d)
{
    double total = course_lap_total(&d->track, &d->race.p.last);
    if (kept.path.empty() || (kept.has && total >= kept.total) || car_hash() != kept_car)
        return;
    run_log_flush_line(&best_keys_log);
    uint64_t hash = 0;
    const char *ghost_file = game_ghost_file(&hash);
    std::string text;
    record_header(&text, kept.path.c_str(), d->car_file.empty() ? nullptr : d->car_file.c_str(), time(nullptr),
                  d->course_file.c_str(), course_hash(&d->track), d->standing, ghost_file, hash);
    text += best_keys_log.keys_text;
    char err[1024];
    if (best_offer(&kept, total, text, err, sizeof err) < 0)
        say_on_screen(NOTICE_PASSING, err);
    else
        say_on_screen(NOTICE_PASSING, "A new best lap: kept, to race next time");
}
