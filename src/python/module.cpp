/*
 * python/module.cpp -- the compiled half of the caravelt package: cars,
 * fleets, runs and frames, every argument checked before any tick.
 *
 * Arrays handed in are used as they are or refused, never converted: a
 * converted copy would hide the caller's mistake (and for the state, the
 * caller's view would silently stop following the cars).  Refusals are
 * TypeError for a wrong kind of thing, ValueError for a wrong value or
 * shape, each naming the parameter and what it must be.
 *
 * The ticks run with the interpreter's lock released, long runs in chunks
 * with Python's signal handlers run between them; a fleet runs on one
 * thread at a time (another thread that asks gets a RuntimeError, never a
 * wait that could deadlock on the lock).
 */
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "fleet.h"
#include "frame.h"
#include "run.h"
#include "sim/carfile.h"
#include "sim/sim.h"

namespace py = pybind11;
using py::ssize_t;

static const char MASK_RULE[] =
    "a key mask is 0 to 511, a sum of UP=1 DOWN=2 LEFT=4 RIGHT=8 A=16 Z=32 X=64 R=128 Q=256";

/* ======================================================================
 * Structured dtypes of the traced columns.
 * ====================================================================== */

/* The columns sit in a car_state in the row's order, right after one
 * another, so a view of the cars is a row at an offset. */
#define SAME_LAYOUT(type, name, start)                                              \
    static_assert(offsetof(car_state, name) - offsetof(car_state, x) == offsetof(state_row, name), \
                  "the traced state lies in a car as in a row");
SIM_STATE_TRACED(SAME_LAYOUT)
#undef SAME_LAYOUT

/* The columns at base + their place in a row, in records of itemsize
 * bytes; a leading int64 `tick` at 0 when with_tick. */
