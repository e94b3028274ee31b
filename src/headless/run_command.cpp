/*
 * headless/run_command.cpp -- caravelt-sim's run: a script driven, its
 * trace, laps and frame written.
 *
 * Order of work: the car and course files and the whole script checked,
 * with the car and course a recording was made with (run/drive.h), then
 * the frame's pictures loaded and its folder checked, and only then are
 * the outputs opened and the first tick run.  So bad input writes nothing.
 * No output may be a file the run reads (the script, the car file, the
 * one a recording names, the course file, the frame's pictures) or
 * another output.  With a course, every tick is counted on it as the
 * game counts it, and each completed lap is a row of --laps.
 *
 * A write that fails, or an output found removed meanwhile, stops the run
 * with one line naming the file and why; so does a state that stops being
 * finite (caravelt-sim's rule is to stop), naming the tick and the
 * variable, the trace then ending at the tick before.
 */
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "drive/datadir.h"
#include "drive/files.h"
#include "drive/trace.h"
#include "headless/frame_out.h"
#include "headless/progress.h"
#include "headless/tool.h"
#include "present/present.h"
#include "run/drive.h"
#include "sim/carfile.h"

/* Large writes: one system call per megabyte of trace. */
static const size_t TRACE_BUFFER = 1 << 20;

/* A script of more ticks than this (about a second of running) shows its
 * progress on a terminal. */
static const uint64_t LONG_RUN_TICKS = 2000000;

/* One invocation: what was opened, so that one way out closes it all. */
struct session {
    tool_options *o;
    run_drive d;
    std::string data_dir;         /* the pictures' folder, for --frame (datadir.h) */
    std::string data_missing;     /* why it was not found, told before the frame */
    bool frame_ready = false;     /* frame_begin succeeded */
    FILE *tf = nullptr;           /* the trace; stdout is never closed */
    trace_out out = {};
    FILE *lf = nullptr;           /* --laps */
};

static const char *trace_name(const session *s)
{
    return strcmp(s->o->trace, "-") == 0 ? "standard output" : s->o->trace;
}

/* No output is a file the run reads or the other output; 0 or 2 after
 * saying so. */
static int check_files(session *s)
{
    const tool_options *o = s->o;
    std::vector<run_file> files;
    if (!s->d.car_file.empty())
        files.push_back({"the car file", s->d.car_file, id_of_path(s->d.car_file.c_str()), false});
    if (o->course)
        files.push_back({"the course file", o->course, id_of_path(o->course), false});
    files.push_back({"the script", s->d.in.f == stdin ? "standard input" : o->script, s->d.in.id, false});
    if (o->frame && s->data_missing.empty())
        for (const char *pic : PICTURE_FILES) {
            std::string path = data_path(s->data_dir, pic);
            files.push_back({"the picture", path, id_of_path(path.c_str()), false});
        }
    bool to_stdout = strcmp(o->trace, "-") == 0;
    files.push_back({"the trace", trace_name(s), to_stdout ? id_of_fd(STDOUT_FILENO) : id_of_path(o->trace), true});
    if (o->frame)
        files.push_back({"the frame", o->frame, id_of_path(o->frame), true});
    if (o->laps)
        files.push_back({"the laps", o->laps, id_of_path(o->laps), true});
    char err[512];
    return check_run_files(files, err, sizeof err) ? tool_fail(2, "%s", err) : 0;
}

/* Check: the car and course files and the whole script read, every line
 * valid, the car and course the script was recorded with, no output on
 * an input; nothing written. */
static int check(session *s)
{
    tool_options *o = s->o;
    char err[1024];
    run_given given;
    car given_car;
    course given_course;
    given.force = o->force;
    given.standing = o->standing;
    if (!o->cars.empty()) {
        if (read_car_file(o->cars[0], &given_car, err, sizeof err) != 0)
            return tool_fail(2, "%s", err);
        given.car_file = o->cars[0], given.params = &given_car;
    }
    if (o->course) {
        if (read_course_file(o->course, &given_course, err, sizeof err) != 0)
            return tool_fail(2, "%s", err);
        given.course_file = o->course, given.track = &given_course;
    }
    if (o->frame && find_data_dir(o->data, &s->data_dir, err, sizeof err) != 0)
        s->data_missing = err;
    if (drive_open(&s->d, o->script, &given, err, sizeof err) != 0)
        return tool_fail(s->d.in.machine_fault ? 1 : 2, "%s", err);
    if (s->d.on_course)
        o->course = s->d.course_file.c_str();   /* a recording's own course, when none was given */
    if (o->laps && !o->course)
        return tool_fail(2, "--laps needs --course: laps are counted on a course");
    return check_files(s);
}

/* A completed lap's row to --laps, or its header for null; nothing
 * without --laps.  A failed write is told when the file is closed. */
