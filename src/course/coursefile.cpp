/*
 * course/coursefile.cpp -- reading and checking a course file (see
 * course.h); a course's hash.
 *
 * Lengths are given in metres and kept in pixels: each number is read
 * from its decimal text with the exponent moved by one, so it is rounded
 * once, to the stored float, as the car file's numbers are.
 */
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "course.h"
#include "sim/tomlfile.h"

/* A course file of the most gates and cones is some 100 KB. */
static const size_t COURSE_FILE_MAX = 1 << 20;

static const char *const TOP_KEYS[] = {"name", "start", "laps", "penalty", "timing", "gate", "cone"};
static const char *const START_KEYS[] = {"x", "y", "heading"};
static const char *const GATE_KEYS[] = {"a", "b"};
static const char *const CONE_KEYS[] = {"at"};

/* ----------------------------------------------------------------------
 * known_keys: every key of t is one of names[0..n); else the fault names
 * the first that is not, `where` it stands (" in start", ""), with the
 * name it most likely means.
 * ---------------------------------------------------------------------- */
static int known_keys(toml_reading *r, const toml::table &t, const char *where,
                      const char *const *names, size_t n)
{
    for (const auto &[key, node] : t) {
        bool known = false;
        for (size_t i = 0; i < n; i++)
            known |= key.str() == names[i];
        if (known)
            continue;
        std::string k(key.str());
        unsigned line = key.source().begin.line;
        if (const char *near = toml_nearest(k, names, n))
            return toml_fault(r, line, "unknown key \"%s\"%s (did you mean \"%s\"?)", k.c_str(), where,
                              near);
        return toml_fault(r, line, "unknown key \"%s\"%s", k.c_str(), where);
    }
    return 0;
}

/* A length in metres (`name` in faults) as px, rounded once. */
static int take_length(toml_reading *r, const toml::node &n, const char *name, float *px)
{
    return toml_float(r, n, name, 1, px);
}

/* Whether a point in px is on the screen, its far edges included. */
static bool on_the_screen(course_point p)
{
    return p.x >= 0 && p.x <= COURSE_SCREEN_W && p.y >= 0 && p.y <= COURSE_SCREEN_H;
}

static int off_the_screen(toml_reading *r, unsigned line, const char *what, course_point p)
{
    return toml_fault(r, line, "%s (%g, %g) is off the screen: x runs 0 to %g m, y 0 to %g m", what,
                      p.x / 10.0, p.y / 10.0, (double)COURSE_SCREEN_W / COURSE_PX_PER_M,
                      (double)COURSE_SCREEN_H / COURSE_PX_PER_M);
}

/* ----------------------------------------------------------------------
 * take_point: [x, y] in metres, on the screen, as px; `what` names it in
 * faults ("gate 2's a").
 * ---------------------------------------------------------------------- */
static int take_point(toml_reading *r, const toml::node &n, const char *what, course_point *out)
{
    unsigned line = n.source().begin.line;
    const toml::array *a = n.as_array();
    if (!a)
        return toml_fault(r, line, "%s takes [x, y] in metres, not %s", what, toml_kind(n));
    if (a->size() != 2)
        return toml_fault(r, line, "%s takes [x, y] in metres: two numbers, not %zu", what, a->size());
    course_point p;
    std::string x = std::string("the x of ") + what, y = std::string("the y of ") + what;
    if (take_length(r, *a->get(0), x.c_str(), &p.x) != 0 || take_length(r, *a->get(1), y.c_str(), &p.y) != 0)
        return -1;
    if (!on_the_screen(p))
        return off_the_screen(r, line, what, p);
    *out = p;
    return 0;
}

/* ----------------------------------------------------------------------
 * The table items of [[gate]] or [[cone]]: each a table of known keys.
 * ---------------------------------------------------------------------- */
static const toml::array *tables_of(toml_reading *r, const toml::node &n, const char *key, size_t max,
                                    const char *const *names, size_t count)
{
    unsigned line = n.source().begin.line;
    const toml::array *a = n.as_array();
    if (!a || (!a->empty() && !a->is_array_of_tables())) {
        toml_fault(r, line, "%s takes [[%s]] tables, not %s", key, key,
                   a ? "an array of other things" : toml_kind(n));
        return nullptr;
    }
    if (a->size() > max) {
        toml_fault(r, a->get(max)->source().begin.line, "more than %zu %ss: a course holds at most %zu",
                   max, key, max);
        return nullptr;
    }
    for (size_t i = 0; i < a->size(); i++) {
        char where[64];
        snprintf(where, sizeof where, " in %s %zu", key, i + 1);
        if (known_keys(r, *a->get(i)->as_table(), where, names, count) != 0)
            return nullptr;
    }
    return a;
}

/* The value of key in t, or a fault "WHAT has no KEY" at t's line. */
static const toml::node *needed(toml_reading *r, const toml::table &t, const char *key, const char *what)
{
    const toml::node *n = t.get(key);
    if (!n)
        toml_fault(r, t.source().begin.line, "%s has no %s", what, key);
    return n;
}

