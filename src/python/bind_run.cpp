/*
 * python/bind_run.cpp -- what caravelt-sim makes, for Python: a script's
 * trace as rows, and the driving view of a fleet's car.
 *
 * A script runs as caravelt-sim runs it (run/drive.h): checked whole
 * before any tick, a recording with the car and course its header names
 * (or refused), stopped at a tick whose state is not finite.  The ticks
 * run in chunks with the interpreter's lock released; Python's signal
 * handlers run between chunks, so Ctrl-C stops a long run.
 */
#include "bind.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <unistd.h>

#include "frame.h"
#include "drive/header.h"
#include "run/drive.h"
#include "run/log.h"


/* The trace's rows, filled by the row hook. */
struct rows_out {
    trace_row *at;
    uint64_t n;
};

/* What the machine has, bytes: more is never asked for. */
static double machine_memory(void)
{
    return (double)sysconf(_SC_PHYS_PAGES) * (double)sysconf(_SC_PAGESIZE);
}

/* ----------------------------------------------------------------------
 * run_checked: the drive of d (opened into d.in, not yet checked) with
 * what was given; returns (rows, fault), fault None or (message, tick,
 * variable) when a tick's state stopped being finite (rows then end at
 * the tick before).  ValueError for a bad script or a refused car or
 * course, MemoryError for a trace larger than the machine.
 * ---------------------------------------------------------------------- */
static py::tuple run_checked(run_drive &d, py::object car_given, const std::string &car_name, py::object course_given,
                             const std::string &course_name, bool force)
{
    run_given given;
    given.force = force;
    if (!car_given.is_none())
        given.params = &car_given.cast<const car &>(), given.car_file = car_name.c_str();
    if (!course_given.is_none())
        given.track = &course_given.cast<const course &>(), given.course_file = course_name.c_str();
    char err[1200];
    int st;
    {
        py::gil_scoped_release nogil;
        st = drive_check(&d, &given, err, sizeof err);
    }
    if (st != 0) {
        drive_close(&d);
        if (d.in.machine_fault)
            throw std::runtime_error(err);
        value_error(err);
    }
    uint64_t ticks = d.in.ticks;
    double need = (double)ticks * sizeof(trace_row), have = machine_memory();
    if (need > have) {
        drive_close(&d);
        char text[300];
        snprintf(text, sizeof text, "the trace of %llu ticks would take %.1f GiB, more than this machine's %.1f GiB: "
                 "run it in parts, or write it with caravelt-sim --trace FILE", (unsigned long long)ticks,
                 need / (1 << 30), have / (1 << 30));
        PyErr_SetString(PyExc_MemoryError, text);
        throw py::error_already_set();
    }
    py::array rows(trace_columns(true, offsetof(trace_row, s), sizeof(trace_row)), std::vector<ssize_t>{(ssize_t)ticks});
    rows_out out = {(trace_row *)rows.mutable_data(), 0};
    run_hooks hooks;
    hooks.row = [](void *ctx, uint64_t tick) {
        rows_out *o = (rows_out *)ctx;
        o->at[o->n].tick = (int64_t)tick;
        take_row(&o->at[o->n].s);
        o->n++;
    };
    hooks.ctx = &out;
    drive_start(&d, RUN_STOP, hooks, false);
    pacer pace(1 << 16);
    for (bool more = true; more; pace.measured()) {
        {
            py::gil_scoped_release nogil;
            for (uint64_t k = 0; k < pace.size && more; k++)
                more = !(drive_tick(&d) & (RUN_SKIPPED | RUN_FAULT));
        }
        if (more && PyErr_CheckSignals() != 0) {
            drive_close(&d);
            throw py::error_already_set();
        }
    }
    std::string failed = d.failed;
    drive_close(&d);
    if (!failed.empty())
        value_error(failed.c_str());
    if (!d.run.fault)
        return py::make_tuple(rows, py::none());
    char why[128], text[600];
    run_fault_text(&d.run, why, sizeof why);
    snprintf(text, sizeof text, "%s:%lu: tick %llu: %s; the trace ends at tick %llu", d.in.name, d.tick_line,
             (unsigned long long)d.run.fault_tick, why, (unsigned long long)d.run.fault_tick - 1);
    py::object kept = rows[py::slice(0, (ssize_t)out.n, 1)];
    return py::make_tuple(kept, py::make_tuple(text, d.run.fault_tick, d.run.fault));
}

