/*
 * python/bind_env.cpp -- _Env: the compiled half of CarEnv and VectorEnv,
 * the environments of a fleet's cars on its course.
 *
 * Every array handed back is a fresh one the caller keeps: an
 * observation kept in a list never changes after.  A single car's step is
 * the hot path of many a learning loop, so it is made with numpy's and
 * Python's own calls, not through pybind11's conversions.  A vector step's
 * info is Gymnasium's (1.x): for the environments an episode ended for,
 * each key of the single environment's info in an array of n with its
 * mask "_key"; in the same-step mode, under "final_obs" and "final_info".
 * A step of many ticks runs in parts, Python's signal handlers run
 * between them, so Ctrl-C stops it.
 */
#include "bind.h"

#include <cstring>
#include <limits>

using namespace pybind11::literals;

/* A step's first part, ticks of each car: most steps are done in it. */
static const uint64_t STEP_FIRST_PART = 1 << 16;

static std::unique_ptr<env> env_made(py::object owner, py::handle ticks_per_step, py::handle max_ticks,
                                     bool same_step, py::handle max_steps)
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
    long long steps = max_steps.is_none() ? 0 : arg_whole(max_steps, "max_episode_steps");
    if (steps < 0 || (!max_steps.is_none() && steps < 1))
        throw py::value_error("max_episode_steps must be 1 or more, not " + std::to_string(steps));
    e->spec = {(uint64_t)k, (uint64_t)m, (uint64_t)steps};
    e->mode = same_step ? ENV_SAME_STEP : ENV_NEXT_STEP;
    e->episodes.assign(f.n(), env_episode{});
    e->results.resize(f.n());
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

/* ----------------------------------------------------------------------
 * Reset: every car afresh, or those of a mask (the caller ending their
 * episodes early); max_ticks, when not 0, the episodes' length from now
 * on.  The observations of every car.
 * ---------------------------------------------------------------------- */
static py::array env_reset_py(env &e, bool single, py::object mask, long long max_ticks)
{
    fleet &f = *e.f;
    const bool *which = nullptr;
    py::array held;
    if (!mask.is_none()) {
        held = py::reinterpret_borrow<py::array>(mask);   /* checked by the package: bool, (n,) */
        which = (const bool *)held.data();
    }
    fleet_taken taken(f);
    if (max_ticks > 0)
        e.spec.max_ticks = (uint64_t)max_ticks;
    for (size_t i = 0; i < f.n(); i++)
        if (!which || which[i])
            env_reset(f.parts(), e.episodes.data(), i);
    e.started = true;
    laps_taken(f);
    return observed(e, single);
}

/* What an ended episode came to, as the single environment's info. */
static py::dict ending_info(const env_ending &g)
{
    py::dict info;
    info["laps_done"] = py::int_(g.laps_done);
    info["ticks"] = py::int_(g.ticks);
    info["best_lap"] = py::float_(g.best_lap);
    info["best_cones"] = py::int_(g.best_cones);
    if (g.fault)
        info["fault"] = py::str(std::string(g.fault) + " stopped being a finite number by tick "
                                + std::to_string(g.ticks) + " of the episode");
    return info;
}

/* A Python int of any size as an action: 0 to 511, or the ValueError. */
static unsigned action_of(py::handle action)
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
    return (unsigned)a;
}

/* ----------------------------------------------------------------------
 * The one car's step (CarEnv): (obs, reward, terminated, truncated,
 * info), info empty but on the step that ends the episode.
 * ---------------------------------------------------------------------- */
