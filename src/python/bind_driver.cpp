/*
 * python/bind_driver.cpp -- _best_lap: the driver's fastest clean laps of
 * a course (driver/driver.h), its keys and its laps as arrays.
 */
#include "bind.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "driver/driver.h"

/* ----------------------------------------------------------------------
 * The search for car c on course k, within `seconds` (drives 0) or
 * `drives`, from `seed`, on `threads` threads (standing: from a standing
 * start), with the interpreter's lock released but after each generation,
 * when progress (None or a callable) is told (done, total) and Ctrl-C is
 * heard: (clean, keys, laps, drives, gates, laps_done), keys a
 * uint16 array of one mask a tick, laps a structured array of one row a
 * lap (the lap rows' columns, splits as one float64 column per gate
 * after the first).
 * ---------------------------------------------------------------------- */
namespace {
struct told {
    py::handle progress;
    bool drives;
    bool stopped = false;   /* a Python error is set: Ctrl-C, or raised by progress */
};
}

/* After each generation, on the calling thread: the lock taken back. */
static bool tell(void *ctx, double done, double total, double)
{
    told *t = (told *)ctx;
    py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() != 0) {
        t->stopped = true;
        return false;
    }
    if (!t->progress.is_none()) {
        try {   /* drives counted as ints, seconds as floats */
            if (t->drives)
                t->progress((long long)done, (long long)total);
            else
                t->progress(done, total);
        } catch (py::error_already_set &e) {
            e.restore();
            t->stopped = true;
            return false;
        }
    }
    return true;
}

static py::tuple best_lap_py(const car &c, const course &k, double seconds, long long drives,
                             long long seed, int threads, bool standing, py::handle progress)
{
    if (!(seconds > 0) || !std::isfinite(seconds))
        throw py::value_error("budget must be seconds above 0, not " + py::repr(py::float_(seconds)).cast<std::string>());
    if (drives < 0)
        throw py::value_error("drives must be 0 (the budget in seconds) or more, not " + std::to_string(drives));
    if (seed < 0)
        throw py::value_error("seed must be 0 or more, not " + std::to_string(seed));
    driver_result r;
    told said = {progress, drives > 0};
    {
        py::gil_scoped_release nogil;
        driver_task t = driver_course_task(&k, &c, standing);
        driver_how how;
        how.progress = tell;
        how.ctx = &said;
        how.budget.seconds = seconds;
        how.budget.drives = (long)drives;
        how.seed = (uint64_t)seed;
        how.pool = run_pool_new(threads);
        driver_search(&t, &how, &r);
        run_pool_free(how.pool);
    }
    if (said.stopped)
        throw py::error_already_set();
    py::array_t<uint16_t> keys((ssize_t)r.keys.size());
    std::copy(r.keys.begin(), r.keys.end(), keys.mutable_data());

    py::list names, formats;
    for (const char *n : {"lap", "start_tick", "ticks", "cones", "time_s", "total_s"})
        names.append(n);
    for (const char *f : {"<i4", "<i8", "<i8", "<i4", "<f8", "<f8"})
        formats.append(f);
    for (size_t g = 1; g < k.gates.size(); g++)
        names.append("gate" + std::to_string(g + 1) + "_s"), formats.append("<f8");
    py::dict spec;
    spec["names"] = names;
    spec["formats"] = formats;
    py::array laps(py::dtype::from_args(spec), std::vector<ssize_t>{(ssize_t)r.laps.size()});
    char *row = (char *)laps.mutable_data();
    for (const course_lap &l : r.laps) {
        int32_t lap = l.lap, cones = l.cones;
        int64_t start = (int64_t)l.start_tick, ticks = (int64_t)l.ticks;
        double time = (double)l.ticks / 100, total = course_lap_total(&k, &l);
        char *p = row;
        auto put = [&p](const void *v, size_t n) { memcpy(p, v, n), p += n; };
        put(&lap, 4), put(&start, 8), put(&ticks, 8), put(&cones, 4), put(&time, 8), put(&total, 8);
        for (size_t g = 0; g + 1 < k.gates.size(); g++) {
            double split = (double)l.splits[g] / 100;
            put(&split, 8);
        }
        row += laps.itemsize();
    }
    return py::make_tuple(r.clean, keys, laps, r.drives, r.gates, r.laps_done);
}

void bind_driver(py::module_ &m)
{
    m.def("_best_lap", &best_lap_py, py::arg("car"), py::arg("course"), py::arg("seconds"), py::arg("drives"),
          py::arg("seed"), py::arg("threads"), py::arg("standing"), py::arg("progress"));
}
