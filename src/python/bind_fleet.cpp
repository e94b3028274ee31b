/*
 * python/bind_fleet.cpp -- Fleet: the cars' state as a numpy view, steps
 * and rollouts over key arrays, resets.
 *
 * The ticks run with the interpreter's lock released, long runs in chunks
 * with Python's signal handlers run between them.
 */
#include "bind.h"

#include <pybind11/stl.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "run/fleet.h"

const char KEY_MASK_RULE[] =
    "a key mask is 0 to 511, a sum of UP=1 DOWN=2 LEFT=4 RIGHT=8 A=16 Z=32 X=64 R=128 Q=256";

/* The columns sit in a car's motion in the row's order, right after one
 * another, so a view of the cars is a row at an offset. */
#define SAME_LAYOUT(type, name, start)                                              \
    static_assert(offsetof(car_motion, name) - offsetof(car_motion, x) == offsetof(state_row, name), \
                  "the traced state lies in a car as in a row");
SIM_STATE_TRACED(SAME_LAYOUT)
#undef SAME_LAYOUT

py::array key_array(py::handle keys, int ndim, size_t n, const char *shape_wanted, const char *what,
                    bool or_int)
{
    const std::string name = what;
    if (!py::isinstance<py::array>(keys))
        throw py::type_error(name + " must be a numpy array of dtype uint16 with shape " + shape_wanted
                             + (or_int ? " or one int" : "") + ", not " + type_name(keys));
    py::array a = py::reinterpret_borrow<py::array>(keys);
    if (!a.dtype().equal(py::dtype::of<uint16_t>()))
        throw py::type_error(name + " must have dtype uint16 (numpy.uint16), not "
                             + py::str(a.dtype()).cast<std::string>());
    if (a.ndim() != ndim || (size_t)a.shape(0) != n)
        throw py::value_error(name + " must have shape " + shape_wanted + " with n = " + std::to_string(n)
                              + ", not " + py::str(a.attr("shape")).cast<std::string>());
    int flags = py::detail::array_proxy(a.ptr())->flags;
    if (!(flags & py::detail::npy_api::NPY_ARRAY_C_CONTIGUOUS_)
        || !(flags & py::detail::npy_api::NPY_ARRAY_ALIGNED_))
        throw py::value_error(name + " must be C-contiguous and aligned (row-major, as numpy makes "
                              "arrays), not a strided or Fortran-order view");
    const uint16_t *k = (const uint16_t *)a.data();
    size_t count = (size_t)a.size();
    uint16_t high = 0;
    for (size_t j = 0; j < count; j++)
        high = k[j] > high ? k[j] : high;
    if (high > RUN_KEYS_MAX) {
        size_t j = 0;
        while (k[j] <= RUN_KEYS_MAX)
            j++;
        std::string at = ndim == 1 ? std::to_string(j)
                                   : std::to_string(j / a.shape(1)) + ", " + std::to_string(j % a.shape(1));
        throw py::value_error(name + "[" + at + "] is " + std::to_string(k[j]) + ": " + KEY_MASK_RULE);
    }
    return a;
}

/* One mask for every car. */
static uint16_t one_mask(py::handle keys)
{
    long long v = arg_whole(keys, "keys");
    if (v < 0 || v > RUN_KEYS_MAX)
        throw py::value_error("keys is " + std::to_string(v) + ": " + KEY_MASK_RULE);
    return (uint16_t)v;
}

