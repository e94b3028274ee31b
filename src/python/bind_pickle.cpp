/*
 * python/bind_pickle.cpp -- Fleet and _Env as pickles: every car's state,
 * what driving keeps of it and its laps on the course, as bytes; read
 * back only after each is checked as a car file and a course are, so
 * that no pickle, however made, gives a car a tick cannot have (a gear
 * past the car's table, a cone that is not the course's).
 *
 * The layout is this build's: a pickle is for copying objects between
 * processes of one Caravelt (dask workers, deep copies), not for keeping.
 */
#include "bind.h"

#include <cstring>

#include "sim/carfile.h"

/* The pickle's own words, so that another pickle is told from it. */
static const char FLEET_MARK[] = "caravelt.Fleet 1";
static const char ENV_MARK[] = "caravelt._Env 1";

/* Bytes written and read in order. */
struct packing {
    std::string out;
    const char *at = nullptr, *end = nullptr;
    template <class T> void put(const T &v) { out.append((const char *)&v, sizeof v); }
    template <class T> bool get(T *v)
    {
        if ((size_t)(end - at) < sizeof *v)
            return false;
        memcpy((void *)v, at, sizeof *v);
        at += sizeof *v;
        return true;
    }
};

/* The state variables' names, for a fault kept by its index. */
static const char *const STATE_NAMES[] = {
#define STATE_NAME(type, name, start) #name,
    SIM_STATE(STATE_NAME)
#undef STATE_NAME
};

static int fault_index(const char *name)
{
    for (size_t k = 0; name && k < std::size(STATE_NAMES); k++)
        if (!strcmp(name, STATE_NAMES[k]))
            return (int)k;
    return -1;
}

static void put_car(packing *p, const car_state &c, const run_car &r)
{
    p->put(c);
    p->put((int32_t)r.rule), p->put(r.tick), p->put(r.noted), p->put((int32_t)fault_index(r.fault));
    p->put(r.fault_value), p->put(r.fault_tick);
}

static void put_progress(packing *p, const course_progress &g)
{
    p->put(g.tick), p->put((uint8_t)g.in_lap), p->put((int32_t)g.next_gate), p->put((int32_t)g.laps_done);
    p->put(g.now), p->put(g.last), p->put(g.best), p->put((uint8_t)g.has_best);
    p->out.append((const char *)g.knocked.data(), g.knocked.size());
    p->put(g.angle_bits), p->put(g.angle_sin), p->put(g.angle_cos);
}

[[noreturn]] static void refused(const std::string &why)
{
    throw py::value_error("not a pickle of this Caravelt's: " + why);
}

static void get_car(packing *p, car_state *c, run_car *r)
{
    int32_t rule_was, fault;
    if (!p->get(c) || !p->get(&rule_was) || !p->get(&r->tick) || !p->get(&r->noted) || !p->get(&fault)
        || !p->get(&r->fault_value) || !p->get(&r->fault_tick))
        refused("too short");
    char err[400];
    if (car_state_check(c, err, sizeof err) != 0)
        refused(std::string("a car's ") + err);
    for (travel_memo::entry &m : c->TravelMemo.at)
        m.zero = 0;   /* a pickle made before it was named held padding there */
    if ((rule_was != RUN_FLAG && rule_was != RUN_END) || fault < -1 || fault >= (int32_t)std::size(STATE_NAMES)
        || r->noted < r->tick)
        refused("a car's run is not one a fleet keeps");
    r->rule = (run_fault_rule)rule_was;
    r->fault = fault < 0 ? nullptr : STATE_NAMES[fault];
}

static void get_progress(packing *p, course_progress *g, const course *c)
{
    uint8_t in_lap, has_best;
    int32_t next_gate, laps_done;
    course_progress_start(g, c, COURSE_KEEP_NONE);
    if (!p->get(&g->tick) || !p->get(&in_lap) || !p->get(&next_gate) || !p->get(&laps_done) || !p->get(&g->now)
        || !p->get(&g->last) || !p->get(&g->best) || !p->get(&has_best)
        || (size_t)(p->end - p->at) < g->knocked.size())
        refused("too short");
    memcpy(g->knocked.data(), p->at, g->knocked.size());
    p->at += g->knocked.size();
    if (!p->get(&g->angle_bits) || !p->get(&g->angle_sin) || !p->get(&g->angle_cos))
        refused("too short");
    if ((in_lap | 1) != 1 || (has_best | 1) != 1)
        refused("a car's laps are not a course's");
    g->in_lap = in_lap, g->has_best = has_best, g->next_gate = next_gate, g->laps_done = laps_done;
    char err[400];
    if (course_progress_check(g, c, err, sizeof err) != 0)
        refused(err);
}

/* ----------------------------------------------------------------------
 * Fleet: (mark, the course or None, threads, bytes).
 * ---------------------------------------------------------------------- */
