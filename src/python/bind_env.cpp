/*
 * python/bind_env.cpp -- _Env: the compiled half of CarEnv and VectorEnv,
 * the environments of a fleet's cars on its course.
 *
 * Every array handed back is a fresh one the caller keeps: an
 * observation kept in a list never changes after.  A single car's step is
 * the hot path of many a learning loop, so it is made with numpy's and
 * Python's own calls, not through pybind11's conversions.
 */
#include "bind.h"

#include <cstring>

#include "run/env.h"

struct env {
    py::object owner;              /* the Fleet */
    fleet *f;
    env_spec spec;
    std::vector<env_episode> episodes;
    bool started = false;          /* reset once */
};

static std::unique_ptr<env> env_made(py::object owner, py::handle ticks_per_step, py::handle max_ticks)
{
    fleet &f = owner.cast<fleet &>();
    if (!f.track)
        throw py::value_error("an environment needs a fleet with a course");
    long long k = arg_whole(ticks_per_step, "ticks_per_step"), m = arg_whole(max_ticks, "max_ticks");
    if (k < 1)
        throw py::value_error("ticks_per_step must be 1 or more, not " + std::to_string(k));
    if (m < 1)
        throw py::value_error("max_seconds must be 0.01 (one tick) or more");
    auto e = std::make_unique<env>();
    e->owner = owner;
    e->f = &f;
    e->spec = {(uint64_t)k, (uint64_t)m};
    e->episodes.assign(f.n(), env_episode{});
    return e;
}

/* A fresh float32 numpy array of the given shape, C order, uninitialised. */
static PyObject *new_floats(int ndim, const Py_intptr_t *dims)
{
    auto &api = py::detail::npy_api::get();
    PyObject *descr = api.PyArray_DescrFromType_(py::detail::npy_api::NPY_FLOAT_);
    PyObject *a = api.PyArray_NewFromDescr_(api.PyArray_Type_, descr, ndim, (Py_intptr_t *)dims, nullptr,
                                            nullptr, 0, nullptr);
    if (!a)
        throw py::error_already_set();
    return a;
}

static float *floats_of(PyObject *a) { return (float *)py::detail::array_proxy(a)->data; }

/* Every car's observation, shape (n, ENV_OBS), or (ENV_OBS,) for one. */
static py::array observed(env &e, bool single)
{
    Py_intptr_t dims[2] = {(Py_intptr_t)e.f->n(), ENV_OBS};
    PyObject *a = single ? new_floats(1, dims + 1) : new_floats(2, dims);
    for (size_t i = 0; i < e.f->n(); i++)
        env_observe(e.spec, e.f->parts(), e.episodes.data(), i, floats_of(a) + i * ENV_OBS);
    return py::reinterpret_steal<py::array>(a);
}

/* Every car afresh; the first observations. */
static py::array env_reset_all(env &e, bool single)
{
    fleet &f = *e.f;
    fleet_taken taken(f);
    for (size_t i = 0; i < f.n(); i++)
        env_reset(f.parts(), e.episodes.data(), i);
    e.started = true;
    laps_taken(f);
    return observed(e, single);
}

/* The message of a car whose state stopped being finite. */
static py::str fault_text(const char *name, uint64_t ticks)
{
    return py::str(std::string(name) + " stopped being a finite number by tick " + std::to_string(ticks)
                   + " of the episode");
}

/* ----------------------------------------------------------------------
 * The one car's step (CarEnv): (obs, reward, terminated, truncated,
 * info), info empty but on the step that ends the episode.
 * ---------------------------------------------------------------------- */