static void lap_row(session *s, const course_lap *l)
{
    if (!s->lf)
        return;
    std::string row;
    l ? course_lap_row(&row, &s->d.track, l) : course_laps_header(&row, &s->d.track);
    fputs(row.c_str(), s->lf);
}

/* Prepare: the frame's pictures and folder and the laps' folder, then the
 * trace and laps files, before any tick; the drive at its start. */
static int prepare(session *s)
{
    const tool_options *o = s->o;
    char err[512], why[256];
    if (o->frame) {
        if (!s->data_missing.empty())
            return tool_fail(1, "%s", s->data_missing.c_str());
        if (frame_begin(s->data_dir.c_str(), err, sizeof err) != 0)
            return tool_fail(1, "%s", err);
        s->frame_ready = true;
        if (!tool_can_write(o->frame, why, sizeof why))
            return tool_fail(1, "cannot write the frame \"%s\": %s", o->frame, why);
    }
    if (o->laps && !tool_can_write(o->laps, why, sizeof why))
        return tool_fail(1, "cannot write the laps \"%s\": %s", o->laps, why);
    bool to_stdout = strcmp(o->trace, "-") == 0;
    s->tf = to_stdout ? stdout : fopen(o->trace, "w");
    if (!s->tf)
        return tool_fail(1, "cannot write the trace \"%s\": %s", o->trace, strerror(errno));
    trace_open(&s->out, s->tf, TRACE_BUFFER);
    trace_header(&s->out);
    if (o->laps && !(s->lf = fopen(o->laps, "w")))
        return tool_fail(1, "cannot write the laps \"%s\": %s", o->laps, strerror(errno));
    run_hooks hooks;
    hooks.row = [](void *ctx, uint64_t tick) { trace_row((trace_out *)ctx, tick); };
    hooks.ctx = &s->out;
    drive_start(&s->d, RUN_STOP, hooks, o->frame != nullptr);   /* the frame's ghost */
    if (s->d.on_course) {
        view_race = &s->d.race;
        lap_row(s, nullptr);
    }
    return 0;
}

/* Run: every tick of the script, one trace row each.  1 for a failed
 * write (told by finish) or a state no longer finite (told here), 2 for
 * a script changed since it was checked. */
static int run(session *s)
{
    run_drive &d = s->d;
    tool_progress line;
    progress_begin(&line, "ticks", s->o->quiet || d.in.ticks < LONG_RUN_TICKS);
    for (;;) {
        if ((d.played & 0xffff) == 0)
            progress_show(&line, (double)d.played, (double)d.in.ticks);
        unsigned bits = drive_tick(&d);
        if (bits & RUN_FAULT) {
            progress_end(&line);
            char why[128];
            run_fault_text(&d.run, why, sizeof why);
            return tool_fail(1, "%s:%lu: tick %llu: %s; the trace ends at tick %llu", d.in.name, d.tick_line,
                             (unsigned long long)d.run.fault_tick, why, (unsigned long long)d.run.fault_tick - 1);
        }
        if (bits & RUN_SKIPPED)
            break;
        if (s->out.failed) {
            progress_end(&line);
            return 1;
        }
        if (bits & COURSE_LAP_DONE) {
            course_lap last = course_lap_of(&d.race.p, COURSE_LAST);
            lap_row(s, &last);
        }
    }
    progress_end(&line);
    return d.failed.empty() ? 0 : tool_fail(2, "%s", d.failed.c_str());
}

/* Finish: the trace written out, the frame of the last state saved, and
 * everything opened closed, whatever status the steps before ended on.
 * A failed write is told here, once. */
static int finish(session *s, int st)
{
    if (s->tf) {
        int werr = trace_close(&s->out);
        bool to_stdout = s->tf == stdout;
        if (!to_stdout && fclose(s->tf) != 0 && !werr)
            werr = errno ? errno : EIO;
        if (werr)
            st = tool_fail(1, "cannot write the trace \"%s\": %s", trace_name(s), failure_text(werr));
    }
    if (s->lf) {
        if (int e = tool_close_output(s->lf))
            st = tool_fail(1, "cannot write the laps \"%s\": %s", s->o->laps, failure_text(e));
    }
    if (st == 0 && s->frame_ready) {
        char err[512];
        if (frame_save(s->o->frame, err, sizeof err) != 0)
            st = tool_fail(1, "%s", err);
    }
    if (s->frame_ready)
        frame_end();
    view_race = nullptr;
    drive_close(&s->d);
    return st;
}

int tool_run(tool_options *o)
{
    session s;
    s.o = o;
    if (!o->trace)
        o->trace = "-";
    int st = check(&s);
    if (st == 0)
        st = prepare(&s);
    if (st == 0)
        st = run(&s);
    return finish(&s, st);
}