static py::object env_step_one(env &e, py::handle action)
{
    unsigned a = action_of(action);
    if (!e.started)
        throw std::runtime_error("step before reset(): call reset() first");
    fleet &f = *e.f;
    env_episode &ep = e.episodes[0];
    if (ep.over)
        throw std::runtime_error("the episode has ended: call reset() for another");
    env_result r;
    {
        fleet_taken taken(f);
        env_tally t = {};
        pacer pace(STEP_FIRST_PART);
        bool done = env_step_part(e.spec, f.parts(), e.episodes.data(), 0, a, pace.size, &t, true);
        while (!done) {   /* a long step: the lock let go meanwhile, so that Ctrl-C and threads get in */
            pace.measured();
            {
                py::gil_scoped_release nogil;
                done = env_step_part(e.spec, f.parts(), e.episodes.data(), 0, a, pace.size, &t, true);
            }
            if (!done && PyErr_CheckSignals() != 0) {   /* the ticks run so far stand; the step's reward is lost */
                env_step_done(e.spec, f.parts(), e.episodes.data(), 0, &t, &r);
                f.laps_stale = true;
                throw py::error_already_set();
            }
        }
        env_step_done(e.spec, f.parts(), e.episodes.data(), 0, &t, &r);
        f.laps_stale = true;
    }
    Py_intptr_t n = ENV_OBS;
    PyObject *obs = new_floats(1, &n);
    env_observe(e.spec, f.parts(), e.episodes.data(), 0, floats_of(obs));
    PyObject *info;
    if (ep.over) {
        env_ending g;
        env_ended(f.parts(), e.episodes.data(), 0, &g);
        info = ending_info(g).release().ptr();
    } else {
        info = PyDict_New();
    }
    PyObject *t = PyTuple_New(5);
    if (!t || !info) {
        Py_XDECREF(obs), Py_XDECREF(info), Py_XDECREF(t);
        throw py::error_already_set();
    }
    PyTuple_SET_ITEM(t, 0, obs);
    PyTuple_SET_ITEM(t, 1, PyFloat_FromDouble(r.reward));
    PyTuple_SET_ITEM(t, 2, py::bool_(r.terminated).release().ptr());
    PyTuple_SET_ITEM(t, 3, py::bool_(r.truncated).release().ptr());
    PyTuple_SET_ITEM(t, 4, info);
    return py::reinterpret_steal<py::object>(t);
}

/* ----------------------------------------------------------------------
 * actions as n masks: any numpy array of integers of shape (n,) (int64,
 * as Gymnasium's samples and argmax give; uint16 is read in place), or a
 * sequence numpy makes one of; each 0 to 511.  Else the TypeError or
 * ValueError naming the value.
 * ---------------------------------------------------------------------- */
static const uint16_t *action_masks(py::handle actions, size_t n, std::vector<uint16_t> *scratch,
                                    py::array *keep)
{
    py::array a = py::isinstance<py::array>(actions) ? py::reinterpret_borrow<py::array>(actions)
                                                     : py::array::ensure(actions);
    if (!a)
        throw py::type_error("actions must be a numpy array of n integers, not " + type_name(actions));
    char kind = a.dtype().kind();
    if (kind != 'i' && kind != 'u')
        throw py::type_error("actions must be integers (key masks, 0 to 511), not " + py::str(a.dtype()).cast<std::string>());
    if (a.ndim() != 1 || (size_t)a.shape(0) != n)
        throw py::value_error("actions must have shape (n,) with n = " + std::to_string(n) + ", not "
                              + py::str(a.attr("shape")).cast<std::string>());
    int flags = py::detail::array_proxy(a.ptr())->flags;
    if (a.dtype().equal(py::dtype::of<uint16_t>()) && (flags & py::detail::npy_api::NPY_ARRAY_C_CONTIGUOUS_)
        && (flags & py::detail::npy_api::NPY_ARRAY_ALIGNED_)) {
        const uint16_t *k = (const uint16_t *)a.data();
        for (size_t i = 0; i < n; i++)
            if (k[i] > RUN_KEYS_MAX)
                throw py::value_error("actions[" + std::to_string(i) + "] is " + std::to_string(k[i]) + ": "
                                      + KEY_MASK_RULE);
        *keep = a;
        return k;
    }
    py::array_t<long long> wide = py::array_t<long long>::ensure(a);   /* any integers, exactly */
    if (!wide)
        throw py::error_already_set();
    scratch->resize(n);
    for (size_t i = 0; i < n; i++) {
        long long v = wide.at((ssize_t)i);
        if (v < 0 || v > RUN_KEYS_MAX)
            throw py::value_error("actions[" + std::to_string(i) + "] is " + std::to_string(v) + ": " + KEY_MASK_RULE);
        (*scratch)[i] = (uint16_t)v;
    }
    return scratch->data();
}

/* The info of one vector step, as Gymnasium's SyncVectorEnv makes it of
 * its environments' infos: only the ended episodes say anything. */
