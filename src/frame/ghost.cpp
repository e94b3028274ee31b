/*
 * frame/ghost.cpp -- the ghost's recording, run headless at start-up.
 *
 * It is driven as the game drove it: from the course's start with the
 * recording's car, each tick's keys held through hold_keys, a tick begun
 * on a state that is not finite starting from the start state, and every
 * tick counted through race_after_tick, so its laps are the ones its
 * driver saw.
 */
#include "ghost.h"

#include "drive/record.h"
#include "drive/script.h"
#include "frame.h"
#include "sim/carfile.h"
#include "sim/sim.h"

/* What was read, for the rule on outputs. */
static std::vector<run_file> read_files;

/* The recording open and checked, and what its header says, until driven. */
static script_in in;
static recorded_header head;
static car params;

void ghost_run_files(std::vector<run_file> *files)
{
    files->insert(files->end(), read_files.begin(), read_files.end());
}

/* The recording's car: the preset, or its car file as it was then.
 * 0, or 2 after one line. */
static int ghost_car(const char *path, const recorded_header &h, car *out)
{
    char err[512];
    if (!h.has_car)
        return complain(2, "%s: its header names no car", path);
    *out = KVT;
    if (!h.car_preset && read_car_file(h.car.c_str(), out, err, sizeof err) != 0)
        return complain(2, "%s: its car: %s", path, err);
    if (!h.car_preset)
        read_files.push_back({"the ghost's car file", h.car, id_of_path(h.car.c_str()), false});
    car_state v;
    car_start(&v, out);
    car_in(&v);
    uint64_t hash = car_hash();
    if (hash != h.car_hash)
        return complain(2, "%s: its car %s is not the one it was recorded with (parameters hash %016llx, "
                        "recorded %016llx)", path, h.car_preset ? "preset" : h.car.c_str(),
                        (unsigned long long)hash, (unsigned long long)h.car_hash);
    return 0;
}

/* Every tick of the recording on ghost, the thread's car started with
 * its car at the course's start.  0, or 2 after one line. */
static int drive(course_race *ghost)
{
    car_state v;
    car_start(&v, &params);
    car_in(&v);
    course_start(ghost->c);
    char err[512];
    stretch st;
    int r;
    bool halted = false;
    while ((r = script_next(&in, &st, err, sizeof err)) == 1) {
        hold_keys(st.keys, st.after);
        for (uint64_t i = 0; i < st.ticks; i++) {
            if (halted)
                state_start();
            float x0 = x, y0 = y;
            logic();
            halted = state_not_finite() != nullptr;
            race_after_tick(ghost, x0, y0);
        }
    }
    return r == 2 ? complain(2, "%s", err) : 0;
}


int open_ghost(const char *path, const course *c)
{
    char err[512];
    if (script_open(&in, path, err, sizeof err) != 0)
        return complain(2, "%s", err);
    read_files.push_back({"the ghost", in.name, in.id, false});
    if (int st = script_check(&in, SCRIPT_SPOOL_MAX, err, sizeof err))
        return complain(st, "%s", err);
    head = read_recorded_header(in.head);
    if (!head.has_course)
        return complain(2, "%s: not a recording made on a course: a ghost is a lap recorded with --course", path);
    if (int st = check_recorded_course(&in, game_opts.course, course_hash(c), err, sizeof err))
        return complain(st, "%s", err);
    car_state kept;
    car_out(&kept);
    int st = ghost_car(path, head, &params);
    car_in(&kept);
    return st;
}

int drive_ghost(const char *path, course_race *race)
{
    car_state kept;
    car_out(&kept);
    course_race ghost;
    race_start(&ghost, race->c);
    int st = drive(&ghost);
    car_in(&kept);
    script_close(&in);
    if (st)
        return st;
    if (!ghost.p.has_best)
        return complain(2, "%s: no lap of the course completed: no ghost to race", path);
    race->has_given = true;
    race->given = ghost.p.best;
    race->given_poses = std::move(ghost.p.best_poses);
    return 0;
}
