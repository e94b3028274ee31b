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
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "course/course.h"
#include "run/env.h"
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
    std::shared_ptr<std::vector<car_motion>> cars;   /* their states */
    std::vector<car> params;                 /* one a car, or one for all when one_setup */
    std::vector<run_car> runs;               /* what driving keeps of each car */
    std::shared_ptr<const course> track;     /* the course, or null */
    std::vector<course_timing> timings;      /* each car's on it */
    int threads = 1;
    bool one_setup = false;                  /* every car's parameters the first's */
    bool laps_stale = false;                 /* laps not taken since the cars last ran */
    std::unique_ptr<run_pool, void (*)(run_pool *)> pool{nullptr, run_pool_free};
    py::array state;              /* the read-only view of the cars */
    py::array laps;               /* read-only, taken after every call; None without a course */
    std::atomic<bool> busy{false};

    size_t n() const { return cars->size(); }
    car_state car_at(size_t i) const { return car_joined(&params[one_setup ? 0 : i], &(*cars)[i]); }
    fleet_cars parts()
    {
        return {cars->data(), params.data(), runs.data(), n(), track.get(), track ? timings.data() : nullptr, pool.get(), one_setup};
    }
};

/* f.laps taken from the cars' timings again (nothing without a course). */
void laps_taken(fleet &f);

/* A fleet of these cars (each from the start state) on track, or none
 * (bind_fleet.cpp). */
std::unique_ptr<fleet> fleet_made(const std::vector<car> &params, std::shared_ptr<course> track, int threads);

/* The compiled half of CarEnv and VectorEnv: environments over a fleet's
 * cars on its course (bind_env.cpp). */
struct env {
    py::object owner;              /* the Fleet */
    fleet *f;
    env_spec spec;
    env_autoreset mode = ENV_NEXT_STEP;
    std::vector<env_episode> episodes;
    std::vector<env_vector_result> results;   /* a vector step's, kept between calls */
    bool started = false;          /* reset once */
};

/* ----------------------------------------------------------------------
 * An object of a bound class made with __new__ alone (its __init__ never
 * run: Class.__new__(Class), or a pickle made to call it) holds memory
 * never written.  Every call that takes one, as self or as an argument,
 * refuses it with a TypeError instead: the casters below check that its
 * value was made.
 * ---------------------------------------------------------------------- */
[[noreturn]] void not_made(py::handle h);

/* Whether h's value of type t was made by its __init__. */
inline bool made(py::handle h, const std::type_info &t)
{
    auto *inst = reinterpret_cast<py::detail::instance *>(h.ptr());
    py::detail::value_and_holder vh = inst->get_value_and_holder(py::detail::get_type_info(t), false);
    return vh && vh.holder_constructed();
}

/* made() for the bound class T, its type looked up once: every call of a
 * hot method (an environment's step) pays a few loads, not a lookup. */
template <class T> bool made_as(py::handle h)
{
    static const py::detail::type_info *ti = py::detail::get_type_info(typeid(T));
    auto *inst = reinterpret_cast<py::detail::instance *>(h.ptr());
    if (inst->simple_layout)
        return inst->simple_holder_constructed;
    py::detail::value_and_holder vh = inst->get_value_and_holder(ti, false);
    return vh && vh.holder_constructed();
}

#define CARAVELT_MADE_ONLY(T)                                                               namespace pybind11::detail {                                                            template <> class type_caster<T> : public type_caster_base<T> {                         public:                                                                                     bool load(handle src, bool convert)                                                     {                                                                                           if (!type_caster_base<T>::load(src, convert))                                               return false;                                                                       if (src && !src.is_none() && !made(src, typeid(T)))                                         not_made(src);                                                                      return true;                                                                        }                                                                                   };                                                                                      }
CARAVELT_MADE_ONLY(car)
CARAVELT_MADE_ONLY(course)
CARAVELT_MADE_ONLY(fleet)
CARAVELT_MADE_ONLY(env)

/* An object's __init__ that refuses one already made: what `what` names
 * does not change once made. */
inline void not_again(py::detail::value_and_holder &v_h, const char *what)
{
    if (v_h.holder_constructed())
        throw py::type_error(std::string("a ") + what + " does not change once made: make another");
}

/* ----------------------------------------------------------------------
 * A long call runs in parts, with Python's lock let go during each and
 * its signal handlers run between them, so that Ctrl-C stops it.  The
 * parts are sized by how long they take (some 30 ms), not by a count of
 * ticks: the same in a Release build, under the sanitizers, and on a
 * busy machine.  size: ticks (or car-ticks) for the next part;
 * measured(): after each part.
 * ---------------------------------------------------------------------- */
struct pacer {
    uint64_t size;
    std::chrono::steady_clock::time_point began = std::chrono::steady_clock::now();
    explicit pacer(uint64_t first = 1024) : size(first) {}
    void measured()
    {
        auto now = std::chrono::steady_clock::now();
        double ms = std::chrono::duration<double, std::milli>(now - began).count();
        if (ms < 15 && size < ((uint64_t)1 << 40))
            size *= 2;
        else if (ms > 60 && size > 1)
            size /= 2;
        began = now;
    }
};

/* A ValueError of a message from the C++ side, whatever bytes it holds
 * (a file name that is not UTF-8 shown with backslashes). */
[[noreturn]] void value_error(const char *message);

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
void bind_pickle_fleet(py::class_<fleet> &c);   /* pickles (bind_pickle.cpp) */
void bind_pickle_env(py::class_<env> &c);
void bind_driver(py::module_ &m);  /* best_lap (bind_driver.cpp) */

#endif