static py::tuple fleet_getstate(fleet &f)
{
    fleet_taken taken(f);
    packing p;
    p.put((uint64_t)f.n());
    for (size_t i = 0; i < f.n(); i++) {
        put_car(&p, f.car_at(i), f.runs[i]);
        if (f.track)
            put_progress(&p, f.timings[i].p);
    }
    py::object track = f.track ? py::cast(std::const_pointer_cast<course>(f.track)) : py::object(py::none());
    return py::make_tuple(FLEET_MARK, track, f.threads, py::bytes(p.out));
}

/* The fleet a pickle holds, its cars checked; made as Fleet() makes one. */
static std::unique_ptr<fleet> fleet_from_state(py::tuple state)
{
    if (state.size() != 4 || !py::isinstance<py::str>(state[0]) || state[0].cast<std::string>() != FLEET_MARK)
        refused("not a fleet's");
    std::shared_ptr<course> track;
    if (!state[1].is_none())
        track = state[1].cast<std::shared_ptr<course>>();
    int threads = (int)arg_whole(state[2], "threads");
    std::string bytes = state[3].cast<std::string>();
    packing p;
    p.at = bytes.data(), p.end = bytes.data() + bytes.size();
    uint64_t n;
    if (!p.get(&n) || n == 0 || n > bytes.size())
        refused("no cars");
    std::vector<car_state> cars(n);
    std::vector<run_car> runs(n);
    std::vector<course_progress> progress(track ? n : 0);
    for (size_t i = 0; i < n; i++) {
        get_car(&p, &cars[i], &runs[i]);
        if (track)
            get_progress(&p, &progress[i], track.get());
    }
    if (p.at != p.end)
        refused("bytes left over");
    std::vector<car> params(n);
    for (size_t i = 0; i < n; i++)
        params[i] = cars[i].params;
    std::unique_ptr<fleet> f = fleet_made(params, track, threads < 1 ? 1 : threads);
    for (size_t i = 0; i < n; i++) {
        (*f->cars)[i] = car_motion_of(&cars[i]);
        run_car &r = f->runs[i];
        r.rule = runs[i].rule, r.tick = runs[i].tick, r.noted = runs[i].noted, r.fault = runs[i].fault;
        r.fault_value = runs[i].fault_value, r.fault_tick = runs[i].fault_tick;
        if (track)
            f->timings[i].p = std::move(progress[i]);
    }
    laps_taken(*f);
    return f;
}

/* ----------------------------------------------------------------------
 * _Env: (mark, bytes) of its spec, mode, episodes and whether reset.
 * ---------------------------------------------------------------------- */
static py::tuple env_getstate(env &e)
{
    packing p;
    p.put(e.spec), p.put((int32_t)e.mode), p.put((uint8_t)e.started), p.put((uint64_t)e.episodes.size());
    for (const env_episode &ep : e.episodes)
        p.put(ep.ticks), p.put(ep.steps), p.put((uint8_t)ep.over);
    return py::make_tuple(ENV_MARK, py::bytes(p.out));
}

/* e, made over its fleet, takes the episodes of a pickle's state. */
static void env_setstate(env &e, py::tuple state)
{
    if (state.size() != 2 || !py::isinstance<py::str>(state[0]) || state[0].cast<std::string>() != ENV_MARK)
        refused("not an environment's");
    std::string bytes = state[1].cast<std::string>();
    packing p;
    p.at = bytes.data(), p.end = bytes.data() + bytes.size();
    env_spec spec;
    int32_t mode;
    uint8_t started;
    uint64_t n;
    if (!p.get(&spec) || !p.get(&mode) || !p.get(&started) || !p.get(&n) || n != e.episodes.size())
        refused("not this fleet's environments");
    if (spec.ticks_per_step < 1 || spec.max_ticks < 1 || (mode != ENV_NEXT_STEP && mode != ENV_SAME_STEP))
        refused("an environment's spec is not one");
    std::vector<env_episode> episodes(n);
    for (env_episode &ep : episodes) {
        uint8_t over;
        if (!p.get(&ep.ticks) || !p.get(&ep.steps) || !p.get(&over) || (over | 1) != 1 || ep.ticks > spec.max_ticks)
            refused("an episode is not one");
        ep.over = over;
    }
    if (p.at != p.end || (started | 1) != 1)
        refused("bytes left over");
    fleet &f = *e.f;
    fleet_taken taken(f);
    e.spec = spec, e.mode = (env_autoreset)mode, e.started = started;
    e.episodes = std::move(episodes);
    for (size_t i = 0; i < f.n(); i++)
        f.runs[i].rule = RUN_END;
}

void bind_pickle_fleet(py::class_<fleet> &c)
{
    c.def("__getstate__", &fleet_getstate);
    c.def(
        "__setstate__",
        [](py::detail::value_and_holder &v_h, py::tuple state) {
            if (v_h.holder_constructed())
                throw py::type_error("a Fleet's cars are set when it is made: make another");
            py::detail::initimpl::construct<py::class_<fleet>>(v_h, fleet_from_state(state), false);
        },
        py::detail::is_new_style_constructor(), py::arg("state"));
}

void bind_pickle_env(py::class_<env> &c)
{
    c.def("_getstate", &env_getstate);
    c.def("_setstate", &env_setstate, py::arg("state"));
}