static py::tuple run_text(const std::string &text, const std::string &name, py::object car_given,
                          const std::string &car_name, py::object course_given, const std::string &course_name,
                          bool force)
{
    static const char nothing[] = "\n";   /* an empty stream has no bytes to open */
    FILE *in = text.empty() ? fmemopen((void *)nothing, 1, "r") : fmemopen((void *)text.data(), text.size(), "r");
    if (!in)
        throw std::runtime_error(std::string("cannot read the script: ") + strerror(errno));
    run_drive d;
    script_from(&d.in, in, name.c_str(), true);
    return run_checked(d, car_given, car_name, course_given, course_name, force);
}

static py::tuple run_file(const std::string &path, py::object car_given, const std::string &car_name,
                          py::object course_given, const std::string &course_name, bool force)
{
    run_drive d;
    char err[600];
    const std::string name = no_nul(path, "script");   /* d.in.name points into it */
    if (script_open(&d.in, name.c_str(), err, sizeof err) != 0) {
        PyErr_SetFromErrnoWithFilename(PyExc_OSError, path.c_str());
        throw py::error_already_set();
    }
    return run_checked(d, car_given, car_name, course_given, course_name, force);
}

static py::array frame_py(fleet &f, py::handle i, const std::string &data)
{
    size_t at = index_of(arg_whole(i, "i"), f.n(), "i: car");
    char err[600];
    if (view_pictures(no_nul(data, "data").c_str(), err, sizeof err) != 0)
        value_error(err);
    py::array_t<uint8_t> rgb({(ssize_t)VIEW_H, (ssize_t)VIEW_W, (ssize_t)3});
    fleet_taken taken(f);
    /* The drawing reads a race: the car's timing lent to one, no lap given.
     * Its bitmaps are process-wide: drawn holding the lock. */
    course_race race;
    if (f.track) {
        race.c = f.track.get();
        std::swap((course_timing &)race, f.timings[at]);
    }
    const car_state k = f.car_at(at);
    view_draw(&k, f.track ? &race : nullptr, rgb.mutable_data());
    if (f.track)
        std::swap((course_timing &)race, f.timings[at]);
    return rgb;
}

/* ----------------------------------------------------------------------
 * A recording of keys (one mask a tick) as the game writes one: its
 * header naming the car (its file, or the preset) and the course (its
 * file), so that the game replays it and races it as a ghost, and
 * caravelt-sim replays it to the same laps.
 * ---------------------------------------------------------------------- */
static std::string recording_text(py::handle keys, const std::string &path, py::object car_file, const car &params,
                                  py::object course_file, py::object track)
{
    py::array held = key_array(keys, 1, (size_t)py::len(keys), "(T,)", "keys", false);
    const uint16_t *k = (const uint16_t *)held.data();
    std::string cf = car_file.is_none() ? "" : car_file.cast<std::string>();
    std::string kf = course_file.is_none() ? "" : course_file.cast<std::string>();
    run_log log;
    log.recording = true;
    car_state c;
    car_start(&c, &params);
    car_in(&c);   /* the header names the car by the parameters in force */
    record_header(&log.keys_text, path.c_str(), cf.empty() ? nullptr : cf.c_str(), time(nullptr),
                  kf.empty() ? nullptr : kf.c_str(), kf.empty() ? 0 : course_hash(&track.cast<const course &>()));
    for (ssize_t t = 0; t < held.shape(0); t++)
        run_log_keys(&log, k[t], k[t]);
    run_log_flush_line(&log);
    return log.keys_text;
}

void bind_run(py::module_ &m)
{
    m.def("_run_text", &run_text, py::arg("text"), py::arg("name"), py::arg("car"), py::arg("car_name"),
          py::arg("course"), py::arg("course_name"), py::arg("force"));
    m.def("_run_file", &run_file, py::arg("path"), py::arg("car"), py::arg("car_name"), py::arg("course"),
          py::arg("course_name"), py::arg("force"));
    m.def("_frame", &frame_py, py::arg("fleet"), py::arg("i"), py::arg("data"));
    m.def("_recording_text", [](py::handle keys, const std::string &path, py::object car_file, const car &params,
                                py::object course_file, py::object track) {
        return py::bytes(recording_text(keys, path, car_file, params, course_file, track));
    });
}