static py::object env_step_one(env &e, py::handle action)
{
    long long a;
    if (PyLong_CheckExact(action.ptr())) {
        int overflow = 0;
        a = PyLong_AsLongLongAndOverflow(action.ptr(), &overflow);
        if (overflow)
            a = -1;
    } else {
        a = arg_whole(action, "action");
    }
    if (a < 0 || a > RUN_KEYS_MAX)
        throw py::value_error("action is " + py::str(action).cast<std::string>() + ": " + KEY_MASK_RULE);
    if (!e.started)
        throw std::runtime_error("step before reset(): call reset() first");
    fleet &f = *e.f;
    env_episode &ep = e.episodes[0];
    if (ep.over)
        throw std::runtime_error("the episode has ended: call reset() for another");
    env_result r;
    {
        fleet_taken taken(f);
        env_step(e.spec, f.parts(), e.episodes.data(), 0, (unsigned)a, &r);
        laps_taken(f);
    }
    Py_intptr_t n = ENV_OBS;
    PyObject *obs = new_floats(1, &n);
    env_observe(e.spec, f.parts(), e.episodes.data(), 0, floats_of(obs));
    py::dict info;
    if (ep.over) {
        const laps_row &l = *(const laps_row *)py::detail::array_proxy(f.laps.ptr())->data;
        info["laps_done"] = l.laps_done;
        info["ticks"] = ep.ticks;
        if (r.fault)
            info["fault"] = fault_text(r.fault, ep.ticks);
    }
    PyObject *t = PyTuple_New(5);
    if (!t) {
        Py_DECREF(obs);
        throw py::error_already_set();
    }
    PyTuple_SET_ITEM(t, 0, obs);
    PyTuple_SET_ITEM(t, 1, PyFloat_FromDouble(r.reward));
    PyTuple_SET_ITEM(t, 2, py::bool_(r.terminated).release().ptr());
    PyTuple_SET_ITEM(t, 3, py::bool_(r.truncated).release().ptr());
    PyTuple_SET_ITEM(t, 4, info.release().ptr());
    return py::reinterpret_steal<py::object>(t);
}

/* ----------------------------------------------------------------------
 * Every car's step (VectorEnv), the ended ones reset: (obs, reward, terminated,
 * truncated, info), info holding final_observation (n, ENV_OBS), its mask
 * _final_observation, and fault ({car: message}) when a car's state
 * stopped being finite.
 * ---------------------------------------------------------------------- */
static py::tuple env_step_all_py(env &e, py::handle actions)
{
    fleet &f = *e.f;
    size_t n = f.n();
    py::array held = key_array(actions, 1, n, "(n,)", "actions", false);
    if (!e.started)
        throw std::runtime_error("step before reset(): call reset() first");
    Py_intptr_t dims[2] = {(Py_intptr_t)n, ENV_OBS};
    py::array obs = py::reinterpret_steal<py::array>(new_floats(2, dims));
    py::array final_obs = py::reinterpret_steal<py::array>(new_floats(2, dims));
    py::array_t<double> reward((ssize_t)n);
    py::array_t<bool> terminated((ssize_t)n), truncated((ssize_t)n), ended((ssize_t)n);
    std::vector<env_result> r(n);
    {
        fleet_taken taken(f);
        py::gil_scoped_release nogil;
        env_step_all(e.spec, f.parts(), e.episodes.data(), (const uint16_t *)held.data(), floats_of(obs.ptr()),
                     r.data(), floats_of(final_obs.ptr()), ended.mutable_data());
        laps_taken(f);
    }
    double *rw = reward.mutable_data();
    bool *te = terminated.mutable_data(), *tr = truncated.mutable_data();
    py::dict faults;
    for (size_t i = 0; i < n; i++) {
        rw[i] = r[i].reward, te[i] = r[i].terminated, tr[i] = r[i].truncated;
        if (r[i].fault)
            faults[py::int_(i)] = py::str(std::string(r[i].fault) + " stopped being a finite number");
    }
    py::dict info;
    info["final_observation"] = final_obs;
    info["_final_observation"] = ended;
    if (faults.size())
        info["fault"] = faults;
    return py::make_tuple(obs, reward, terminated, truncated, info);
}

void bind_env(py::module_ &m)
{
    py::class_<env> c(m, "_Env", "The compiled half of CarEnv and VectorEnv.");
    c.def(py::init(&env_made), py::arg("fleet"), py::arg("ticks_per_step"), py::arg("max_ticks"));
    c.def("_reset_all", &env_reset_all, py::arg("single"));
    c.def("_step_one", &env_step_one, py::arg("action"));
    c.def("_step_all", &env_step_all_py, py::arg("actions"));
    c.def_property_readonly("fleet", [](const env &e) { return e.owner; });
    c.def_property_readonly("ticks_per_step", [](const env &e) { return e.spec.ticks_per_step; });
    c.def_property_readonly("max_ticks", [](const env &e) { return e.spec.max_ticks; });
    m.attr("OBSERVATION") = [] {
        py::tuple t((size_t)ENV_OBS);
        for (int i = 0; i < ENV_OBS; i++)
            t[i] = ENV_OBS_NAMES[i];
        return t;
    }();
    m.attr("GATE_REWARD") = ENV_GATE_REWARD;
    m.attr("SECOND_COST") = ENV_SECOND_COST;
}