/* A numpy array no caller may write. */
static void read_only(py::array &a)
{
    py::detail::array_proxy(a.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
}

/* The laps' columns as a numpy dtype: each field at its place in a row. */
static py::dtype laps_columns()
{
    py::list names, formats, offsets;
#define LAPS_COLUMN(type, name)                   \
    names.append(#name);                          \
    formats.append(py::dtype::of<type>());        \
    offsets.append(offsetof(laps_row, name));
    LAPS_COLUMNS(LAPS_COLUMN)
#undef LAPS_COLUMN
    py::dict d;
    d["names"] = names, d["formats"] = formats, d["offsets"] = offsets, d["itemsize"] = sizeof(laps_row);
    return py::dtype::from_args(d);
}

void laps_taken(fleet &f)
{
    if (f.track)
        fleet_laps(f.parts(), (laps_row *)py::detail::array_proxy(f.laps.ptr())->data);
    f.laps_stale = false;
}

std::unique_ptr<fleet> fleet_made(const std::vector<car> &params, std::shared_ptr<course> track, int threads)
{
    if (params.empty())
        throw py::value_error("a fleet needs at least one car");
    if (threads < 1)
        throw py::value_error("threads must be 1 or more here, not " + std::to_string(threads));
    auto f = std::make_unique<fleet>();
    f->cars = std::make_shared<std::vector<car_motion>>(params.size());
    f->runs.resize(params.size());
    f->track = track;
    if (track)
        f->timings.resize(params.size());
    f->pool.reset(run_pool_new(threads));
    f->one_setup = std::all_of(params.begin(), params.end(),
                               [&](const car &c) { return memcmp(&c, &params[0], sizeof c) == 0; });
    f->params.assign(params.begin(), f->one_setup ? params.begin() + 1 : params.end());
    for (size_t i = 0; i < params.size(); i++)
        fleet_reset_car(f->parts(), i);
    f->threads = threads;
    /* The view owns a share of the cars, so it outlives the fleet safely;
     * read-only, so no write can put a car where a tick cannot go. */
    auto *share = new std::shared_ptr<std::vector<car_motion>>(f->cars);
    py::capsule owner(share, [](void *p) { delete (std::shared_ptr<std::vector<car_motion>> *)p; });
    f->state = py::array(trace_columns(false, offsetof(car_motion, x), sizeof(car_motion)),
                         {(ssize_t)f->n()}, {(ssize_t)sizeof(car_motion)}, f->cars->data(), owner);
    read_only(f->state);
    if (track) {
        /* an array of its own: the timings hold vectors, no view fits */
        f->laps = py::array(laps_columns(), std::vector<ssize_t>{(ssize_t)f->n()});
        laps_taken(*f);
        read_only(f->laps);
    } else {
        f->laps = py::none();
    }
    return f;
}

static void in_chunks(uint64_t ticks, size_t n, const std::function<void(uint64_t, uint64_t)> &run,
                      py::handle progress)
{
    pacer pace(((uint64_t)1 << 16) / n ? ((uint64_t)1 << 16) / n : 1);   /* ticks of every car */
    for (uint64_t first = 0, count; first < ticks; first += count, pace.measured()) {
        count = ticks - first < pace.size ? ticks - first : pace.size;
        {
            py::gil_scoped_release nogil;
            run(first, count);
        }
        if (!progress.is_none())   /* the caller's: ticks done of all, every car at the same tick */
            progress(first + count, ticks);
        if (first + count < ticks && PyErr_CheckSignals() != 0)
            throw py::error_already_set();
    }
}

static void fleet_step_py(fleet &f, py::handle keys, py::handle ticks, py::handle progress)
{
    long long t = arg_whole(ticks, "ticks");
    if (t < 1)
        throw py::value_error("ticks must be 1 or more, not " + std::to_string(t));
    uint16_t mask = 0;
    const uint16_t *k = &mask;
    py::array held;
    bool all_same = !py::isinstance<py::array>(keys) && PyIndex_Check(keys.ptr()) && !PyBool_Check(keys.ptr());
    if (all_same)
        mask = one_mask(keys);
    else
        held = key_array(keys, 1, f.n(), "(n,)", "keys", true), k = (const uint16_t *)held.data();
    fleet_taken taken(f);
    try {
        in_chunks((uint64_t)t, f.n(), [&](uint64_t, uint64_t count) { fleet_step(f.parts(), k, all_same, count); },
                  progress);
    } catch (...) {
        laps_taken(f);   /* stopped between chunks: the laps as the cars stand */
        throw;
    }
    laps_taken(f);
}

static py::array fleet_rollout_py(fleet &f, py::handle keys, py::handle progress)
{
    py::array held = key_array(keys, 2, f.n(), "(n, T)", "keys", false);
    size_t T = (size_t)held.shape(1);
    py::array out(trace_columns(false, 0, sizeof(state_row)), {(ssize_t)f.n(), (ssize_t)T});
    fleet_taken taken(f);
    try {
        in_chunks(T, f.n(), [&](uint64_t first, uint64_t count) {
            fleet_rollout(f.parts(), (const uint16_t *)held.data(), T, first, count,
                          (state_row *)out.mutable_data());
        }, progress);
    } catch (...) {
        laps_taken(f);
        throw;
    }
    laps_taken(f);
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
    fleet_reset(f.parts(), at.data(), at.size());
    laps_taken(f);
}

void bind_fleet(py::module_ &m)
{
    py::class_<fleet> c(m, "Fleet", "Cars as values (see caravelt.Fleet).");
    c.def(
        "__init__",
        [](py::detail::value_and_holder &v_h, const std::vector<car> &cars, std::shared_ptr<course> track,
           int threads) {
            not_again(v_h, "Fleet");
            py::detail::initimpl::construct<py::class_<fleet>>(v_h, fleet_made(cars, track, threads), false);
        },
        py::detail::is_new_style_constructor(), py::arg("cars"), py::arg("course"), py::arg("threads"));
    c.def_property_readonly("_is_made", [](py::handle self) { return made(self, typeid(fleet)); });
    c.def("_step", &fleet_step_py, py::arg("keys"), py::arg("ticks"), py::arg("progress"));
    c.def("_rollout", &fleet_rollout_py, py::arg("keys"), py::arg("progress"));
    c.def("_reset", &fleet_reset_py, py::arg("which"));
    c.def_property_readonly("state", [](const fleet &f) { return f.state; });
    c.def_property_readonly("laps", [](fleet &f) {
        if (f.laps_stale) {   /* an environment's steps leave them to be taken when read */
            fleet_taken taken(f);
            laps_taken(f);
        }
        return f.laps;
    });
    c.def_property_readonly("course", [](const fleet &f) {
        return f.track ? py::cast(std::const_pointer_cast<course>(f.track)) : py::none();
    });
    c.def_property_readonly("threads", [](const fleet &f) { return f.threads; });
    c.def_property_readonly("fault", [](fleet &f) {
        py::list out;
        for (size_t i = 0; i < f.n(); i++) {
            char text[200];
            fleet_fault_text(f.parts(), i, text, sizeof text);
            out.append(fleet_faulted(f.parts(), i) ? py::object(py::str(text)) : py::object(py::none()));
        }
        return out;
    });
    c.def_property_readonly("n", &fleet::n);
    c.def("__len__", &fleet::n);
    bind_pickle_fleet(c);
}
