/*
 * python/bind.h -- what the files of the binding share: the fleet as
 * Python holds it, argument checks that name the parameter, the dtype of
 * the traced columns, and each file's part of the module.
 *
 * Arrays handed in are used as they are or refused, never converted: a
 * converted copy would hide the caller's mistake.  Refusals are TypeError
 * for a wrong kind of thing, ValueError for a wrong value or shape, each
 * naming the parameter and what it must be.
 */
#ifndef CARAVELT_PYTHON_BIND_H
#define CARAVELT_PYTHON_BIND_H

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "course/course.h"
#include "run/fleet.h"
#include "run/rows.h"

namespace py = pybind11;
using py::ssize_t;

/* ----------------------------------------------------------------------
 * A fleet: its cars as values, and the read-only numpy view of them.
 * A fleet runs on one thread at a time: another thread that asks gets a
 * RuntimeError, never a wait that could deadlock on the interpreter's
 * lock.
 * ---------------------------------------------------------------------- */
struct fleet {
    std::shared_ptr<std::vector<car_state>> cars;
    std::vector<run_car> runs;               /* what driving keeps of each car */
    std::shared_ptr<const course> track;     /* the course, or null */
    std::vector<course_race> races;          /* each car's on it */
    int threads = 1;
    std::unique_ptr<run_pool, void (*)(run_pool *)> pool{nullptr, run_pool_free};
    py::array state;              /* the read-only view of the cars */
    py::array laps;               /* read-only, taken after every call; None without a course */
    std::atomic<bool> busy{false};

    size_t n() const { return cars->size(); }
    fleet_cars parts()
    {
        return {cars->data(), runs.data(), n(), track.get(), track ? races.data() : nullptr, pool.get()};
    }
};

/* f.laps taken from the cars' races again (nothing without a course). */
void laps_taken(fleet &f);

/* The fleet taken for one call; RuntimeError when another thread has it. */
struct fleet_taken {
    std::atomic<bool> &busy;
    explicit fleet_taken(fleet &f) : busy(f.busy)
    {
        if (busy.exchange(true))
            throw std::runtime_error("the fleet is running on another thread");
    }
    ~fleet_taken() { busy = false; }
};

/* ----------------------------------------------------------------------
 * Arguments (args.cpp).
 * ---------------------------------------------------------------------- */

/* The Python type's name of h, for messages. */
std::string type_name(py::handle h);

/* h as a whole number (an int, or anything that is one by __index__,
 * never a bool or a float); TypeError or ValueError naming `what`. */
long long arg_whole(py::handle h, const char *what);

/* s, refused when it holds a NUL (the C side would stop there). */
std::string no_nul(const std::string &s, const char *what);

/* i as an index of n cars, from the end when negative, as Python's are;
 * ValueError naming `what` when out of range. */
size_t index_of(long long i, size_t n, const char *what);

/* What a key mask is, for refusals. */
extern const char KEY_MASK_RULE[];

/* ----------------------------------------------------------------------
 * key_array: h as the caller's own uint16 array of `ndim` dimensions with
 * n rows, C order, every mask 0 to 511; else the TypeError or ValueError
 * naming it `what` and the shape it must have (or one int, when or_int).
 * ---------------------------------------------------------------------- */
py::array key_array(py::handle h, int ndim, size_t n, const char *shape_wanted, const char *what,
                    bool or_int);

/* The traced columns at base + their place in a row, in records of
 * itemsize bytes; a leading int64 `tick` at 0 when with_tick. */
py::dtype trace_columns(bool with_tick, size_t base, size_t itemsize);

/* ----------------------------------------------------------------------
 * The module's parts.
 * ---------------------------------------------------------------------- */
void bind_car(py::module_ &m);     /* Car (bind_car.cpp) */
void bind_course(py::module_ &m);  /* Course (bind_course.cpp) */
void bind_fleet(py::module_ &m);   /* Fleet (bind_fleet.cpp) */
void bind_env(py::module_ &m);     /* _Env, for CarEnv and VectorEnv (bind_env.cpp) */
void bind_run(py::module_ &m);     /* run and frame (bind_run.cpp) */
void bind_sheet(py::module_ &m);   /* sheet (bind_sheet.cpp) */
void bind_driver(py::module_ &m);  /* best_lap (bind_driver.cpp) */

#endif