static py::dtype columns(bool with_tick, size_t base, size_t itemsize)
{
    py::list names, formats, offsets;
    if (with_tick)
        names.append("tick"), formats.append("i8"), offsets.append(0);
#define COLUMN(type, name, start)                                        \
    names.append(#name);                                                 \
    formats.append(std::is_same_v<type, float> ? "f4" : "i4");           \
    offsets.append(base + offsetof(state_row, name));
    SIM_STATE_TRACED(COLUMN)
#undef COLUMN
    py::dict d;
    d["names"] = names, d["formats"] = formats, d["offsets"] = offsets, d["itemsize"] = itemsize;
    return py::dtype::from_args(d);
}

/* ======================================================================
 * Arguments.
 * ====================================================================== */

static std::string type_name(py::handle h) { return Py_TYPE(h.ptr())->tp_name; }

/* h as a whole number (an int, or anything that is one by __index__,
 * never a bool or a float); TypeError or ValueError naming `what`. */
static long long whole(py::handle h, const char *what)
{
    if (PyBool_Check(h.ptr()) || !PyIndex_Check(h.ptr()) || py::isinstance<py::array>(h))
        throw py::type_error(std::string(what) + " must be an int, not " + type_name(h));
    int overflow = 0;
    py::object i = py::reinterpret_steal<py::object>(PyNumber_Index(h.ptr()));
    if (!i)
        throw py::error_already_set();
    long long v = PyLong_AsLongLongAndOverflow(i.ptr(), &overflow);
    if (overflow)
        throw py::value_error(std::string(what) + " is out of range: " + py::str(h).cast<std::string>());
    return v;
}

/* Text with no NUL in it (the C side would stop there). */
static std::string no_nul(const std::string &s, const char *what)
{
    if (s.find('\0') != std::string::npos)
        throw py::value_error(std::string(what) + " holds a NUL character");
    return s;
}

/* keys as the caller's own uint16 array of `ndim` dimensions with n rows,
 * C order, every mask 0 to 511; else the TypeError or ValueError. */
static py::array key_array(py::handle keys, int ndim, size_t n, const char *shape_wanted)
{
    if (!py::isinstance<py::array>(keys))
        throw py::type_error(std::string("keys must be a numpy array of dtype uint16 with shape ")
                             + shape_wanted + (ndim == 1 ? " or one int" : "") + ", not "
                             + type_name(keys));
    py::array a = py::reinterpret_borrow<py::array>(keys);
    if (!a.dtype().equal(py::dtype::of<uint16_t>()))
        throw py::type_error("keys must have dtype uint16 (numpy.uint16), not "
                             + py::str(a.dtype()).cast<std::string>());
    if (a.ndim() != ndim || (size_t)a.shape(0) != n)
        throw py::value_error(std::string("keys must have shape ") + shape_wanted + " with n = "
                              + std::to_string(n) + ", not "
                              + py::str(a.attr("shape")).cast<std::string>());
    int flags = py::detail::array_proxy(a.ptr())->flags;
    if (!(flags & py::detail::npy_api::NPY_ARRAY_C_CONTIGUOUS_)
        || !(flags & py::detail::npy_api::NPY_ARRAY_ALIGNED_))
        throw py::value_error("keys must be C-contiguous and aligned (row-major, as numpy makes "
                              "arrays), not a strided or Fortran-order view");
    const uint16_t *k = (const uint16_t *)a.data();
    size_t count = (size_t)a.size();
    uint16_t high = 0;
    for (size_t j = 0; j < count; j++)
        high = k[j] > high ? k[j] : high;
    if (high > KEY_MASK_MAX) {
        size_t j = 0;
        while (k[j] <= KEY_MASK_MAX)
            j++;
        std::string at = ndim == 1 ? std::to_string(j)
                                   : std::to_string(j / a.shape(1)) + ", " + std::to_string(j % a.shape(1));
        throw py::value_error("keys[" + at + "] is " + std::to_string(k[j]) + ": " + MASK_RULE);
    }
    return a;
}

/* One mask for every car. */
static uint16_t one_mask(py::handle keys)
{
    long long v = whole(keys, "keys");
    if (v < 0 || v > KEY_MASK_MAX)
        throw py::value_error("keys is " + std::to_string(v) + ": " + MASK_RULE);
    return (uint16_t)v;
}

/* i as an index of n things, from the end when negative, as Python's are. */
static size_t index_of(long long i, size_t n, const char *what)
{
    if (i < -(long long)n || i >= (long long)n)
        throw py::value_error(std::string(what) + " " + std::to_string(i) + " is out of range for "
                              + std::to_string(n) + " cars (0 to " + std::to_string(n - 1) + ")");
    return (size_t)(i < 0 ? i + (long long)n : i);
}

/* ======================================================================
 * Cars: parameters from the preset, a car file and fields by name.
 * ====================================================================== */

static car car_made(py::object path)
{
    car c = KVT;
    if (path.is_none())
        return c;
    std::string p = no_nul(path.cast<std::string>(), "path");
    char err[600];
    if (read_car_file(p.c_str(), &c, err, sizeof err) != 0)
        throw py::value_error(err);
    return c;
}

static void car_set(car &c, const std::string &name, const std::string &text)
{
    char err[400];
    if (car_field_set(&c, no_nul(name, "a field's name").c_str(), no_nul(text, name.c_str()).c_str(),
                      err, sizeof err) != 0)
        throw py::value_error(err);
}

static void bind_car(py::module_ &m)
{
    py::class_<car> c(m, "Car", "A car's parameters (see caravelt.Car).");
    c.def(py::init(&car_made), py::arg("path") = py::none());
    c.def("_set", &car_set, "One field from decimal text, checked as a car file's value is.");
    c.def("__eq__", [](const car &a, py::object b) {
        return py::isinstance<car>(b) && memcmp(&a, &b.cast<const car &>(), sizeof a) == 0;
    });
    c.def("__hash__", [](const car &a) {
        return py::hash(py::bytes((const char *)&a, sizeof a));
    });
    py::list names;
#define CAR_GET(type, name)                                                   \
    c.def_property_readonly(#name, [](const car &a) { return a.name; });      \
    names.append(#name);
#define CAR_GET_TABLE(type, name, n)                                          \
    c.def_property_readonly(#name, [](const car &a) {                         \
        py::tuple t(n);                                                       \
        for (int i = 0; i < n; i++)                                           \
            t[i] = a.name[i];                                                 \
        return t;                                                             \
    });                                                                       \
    names.append(#name);
    CAR_FIELDS(CAR_GET, CAR_GET_TABLE)
#undef CAR_GET
#undef CAR_GET_TABLE
    m.attr("CAR_FIELDS") = py::tuple(names);
}

/* ======================================================================
 * The fleet.
 * ====================================================================== */

struct fleet {
    std::shared_ptr<std::vector<car_state>> cars;
    int threads = 1;
    py::array state;              /* the read-only view of the cars */
    std::atomic<bool> busy{false};

    size_t n() const { return cars->size(); }
};

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

static std::unique_ptr<fleet> fleet_made(const std::vector<car> &params, int threads)
{
    if (params.empty())
        throw py::value_error("a fleet needs at least one car");
    if (threads < 1)
        throw py::value_error("threads must be 1 or more here, not " + std::to_string(threads));
    auto f = std::make_unique<fleet>();
    f->cars = std::make_shared<std::vector<car_state>>(params.size());
    for (size_t i = 0; i < params.size(); i++)
        car_start(&(*f->cars)[i], &params[i]);
    f->threads = threads;
    /* The view owns a share of the cars, so it outlives the fleet safely;
     * read-only, so no write can put a car where a tick cannot go. */
    auto *share = new std::shared_ptr<std::vector<car_state>>(f->cars);
    py::capsule owner(share, [](void *p) { delete (std::shared_ptr<std::vector<car_state>> *)p; });
    f->state = py::array(columns(false, offsetof(car_state, x), sizeof(car_state)),
                         {(ssize_t)f->n()}, {(ssize_t)sizeof(car_state)}, f->cars->data(), owner);
    py::detail::array_proxy(f->state.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
    return f;
}

/* A long run goes in chunks of about this many car-ticks (a fraction of a
 * second), so that Ctrl-C and other signals are seen between them. */
static const uint64_t CHUNK_CAR_TICKS = 1 << 22;

/* ----------------------------------------------------------------------
 * in_chunks: run(first, count) over ticks 0 .. ticks - 1 of n cars in
 * chunks, the interpreter's lock released during each; Python's signal
 * handlers run between chunks, and an exception they raise (Ctrl-C's
 * KeyboardInterrupt) ends the run there, every car at the same tick.
 * ---------------------------------------------------------------------- */
static void in_chunks(uint64_t ticks, size_t n, const std::function<void(uint64_t, uint64_t)> &run)
{
    uint64_t chunk = CHUNK_CAR_TICKS / n ? CHUNK_CAR_TICKS / n : 1;
    for (uint64_t first = 0; first < ticks; first += chunk) {
        uint64_t count = ticks - first < chunk ? ticks - first : chunk;
        {
            py::gil_scoped_release nogil;
            run(first, count);
        }
        if (first + count < ticks && PyErr_CheckSignals() != 0)
            throw py::error_already_set();
    }
}

static void fleet_step_py(fleet &f, py::handle keys, py::handle ticks)
{
    long long t = whole(ticks, "ticks");
    if (t < 1)
        throw py::value_error("ticks must be 1 or more, not " + std::to_string(t));
    uint16_t mask = 0;
    const uint16_t *k = &mask;
    py::array held;
    bool all_same = !py::isinstance<py::array>(keys) && PyIndex_Check(keys.ptr()) && !PyBool_Check(keys.ptr());
    if (all_same)
        mask = one_mask(keys);
    else
        held = key_array(keys, 1, f.n(), "(n,)"), k = (const uint16_t *)held.data();
    fleet_taken taken(f);
    in_chunks((uint64_t)t, f.n(), [&](uint64_t, uint64_t count) {
        fleet_step(f.cars->data(), f.n(), k, all_same, count, f.threads);
    });
}

static py::array fleet_rollout_py(fleet &f, py::handle keys)
{
    py::array held = key_array(keys, 2, f.n(), "(n, T)");
    size_t T = (size_t)held.shape(1);
    py::array out(columns(false, 0, sizeof(state_row)), {(ssize_t)f.n(), (ssize_t)T});
    fleet_taken taken(f);
    in_chunks(T, f.n(), [&](uint64_t first, uint64_t count) {
        fleet_rollout(f.cars->data(), f.n(), (const uint16_t *)held.data(), T, first, count,
                      (state_row *)out.mutable_data(), f.threads);
    });
    return out;
}

/* which: the indices to reset, int64, already in range (the package's
 * reset turns masks and negative indices into these); checked again. */
static void fleet_reset_py(fleet &f, py::array_t<int64_t, 0> which)
{
    if (which.ndim() != 1)
        throw py::value_error("which must be one-dimensional");
    std::vector<size_t> at((size_t)which.size());
    for (size_t j = 0; j < at.size(); j++)
        at[j] = index_of(which.at(j), f.n(), "which: index");
    fleet_taken taken(f);
    fleet_reset(f.cars->data(), at.data(), at.size());
}

static void bind_fleet(py::module_ &m)
{
    py::class_<fleet> c(m, "Fleet", "Cars as values (see caravelt.Fleet).");
    c.def(py::init(&fleet_made), py::arg("cars"), py::arg("threads"));
    c.def("step", &fleet_step_py, py::arg("keys"), py::arg("ticks") = 1);
    c.def("rollout", &fleet_rollout_py, py::arg("keys"));
    c.def("_reset", &fleet_reset_py, py::arg("which"));
    c.def_property_readonly("state", [](const fleet &f) { return f.state; });
    c.def_property_readonly("threads", [](const fleet &f) { return f.threads; });
    c.def_property_readonly("n", &fleet::n);
    c.def("__len__", &fleet::n);
}

/* ======================================================================
 * A script run, and the driving view.
 * ====================================================================== */

/* The trace of the stretches read from in, driving car c. */
static py::array run_from(FILE *in, const std::string &name, const car &c)
{
    std::vector<stretch> script;
    uint64_t ticks = 0;
    char err[600];
    int st = script_read(in, name.c_str(), &script, &ticks, err, sizeof err);
    fclose(in);
    if (st != 0)
        throw py::value_error(err);
    py::array rows(columns(true, offsetof(trace_row, s), sizeof(trace_row)),
                   std::vector<ssize_t>{(ssize_t)ticks});
    py::gil_scoped_release nogil;
    script_drive(&c, script, (trace_row *)rows.mutable_data());
    return rows;
}

static py::array run_text(const std::string &text, const std::string &name, const car &c)
{
    static const char nothing[] = "\n";   /* an empty stream has no bytes to open */
    FILE *in = text.empty() ? fmemopen((void *)nothing, 1, "r")
                            : fmemopen((void *)text.data(), text.size(), "r");
    if (!in)
        throw std::runtime_error(std::string("cannot read the script: ") + strerror(errno));
    return run_from(in, name, c);
}

static py::array run_file(const std::string &path, const car &c)
{
    FILE *in = fopen(no_nul(path, "script").c_str(), "r");
    if (!in) {
        PyErr_SetFromErrnoWithFilename(PyExc_OSError, path.c_str());
        throw py::error_already_set();
    }
    return run_from(in, path, c);
}

static py::array frame_py(fleet &f, py::handle i, const std::string &data)
{
    size_t at = index_of(whole(i, "i"), f.n(), "i: car");
    char err[600];
    if (view_pictures(no_nul(data, "data").c_str(), err, sizeof err) != 0)
        throw py::value_error(err);
    py::array_t<uint8_t> rgb({(ssize_t)VIEW_H, (ssize_t)VIEW_W, (ssize_t)3});
    fleet_taken taken(f);
    /* The drawing's bitmaps are process-wide: drawn holding the lock. */
    view_draw(&(*f.cars)[at], rgb.mutable_data());
    return rgb;
}

PYBIND11_MODULE(_caravelt, m)
{
    m.doc() = "The compiled half of caravelt: the game's own simulation and drawing.";
    static const char *const key_names[SIM_KEYS] = {"UP", "DOWN", "LEFT", "RIGHT", "A", "Z", "X", "R", "Q"};
    for (int i = 0; i < SIM_KEYS; i++)
        m.attr(key_names[i]) = 1u << i;
    m.attr("DATA_DIR") = CARAVELT_DATA_DIR;
    bind_car(m);
    bind_fleet(m);
    m.def("_run_text", &run_text, py::arg("text"), py::arg("name"), py::arg("car"));
    m.def("_run_file", &run_file, py::arg("path"), py::arg("car"));
    m.def("_frame", &frame_py, py::arg("fleet"), py::arg("i"), py::arg("data"));
}
