/*
 * headless/sheet_command.cpp -- caravelt-sim --sheet: the handling sheet
 * of one or more cars, or a sweep of one car's setups (--vary).
 *
 * Every car file, axis and number is read and checked before anything is
 * run or written.
 */
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "drive/files.h"
#include "headless/progress.h"
#include "headless/tool.h"
#include "run/threads.h"
#include "sheet/sheet.h"
#include "sheet/sweep.h"
#include "sim/carfile.h"

/* ----------------------------------------------------------------------
 * A sweep: the base car, every axis and value checked, the threads and
 * the shard, before any setup runs; then the CSV on standard output.
 * ---------------------------------------------------------------------- */

bool tool_whole_number(const char *text, long lo, long hi, long *out)
{
    char *end;
    errno = 0;
    long v = strtol(text, &end, 10);
    if (end == text || *end || errno || v < lo || v > hi || !isdigit((unsigned char)*text))
        return false;
    *out = v;
    return true;
}

static int sweep(const tool_options *o, double shift, const course *track, long lap_drives)
{
    sweep_how how;
    how.shift_rpm = shift;
    how.track = track;
    how.lap_drives = lap_drives;
    how.threads = run_cores();
    long n;
    if (o->threads && !tool_whole_number(o->threads, 1, 1024, &n))
        return tool_fail(2, "--threads \"%s\": a number of threads from 1 to 1024 is wanted", o->threads);
    if (o->threads)
        how.threads = (int)n;
    if (o->shard) {
        const char *slash = strchr(o->shard, '/');
        std::string k(o->shard, slash ? (size_t)(slash - o->shard) : 0);
        if (!slash || !tool_whole_number(slash + 1, 1, SWEEP_SETUPS_MAX, &how.shards)
            || !tool_whole_number(k.c_str(), 0, how.shards - 1, &how.shard))
            return tool_fail(2, "--shard \"%s\": K/N is wanted, N shards of the grid (1 to ten million) "
                        "and K the one to run (0 to N - 1)", o->shard);
    }
    sweep_grid g;
    g.base = KVT;
    char err[512];
    if (!o->cars.empty() && read_car_file(o->cars[0], &g.base, err, sizeof err) != 0)
        return tool_fail(2, "%s", err);
    std::vector<run_file> files;
    if (!o->cars.empty())
        files.push_back({"the car file", o->cars[0], id_of_path(o->cars[0]), false});
    if (track)
        files.push_back({"the course file", o->course, id_of_path(o->course), false});
    files.push_back({"the sweep", "standard output", id_of_fd(STDOUT_FILENO), true});
    if (check_run_files(files, err, sizeof err) != 0)
        return tool_fail(2, "%s", err);
    for (const char *v : o->vary)
        if (sweep_add_axis(&g, v, err, sizeof err) != 0)
            return tool_fail(2, "--vary \"%s\": %s", v, err);
    tool_progress line;
    progress_begin(&line, "setups", o->quiet);
    how.progress = [](void *ctx, long done, long total) { progress_show((tool_progress *)ctx, done, total); };
    how.ctx = &line;
    int werr = sweep_print(&g, &how, stdout);
    progress_end(&line);
    return werr ? tool_fail(1, "cannot write the sweep to standard output: %s", strerror(werr)) : 0;
}

/* ----------------------------------------------------------------------
 * The handling sheet: every car file read and checked, and the shift
 * speed, before anything is run or written; then one column per car.
 * ---------------------------------------------------------------------- */
int tool_sheet(const tool_options *o)
{
    double shift = SHEET_SHIFT_DEFAULT;
    if (o->shift) {
        char *end;
        errno = 0;
        shift = strtod(o->shift, &end);
        if (*end || end == o->shift || errno || !(shift > 0) || !std::isfinite(shift))
            return tool_fail(2, "--shift \"%s\": an engine speed in rev/min above 0 is wanted", o->shift);
    }
    course track;
    long lap_drives = SHEET_LAP_DRIVES;
    char err[512], name[256];
    if (o->course && read_course_file(o->course, &track, err, sizeof err) != 0)
        return tool_fail(2, "%s", err);
    if (o->budget_drives && !tool_whole_number(o->budget_drives, 1, 1000000000, &lap_drives))
        return tool_fail(2, "--budget-drives \"%s\": a number of drives from 1 to 1000000000 is wanted",
                         o->budget_drives);
    const course *on = o->course ? &track : nullptr;
    if (!o->vary.empty())
        return sweep(o, shift, on, lap_drives);
    size_t n = o->cars.empty() ? 1 : o->cars.size();
    std::vector<car> cars(n, KVT);
    std::vector<std::string> names(n, "preset");
    for (size_t i = 0; i < o->cars.size(); i++) {
        if (read_car_file(o->cars[i], &cars[i], err, sizeof err) != 0)
            return tool_fail(2, "%s", err);
        sheet_column_name(o->cars[i], name, sizeof name);
        names[i] = name;
    }

    std::vector<run_file> files;
    for (const char *c : o->cars)
        files.push_back({"the car file", c, id_of_path(c), false});
    if (on)
        files.push_back({"the course file", o->course, id_of_path(o->course), false});
    if (o->runs)
        files.push_back({"the runs", o->runs, id_of_path(o->runs), true});
    files.push_back({"the sheet", "standard output", id_of_fd(STDOUT_FILENO), true});
    if (check_run_files(files, err, sizeof err) != 0)
        return tool_fail(2, "%s", err);

    FILE *runs = nullptr;
    if (o->runs && !(runs = fopen(o->runs, "w")))
        return tool_fail(1, "cannot write the runs \"%s\": %s", o->runs, strerror(errno));
    if (runs)
        fputs("car,run,time,kmh\n", runs);
    std::vector<sheet_figures> figs(n);
    std::vector<const char *> cols(n);
    for (size_t i = 0; i < n; i++) {
        sheet_runs_file rows = {runs, names[i].c_str()};
        sheet_how how;
        how.shift_rpm = shift;
        how.track = on;
        how.lap_drives = lap_drives;
        if (runs)
            how.tick = sheet_runs_row, how.ctx = &rows;
        sheet_measure(&cars[i], &how, &figs[i]);
        cols[i] = names[i].c_str();
    }
    int st = 0;
    if (runs)
        if (int e = tool_close_output(runs))
            st = tool_fail(1, "cannot write the runs \"%s\": %s", o->runs, failure_text(e));
    sheet_print(stdout, cols.data(), figs.data(), (int)n, on != nullptr);
    if (fflush(stdout) != 0 || ferror(stdout))
        st = tool_fail(1, "cannot write the sheet to standard output: %s", strerror(errno ? errno : EIO));
    return st;
}