static py::dict step_info(env &e, PyObject *final_obs)
{
    size_t n = e.f->n();
    py::dict info;
    std::vector<size_t> ended;
    for (size_t i = 0; i < n; i++)
        if (e.results[i].ended)
            ended.push_back(i);
    if (ended.empty())
        return info;
    py::array_t<int64_t> laps((ssize_t)n), ticks((ssize_t)n), cones((ssize_t)n);
    py::array_t<double> best((ssize_t)n);
    py::array_t<bool> mask((ssize_t)n);
    std::fill_n(laps.mutable_data(), n, 0), std::fill_n(ticks.mutable_data(), n, 0);
    std::fill_n(cones.mutable_data(), n, 0), std::fill_n(best.mutable_data(), n, 0.0);
    std::fill_n(mask.mutable_data(), n, false);
    py::object faults = py::none(), fault_mask = py::none();
    for (size_t i : ended) {
        const env_ending &g = e.results[i].ending;
        laps.mutable_at(i) = g.laps_done, ticks.mutable_at(i) = g.ticks, cones.mutable_at(i) = g.best_cones;
        best.mutable_at(i) = g.best_lap, mask.mutable_at(i) = true;
        if (g.fault) {
            if (faults.is_none()) {
                py::module_ np = py::module_::import("numpy");
                faults = np.attr("full")(n, py::none(), "dtype"_a = "object");
                fault_mask = np.attr("zeros")(n, "dtype"_a = "bool");
            }
            faults[py::int_(i)] = ending_info(g)["fault"];
            fault_mask[py::int_(i)] = true;
        }
    }
    auto copy = [](const py::array &a) { return py::array(a.attr("copy")()); };
    py::dict each;
    each["laps_done"] = laps, each["_laps_done"] = mask;
    each["ticks"] = ticks, each["_ticks"] = copy(mask);
    each["best_lap"] = best, each["_best_lap"] = copy(mask);
    each["best_cones"] = cones, each["_best_cones"] = copy(mask);
    if (!faults.is_none())
        each["fault"] = faults, each["_fault"] = fault_mask;
    if (e.mode == ENV_NEXT_STEP)
        return each;
    py::module_ np = py::module_::import("numpy");
    py::object finals = np.attr("full")(n, py::none(), "dtype"_a = "object");
    for (size_t i : ended) {
        Py_intptr_t d = ENV_OBS;
        PyObject *row = new_floats(1, &d);
        memcpy(floats_of(row), floats_of(final_obs) + i * ENV_OBS, ENV_OBS * sizeof(float));
        finals[py::int_(i)] = py::reinterpret_steal<py::object>(row);
    }
    info["final_obs"] = finals, info["_final_obs"] = copy(mask);
    info["final_info"] = each, info["_final_info"] = copy(mask);
    return info;
}

/* ----------------------------------------------------------------------
 * Every car's step (VectorEnv): (obs, reward, terminated, truncated,
 * info), by the environment's autoreset mode (env_step_all).
 * ---------------------------------------------------------------------- */
static py::tuple env_step_all_py(env &e, py::handle actions)
{
    fleet &f = *e.f;
    size_t n = f.n();
    std::vector<uint16_t> scratch;
    py::array keep;
    const uint16_t *k = action_masks(actions, n, &scratch, &keep);
    if (!e.started)
        throw std::runtime_error("step before reset(): call reset() first");
    Py_intptr_t dims[2] = {(Py_intptr_t)n, ENV_OBS};
    py::array obs = py::reinterpret_steal<py::array>(new_floats(2, dims));
    py::object final_obs;
    if (e.mode == ENV_SAME_STEP)
        final_obs = py::reinterpret_steal<py::object>(new_floats(2, dims));
    py::array_t<double> reward((ssize_t)n);
    py::array_t<bool> terminated((ssize_t)n), truncated((ssize_t)n);
    {
        fleet_taken taken(f);
        std::vector<env_tally> tallies(n);
        pacer pace(STEP_FIRST_PART);
        for (bool done = false; !done; pace.measured()) {
            {
                py::gil_scoped_release nogil;
                done = env_step_all(e.spec, f.parts(), e.episodes.data(), k, e.mode, pace.size, tallies.data(),
                                    floats_of(obs.ptr()), final_obs ? floats_of(final_obs.ptr()) : nullptr,
                                    e.results.data());
            }
            if (!done && PyErr_CheckSignals() != 0) {
                env_step_all_abandon(e.spec, f.parts(), e.episodes.data(), tallies.data(), e.results.data());
                f.laps_stale = true;
                throw py::error_already_set();
            }
        }
        f.laps_stale = true;   /* taken when read: a learning loop rarely does */
    }
    double *rw = reward.mutable_data();
    bool *te = terminated.mutable_data(), *tr = truncated.mutable_data();
    for (size_t i = 0; i < n; i++)
        rw[i] = e.results[i].r.reward, te[i] = e.results[i].r.terminated, tr[i] = e.results[i].r.truncated;
    py::dict info = step_info(e, final_obs ? final_obs.ptr() : nullptr);
    return py::make_tuple(obs, reward, terminated, truncated, info);
}

