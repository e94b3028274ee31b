/*
 * headless/lap_command.cpp -- caravelt-sim --best-lap: the driver's
 * fastest clean laps of a course (driver/driver.h), printed as a table,
 * and written as a recording and lap rows when asked.
 *
 * The car and course files, the numbers and the outputs' folders are
 * checked before the search; the outputs are written only after it, and
 * only when it found a clean drive: a course the driver cannot finish is
 * said so, with how far it got, status 1, nothing written.
 */
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "drive/files.h"
#include "drive/header.h"
#include "driver/driver.h"
#include "headless/progress.h"
#include "headless/tool.h"
#include "sim/carfile.h"

/* The recording's text: the header, as the game writes one, then a
 * stretch per run of equal masks. */
static std::string recording(const tool_options *o, const car *params, const course *c, const driver_result *r)
{
    std::string out;
    load_car(params);   /* the header hashes the car in force */
    record_header(&out, o->record, o->cars.empty() ? nullptr : o->cars[0], time(nullptr), o->course,
                  course_hash(c), o->standing);
    const std::vector<uint16_t> &k = r->keys;
    for (size_t i = 0; i < k.size();) {
        size_t j = i;
        while (j < k.size() && k[j] == k[i])
            j++;
        stretch s = {j - i, k[i], k[i]};
        char line[STRETCH_TEXT_MAX];
        out.append(line, put_stretch(line, &s));
        i = j;
    }
    return out;
}

/* text written whole to path: 0, or 1 after saying why. */
static int write_file(const char *what, const char *path, const std::string &text)
{
    FILE *f = fopen(path, "w");
    if (!f)
        return tool_fail(1, "cannot write the %s \"%s\": %s", what, path, strerror(errno));
    fwrite(text.data(), 1, text.size(), f);
    if (int e = tool_close_output(f))
        return tool_fail(1, "cannot write the %s \"%s\": %s", what, path, failure_text(e));
    return 0;
}

int tool_best_lap(const tool_options *o)
{
    char err[1024], why[256];
    car params = KVT;
    course track;
    if (!o->cars.empty() && read_car_file(o->cars[0], &params, err, sizeof err) != 0)
        return tool_fail(2, "%s", err);
    if (read_course_file(o->course, &track, err, sizeof err) != 0)
        return tool_fail(2, "%s", err);

    driver_how how;
    long n;
    if (o->budget) {
        char *end;
        errno = 0;
        how.budget.seconds = strtod(o->budget, &end);
        if (*end || end == o->budget || errno || !(how.budget.seconds > 0) || how.budget.seconds > 1e6)
            return tool_fail(2, "--budget \"%s\": seconds above 0 (at most 1000000) are wanted", o->budget);
    }
    if (o->budget_drives) {
        if (!tool_whole_number(o->budget_drives, 1, 1000000000, &n))
            return tool_fail(2, "--budget-drives \"%s\": a number of drives from 1 to 1000000000 is wanted",
                             o->budget_drives);
        how.budget.drives = n;
    }
    if (o->seed) {
        if (!tool_whole_number(o->seed, 0, 2147483647, &n))
            return tool_fail(2, "--seed \"%s\": a whole number from 0 to 2147483647 is wanted", o->seed);
        how.seed = (uint64_t)n;
    }
    int threads = run_cores();
    if (o->threads) {
        if (!tool_whole_number(o->threads, 1, 1024, &n))
            return tool_fail(2, "--threads \"%s\": a number of threads from 1 to 1024 is wanted", o->threads);
        threads = (int)n;
    }

    std::vector<run_file> files;
    if (!o->cars.empty())
        files.push_back({"the car file", o->cars[0], id_of_path(o->cars[0]), false});
    files.push_back({"the course file", o->course, id_of_path(o->course), false});
    if (o->record)
        files.push_back({"the recording", o->record, id_of_path(o->record), true});
    if (o->laps)
        files.push_back({"the laps", o->laps, id_of_path(o->laps), true});
    if (check_run_files(files, err, sizeof err) != 0)
        return tool_fail(2, "%s", err);
    if (o->record && !tool_can_write(o->record, why, sizeof why))
        return tool_fail(1, "cannot write the recording \"%s\": %s", o->record, why);
    if (o->laps && !tool_can_write(o->laps, why, sizeof why))
        return tool_fail(1, "cannot write the laps \"%s\": %s", o->laps, why);

    driver_task task = driver_course_task(&track, &params, o->standing);
    how.pool = run_pool_new(threads);
    tool_progress line;
    progress_begin(&line, how.budget.drives ? "drives" : "s", o->quiet);
    line.timed = !how.budget.drives;
    how.ctx = &line;
    how.progress = [](void *ctx, double done, double total, double lap) {
        char best[64] = "no clean drive yet";
        if (lap == lap)
            snprintf(best, sizeof best, "best lap %.2f s", lap);
        progress_show((tool_progress *)ctx, done, total, best);
        return true;
    };
    driver_result r;
    driver_search(&task, &how, &r);
    progress_end(&line);
    run_pool_free(how.pool);
    if (!r.clean)
        return tool_fail(1, "%s: no clean drive found in %ld drives: the best passed %d of %d gates "
                         "(%d of %d laps)%s", o->course, r.drives, r.gates,
                         task.laps * (int)track.gates.size() + 1, r.laps_done, task.laps,
                         r.cones ? ", then knocked a cone" : r.missed ? ", then went by the next gate" : "");

    std::string laps;
    course_laps_header(&laps, &track);
    for (const course_lap &l : r.laps)
        course_lap_row(&laps, &track, &l);
    printf("%s: best lap %.2f s (lap %d of %d, %d cones), found in %ld drives, seed %llu\n", track.name.c_str(),
           r.best_total, r.best.lap, task.laps, r.best.cones, r.drives, (unsigned long long)how.seed);
    fputs(laps.c_str(), stdout);
    int st = 0;
    if (o->record)
        st = write_file("recording", o->record, recording(o, &params, &track, &r));
    if (!st && o->laps)
        st = write_file("laps", o->laps, laps);
    if (fflush(stdout) != 0 || ferror(stdout))
        st = tool_fail(1, "cannot write to standard output: %s", strerror(errno ? errno : EIO));
    return st;
}