static int no_gate(toml_reading *r)
{
    return toml_fault(r, 0, "no gate: a course needs a [[gate]], the first its start and finish");
}

static int take_gates(toml_reading *r, const toml::node &n, course *c)
{
    const toml::array *a = tables_of(r, n, "gate", COURSE_GATES_MAX, GATE_KEYS, std::size(GATE_KEYS));
    if (!a)
        return -1;
    if (a->empty())
        return no_gate(r);
    for (size_t i = 0; i < a->size(); i++) {
        const toml::table &t = *a->get(i)->as_table();
        char what[32], end_a[40], end_b[40];
        snprintf(what, sizeof what, "gate %zu", i + 1);
        snprintf(end_a, sizeof end_a, "gate %zu's a", i + 1);
        snprintf(end_b, sizeof end_b, "gate %zu's b", i + 1);
        const toml::node *na = needed(r, t, "a", what), *nb = na ? needed(r, t, "b", what) : nullptr;
        course_gate g;
        if (!nb || take_point(r, *na, end_a, &g.a) != 0 || take_point(r, *nb, end_b, &g.b) != 0)
            return -1;
        if (g.a.x == g.b.x && g.a.y == g.b.y)
            return toml_fault(r, t.source().begin.line, "%s has zero length: a and b are one point", what);
        c->gates.push_back(g);
    }
    return 0;
}

static int take_cones(toml_reading *r, const toml::node &n, course *c)
{
    const toml::array *a = tables_of(r, n, "cone", COURSE_CONES_MAX, CONE_KEYS, std::size(CONE_KEYS));
    if (!a)
        return -1;
    for (size_t i = 0; i < a->size(); i++) {
        const toml::table &t = *a->get(i)->as_table();
        char what[32];
        snprintf(what, sizeof what, "cone %zu", i + 1);
        const toml::node *at = needed(r, t, "at", what);
        course_point p;
        if (!at || take_point(r, *at, what, &p) != 0)
            return -1;
        c->cones.push_back(p);
    }
    return 0;
}

/* start = { x, y, heading }: all three, on the screen, heading 0 to 360. */
static int take_start(toml_reading *r, const toml::node &n, course *c)
{
    unsigned line = n.source().begin.line;
    const toml::table *t = n.as_table();
    if (!t)
        return toml_fault(r, line, "start takes a table { x = ..., y = ..., heading = ... }, not %s",
                          toml_kind(n));
    if (known_keys(r, *t, " in start", START_KEYS, std::size(START_KEYS)) != 0)
        return -1;
    const toml::node *nx = needed(r, *t, "x", "start"), *ny = nx ? needed(r, *t, "y", "start") : nullptr;
    const toml::node *nh = ny ? needed(r, *t, "heading", "start") : nullptr;
    course_point p;
    float heading;
    if (!nh || take_length(r, *nx, "start's x", &p.x) != 0 || take_length(r, *ny, "start's y", &p.y) != 0
        || toml_float(r, *nh, "start's heading", 0, &heading) != 0)
        return -1;
    if (!on_the_screen(p))
        return off_the_screen(r, line, "start", p);
    if (!(heading >= 0 && heading <= 360))
        return toml_fault(r, nh->source().begin.line,
                          "start's heading must be 0 to 360 degrees, clockwise from up, not %g",
                          (double)heading);
    c->start = p;
    c->heading = heading;
    return 0;
}

/* name: one line of at most COURSE_NAME_MAX bytes, no control characters
 * (it goes into a recording's header line). */
static int take_name(toml_reading *r, const toml::node &n, course *c)
{
    unsigned line = n.source().begin.line;
    const std::string *s = n.as_string() ? &n.as_string()->get() : nullptr;
    if (!s)
        return toml_fault(r, line, "name takes text, not %s", toml_kind(n));
    if (s->empty())
        return toml_fault(r, line, "name is empty");
    if (s->size() > COURSE_NAME_MAX)
        return toml_fault(r, line, "name is %zu bytes long; at most %d", s->size(), COURSE_NAME_MAX);
    for (unsigned char ch : *s)
        if (ch < 0x20 || ch == 0x7f)
            return toml_fault(r, line, "name holds a control character (0x%02x)", ch);
    c->name = *s;
    return 0;
}

static int take_laps(toml_reading *r, const toml::node &n, course *c)
{
    unsigned line = n.source().begin.line;
    auto i = n.as_integer();
    if (!i)
        return toml_fault(r, line, "laps takes a whole number (0: no limit), not %s", toml_kind(n));
    if (i->get() < 0 || i->get() > INT_MAX)
        return toml_fault(r, line, "laps must be 0 (no limit) to %d, not %" PRId64, INT_MAX, i->get());
    c->laps = (int)i->get();
    return 0;
}

static int take_penalty(toml_reading *r, const toml::node &n, course *c)
{
    float s;
    if (toml_float(r, n, "penalty", 0, &s) != 0)
        return -1;
    if (s < 0)
        return toml_fault(r, n.source().begin.line, "penalty must be 0 or more seconds, not %g", (double)s);
    c->penalty = s;
    return 0;
}