/* ----------------------------------------------------------------------
 * CarEnv.step as a plain method of the type, bound without pybind11's
 * dispatch (which looks the C++ type up by name on every call: a fifth
 * of a step): the type's own descriptor checks self's class, the
 * instance's layout gives its value.
 * ---------------------------------------------------------------------- */
static env &env_of(PyObject *self)
{
    auto *inst = reinterpret_cast<py::detail::instance *>(self);
    if (!inst->simple_layout || !inst->simple_holder_constructed)
        not_made(self);
    return *static_cast<env *>(inst->simple_value_holder[0]);
}

static PyObject *step_one_method(PyObject *self, PyObject *action)
{
    try {
        return env_step_one(env_of(self), action).release().ptr();
    } catch (py::error_already_set &e) {
        e.restore();
    } catch (const py::builtin_exception &e) {
        e.set_error();
    } catch (const std::exception &e) {
        PyErr_SetString(PyExc_RuntimeError, e.what());
    }
    return nullptr;
}

static PyMethodDef step_one_def = {"_step_one", step_one_method, METH_O,
                                   "One step of the one car (CarEnv.step)."};

void bind_env(py::module_ &m)
{
    py::class_<env> c(m, "_Env", "The compiled half of CarEnv and VectorEnv.");
    c.def(
        "__init__",
        [](py::detail::value_and_holder &v_h, py::object owner, py::handle ticks_per_step, py::handle max_ticks,
           bool same_step, py::handle max_steps) {
            not_again(v_h, "environment");
            py::detail::initimpl::construct<py::class_<env>>(
                v_h, env_made(owner, ticks_per_step, max_ticks, same_step, max_steps), false);
        },
        py::detail::is_new_style_constructor(), py::arg("fleet"), py::arg("ticks_per_step"), py::arg("max_ticks"),
        py::arg("same_step") = false, py::arg("max_steps") = py::none());
    c.def_property_readonly("_is_made", [](py::handle self) { return made(self, typeid(env)); });
    c.def("_reset", &env_reset_py, py::arg("single"), py::arg("mask"), py::arg("max_ticks"));
    PyObject *step = PyDescr_NewMethod((PyTypeObject *)c.ptr(), &step_one_def);
    if (!step)
        throw py::error_already_set();
    c.attr("_step_one") = py::reinterpret_steal<py::object>(step);
    c.def("_step_all", &env_step_all_py, py::arg("actions"));
    c.def_property_readonly("fleet", [](const env &e) { return e.owner; });
    c.def_property_readonly("ticks_per_step", [](const env &e) { return e.spec.ticks_per_step; });
    c.def_property_readonly("max_ticks", [](const env &e) { return e.spec.max_ticks; });
    c.def_property_readonly("max_episode_steps", [](const env &e) {
        return e.spec.max_steps ? py::object(py::int_(e.spec.max_steps)) : py::object(py::none());
    });
    c.def_property_readonly("_same_step", [](const env &e) { return e.mode == ENV_SAME_STEP; });
    c.def_property_readonly("_over", [](const env &e) {
        py::array_t<bool> over((ssize_t)e.episodes.size());
        for (size_t i = 0; i < e.episodes.size(); i++)
            over.mutable_at(i) = e.episodes[i].over;
        return over;
    });
    bind_pickle_env(c);
    m.attr("OBSERVATION") = [] {
        py::tuple t((size_t)ENV_OBS);
        for (int i = 0; i < ENV_OBS; i++)
            t[i] = ENV_OBS_NAMES[i];
        return t;
    }();
    m.attr("GATE_REWARD") = ENV_GATE_REWARD;
    m.attr("SECOND_COST") = ENV_SECOND_COST;
}