/* timing = [x, y]: the timing box's top-left corner, the whole box on the screen. */
static int take_timing(toml_reading *r, const toml::node &n, course *c)
{
    course_point p;
    if (take_point(r, n, "timing", &p) != 0)
        return -1;
    if (p.x + COURSE_TIMING_W > COURSE_SCREEN_W || p.y + COURSE_TIMING_H > COURSE_SCREEN_H)
        return toml_fault(r, n.source().begin.line,
                          "the timing box at (%g, %g) reaches off the screen: it is %g m by %g m, so x runs "
                          "0 to %g m, y 0 to %g m", p.x / 10.0, p.y / 10.0, COURSE_TIMING_W / 10.0,
                          COURSE_TIMING_H / 10.0, (double)(COURSE_SCREEN_W - COURSE_TIMING_W) / COURSE_PX_PER_M,
                          (double)(COURSE_SCREEN_H - COURSE_TIMING_H) / COURSE_PX_PER_M);
    c->timing = p;
    return 0;
}

/* The file's last part, less its extension: the name of a course without one. */
static std::string name_from_path(const char *path)
{
    std::string s(path);
    size_t slash = s.rfind('/');
    if (slash != std::string::npos)
        s.erase(0, slash + 1);
    size_t dot = s.rfind('.');
    if (dot != std::string::npos && dot > 0)
        s.erase(dot);
    std::string clean;
    for (unsigned char ch : s.substr(0, COURSE_NAME_MAX))
        clean += ch < 0x20 || ch == 0x7f ? '?' : (char)ch;
    return clean;
}

/* The course in r's text, parsed. */
static int course_of_text(toml_reading *r, const char *path, course *out)
{
    toml::table tbl;
    try {
        tbl = toml::parse(std::string_view(r->text), std::string_view(r->path));
    } catch (const toml::parse_error &e) {
        return toml_syntax_fault(r, e);
    }
    if (known_keys(r, tbl, "", TOP_KEYS, std::size(TOP_KEYS)) != 0)
        return -1;

    course c;
    c.name = name_from_path(path);
    c.laps = 0;
    c.penalty = 0;
    const toml::node *n;
    if ((n = tbl.get("name")) && take_name(r, *n, &c) != 0)
        return -1;
    if (!(n = tbl.get("start")))
        return toml_fault(r, 0, "no start: start = { x = ..., y = ..., heading = ... } puts the car");
    if (take_start(r, *n, &c) != 0)
        return -1;
    if ((n = tbl.get("laps")) && take_laps(r, *n, &c) != 0)
        return -1;
    if ((n = tbl.get("penalty")) && take_penalty(r, *n, &c) != 0)
        return -1;
    if ((n = tbl.get("timing")) && take_timing(r, *n, &c) != 0)
        return -1;
    if (!(n = tbl.get("gate")))
        return no_gate(r);
    if (take_gates(r, *n, &c) != 0)
        return -1;
    if ((n = tbl.get("cone")) && take_cones(r, *n, &c) != 0)
        return -1;
    course_index(&c);   /* within its limits: checked above */
    c.text = r->text;
    *out = std::move(c);
    return 0;
}

int read_course_file(const char *path, course *out, char *err, size_t errsize)
{
    toml_reading r = {path, {}, err, errsize};
    if (toml_slurp(&r, COURSE_FILE_MAX, "a course file") != 0)
        return -1;
    return course_of_text(&r, path, out);
}

int read_course_text(const char *path, const std::string &text, course *out, char *err, size_t errsize)
{
    toml_reading r = {path, text, err, errsize};
    if (text.size() > COURSE_FILE_MAX) {
        snprintf(err, errsize, "%s: larger than %zu bytes: not a course file", path, COURSE_FILE_MAX);
        return -1;
    }
    return course_of_text(&r, path, out);
}

/* ----------------------------------------------------------------------
 * course_hash: FNV-1a over the name's bytes and its end, then the bits of
 * every value in the order the course holds them.
 * ---------------------------------------------------------------------- */
uint64_t course_hash(const course *c)
{
    uint64_t h = 1469598103934665603ull;
    auto mix = [&h](const void *p, size_t n) {
        for (size_t i = 0; i < n; i++)
            h = (h ^ ((const unsigned char *)p)[i]) * 1099511628211ull;
    };
    mix(c->name.c_str(), c->name.size() + 1);
    mix(&c->start, sizeof c->start);
    mix(&c->heading, sizeof c->heading);
    mix(&c->laps, sizeof c->laps);
    mix(&c->penalty, sizeof c->penalty);
    uint32_t gates = (uint32_t)c->gates.size(), cones = (uint32_t)c->cones.size();
    mix(&gates, sizeof gates);
    mix(c->gates.data(), gates * sizeof(course_gate));
    mix(&cones, sizeof cones);
    mix(c->cones.data(), cones * sizeof(course_point));
    return h;
}
