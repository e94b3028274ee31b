/*
 * sim/carfile.cpp -- reading and checking a car file (see carfile.h).
 *
 * The only file that includes the TOML parser.  Debian ships it compiled
 * (libtomlplusplus.so), so this file sees its declarations only.
 *
 * A TOML float arrives as a double; rounding that to float again would
 * round twice and, rarely, land one float step off the decimal.  So a
 * float is read once more from its own text, straight to float.
 */
#include "carfile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <type_traits>

#include <toml++/toml.h>

/* A car file is a few hundred bytes; anything past this is not one. */
static const size_t CAR_FILE_MAX = 1 << 20;

/* ----------------------------------------------------------------------
 * The record's fields by name, from the one list in state.h.
 * ---------------------------------------------------------------------- */
enum field_kind { REAL, WHOLE, RATIOS };

struct field {
    const char *name;
    field_kind kind;
    size_t offset;   /* into struct car */
    int count;       /* numbers it takes: 1, or the gear table's nine */
};

#define CARFILE_FIELD(type, name) \
    {#name, std::is_same_v<type, int> ? WHOLE : REAL, offsetof(car, name), 1},
#define CARFILE_ARRAY(type, name, n) {#name, RATIOS, offsetof(car, name), n},
static const field fields[] = {CAR_FIELDS(CARFILE_FIELD, CARFILE_ARRAY)};
static_assert(std::is_same_v<std::remove_all_extents_t<decltype(car::GearReduction)>, float>,
              "the gear table is read as floats");
#undef CARFILE_FIELD
#undef CARFILE_ARRAY

/* Fields the simulation divides by: zero or below is refused. */
static const char *const DIVISORS[] = {"Mass", "WheelRadius", "WheelBase", "EnginePeakRev"};

/* The gear table holds reverse, neutral and seven forward gears. */
enum { GEARS_FORWARD_MAX = 7 };

/* ----------------------------------------------------------------------
 * One reading: the file's text and where the first fault goes.
 * ---------------------------------------------------------------------- */
struct reading {
    const char *path;
    std::string text;
    char *err;
    size_t errsize;
};

/* "PATH:LINE: what" (or "PATH: what" for line 0) into err; returns -1. */
static int fault(reading *r, unsigned line, const char *fmt, ...)
{
    char what[400];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(what, sizeof what, fmt, ap);
    va_end(ap);
    for (char *p = what; *p; p++)   /* one line, whatever the parser says */
        if (*p == '\n' || *p == '\r')
            *p = ' ';
    if (line)
        snprintf(r->err, r->errsize, "%s:%u: %s", r->path, line, what);
    else
        snprintf(r->err, r->errsize, "%s: %s", r->path, what);
    return -1;
}

/* The whole file into r->text; 0, or -1 with the reason. */
static int slurp(reading *r)
{
    FILE *f = fopen(r->path, "rb");
    if (!f)
        return fault(r, 0, "%s", strerror(errno));
    struct stat st;
    if (fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {
        fclose(f);
        return fault(r, 0, "%s", strerror(EISDIR));
    }
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0 && r->text.size() <= CAR_FILE_MAX)
        r->text.append(buf, n);
    int bad = ferror(f) ? errno : 0;
    fclose(f);
    if (bad)
        return fault(r, 0, "%s", strerror(bad));
    if (r->text.size() > CAR_FILE_MAX)
        return fault(r, 0, "larger than %zu bytes: not a car file", CAR_FILE_MAX);
    return 0;
}

/* What a node is, as a tuner would say it. */
static const char *kind_of(const toml::node &n)
{
    switch (n.type()) {
    case toml::node_type::string: return "text";
    case toml::node_type::boolean: return "a boolean";
    case toml::node_type::array: return "an array";
    case toml::node_type::table: return "a table";
    case toml::node_type::integer: return "an integer";
    case toml::node_type::floating_point: return "a fraction";
    default: return "a date or time";
    }
}

/* The literal text of the number node n, from the file: the node's line,
 * its column counted in characters (UTF-8 sequences count once). */
static std::string literal_of(const reading *r, const toml::node &n)
{
    const toml::source_position at = n.source().begin;
    size_t p = 0;
    for (unsigned line = 1; line < at.line && p < r->text.size(); line++) {
        p = r->text.find('\n', p);
        p = p == std::string::npos ? r->text.size() : p + 1;
    }
    for (unsigned col = 1; col < at.column && p < r->text.size(); col++)
        do
            p++;
        while (p < r->text.size() && ((unsigned char)r->text[p] & 0xC0) == 0x80);
    std::string lit;
    for (; p < r->text.size() && strchr("0123456789+-._eE", r->text[p]) && r->text[p]; p++)
        if (r->text[p] != '_' && !(lit.empty() && r->text[p] == '+'))
            lit += r->text[p];
    return lit;
}

/* ----------------------------------------------------------------------
 * to_float: the number node n as the float it stands for, rounded once.
 * 0, or -1 with the fault (named `name`) at n's line.
 * ---------------------------------------------------------------------- */
static int to_float(reading *r, const toml::node &n, const char *name, float *out)
{
    unsigned line = n.source().begin.line;
    if (auto i = n.as_integer()) {
        *out = (float)i->get();   /* every int64 is within float range */
        return 0;
    }
    const toml::value<double> *d = n.as_floating_point();
    if (!d)
        return fault(r, line, "%s takes a number, not %s", name, kind_of(n));
    double v = d->get();
    if (!std::isfinite(v))
        return fault(r, line, "%s is %s: every number must be finite", name,
                     std::isnan(v) ? "nan" : "infinite");

    std::string lit = literal_of(r, n);
    const char *b = lit.data(), *e = b + lit.size();
    double check;
    float f;
    auto [de, dec] = std::from_chars(b, e, check);
    if (dec == std::errc() && de == e && check == v) {
        auto [fe, fec] = std::from_chars(b, e, f);
        if (fec == std::errc::result_out_of_range || std::isinf(f) || (f == 0 && v != 0))
            return fault(r, line, "%s = %s is out of float range", name, lit.c_str());
    } else {   /* the text did not read back: round the parser's double */
        f = (float)v;
        if (std::isinf(f) || (f == 0 && v != 0))
            return fault(r, line, "%s = %g is out of float range", name, v);
    }
    *out = f;
    return 0;
}

/* ----------------------------------------------------------------------
 * The checks every value of a field passes, however it arrives (a file,
 * a sweep's grid, a keyword in Python): true, or false with the reason
 * in why ("Mass must be above 0 ..."), which callers place after a file
 * and line or a name.
 * ---------------------------------------------------------------------- */
static bool whole_ok(const field &fd, int64_t v, char *why, size_t n)
{
    if (v < INT_MIN || v > INT_MAX) {
        snprintf(why, n, "%s = %lld is out of int range", fd.name, (long long)v);
        return false;
    }
    if (strcmp(fd.name, "GearMax") == 0 && (v < 1 || v > GEARS_FORWARD_MAX)) {
        snprintf(why, n, "GearMax must be 1 to %d (the ratio table has room for seven forward "
                 "gears), not %lld", GEARS_FORWARD_MAX, (long long)v);
        return false;
    }
    return true;
}

/* name is the field's own, or an entry of the gear table ("GearReduction[3]"). */
static bool real_ok(const field &fd, const char *name, float f, char *why, size_t n)
{
    for (const char *d : DIVISORS)
        if (strcmp(fd.name, d) == 0 && !(f > 0)) {
            snprintf(why, n, "%s must be above 0 (the simulation divides by it), not %g", name,
                     (double)f);
            return false;
        }
    return true;
}

/* One field from its node into c; 0 or -1. */
static int take_field(reading *r, const field &fd, const toml::node &n, car *c)
{
    unsigned line = n.source().begin.line;
    char *slot = (char *)c + fd.offset;
    char why[300];

    if (fd.kind == WHOLE) {
        auto i = n.as_integer();
        if (!i)
            return fault(r, line, "%s takes an integer, not %s", fd.name, kind_of(n));
        int64_t v = i->get();
        if (!whole_ok(fd, v, why, sizeof why))
            return fault(r, line, "%s", why);
        int iv = (int)v;
        memcpy(slot, &iv, sizeof iv);
        return 0;
    }

    if (fd.kind == RATIOS) {
        const toml::array *a = n.as_array();
        if (!a)
            return fault(r, line, "%s takes an array of %d numbers, not %s", fd.name, fd.count,
                         kind_of(n));
        if ((int)a->size() != fd.count)
            return fault(r, line, "%s has %zu numbers; it takes exactly %d (reverse, neutral, "
                         "gears 1 to 7)", fd.name, a->size(), fd.count);
        float v[16];
        for (int k = 0; k < fd.count; k++) {
            char name[64];
            snprintf(name, sizeof name, "%s[%d]", fd.name, k);
            if (to_float(r, *a->get(k), name, &v[k]) != 0)
                return -1;
            if (!real_ok(fd, name, v[k], why, sizeof why))
                return fault(r, a->get(k)->source().begin.line, "%s", why);
        }
        memcpy(slot, v, sizeof(float) * fd.count);
        return 0;
    }

    float f;
    if (to_float(r, n, fd.name, &f) != 0)
        return -1;
    if (!real_ok(fd, fd.name, f, why, sizeof why))
        return fault(r, line, "%s", why);
    memcpy(slot, &f, sizeof f);
    return 0;
}

/* Edits (insert, delete, change) from a to b, letters compared without case. */
static int distance(const char *a, const char *b)
{
    size_t m = strlen(b);
    int row[64];
    if (m >= 64)
        return 99;
    for (size_t j = 0; j <= m; j++)
        row[j] = (int)j;
    for (size_t i = 1; a[i - 1]; i++) {
        int diag = row[0];
        row[0] = (int)i;
        for (size_t j = 1; j <= m; j++) {
            int up = row[j];
            int same = tolower((unsigned char)a[i - 1]) == tolower((unsigned char)b[j - 1]);
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + !same});
            diag = up;
        }
    }
    return row[m];
}

/* The field a misspelt key most likely means, or null. */
static const char *nearest_field(std::string_view key)
{
    std::string k(key.substr(0, 63));
    const char *best = nullptr;
    int best_d = 3;   /* more than two edits away is no suggestion */
    for (const field &fd : fields) {
        int d = distance(k.c_str(), fd.name);
        if (d < best_d) {
            best_d = d;
            best = fd.name;
        }
    }
    return best;
}

int read_car_file(const char *path, car *out, char *err, size_t errsize)
{
    reading r = {path, {}, err, errsize};
    if (slurp(&r) != 0)
        return -1;

    toml::table tbl;
    try {
        tbl = toml::parse(std::string_view(r.text), std::string_view(path));
    } catch (const toml::parse_error &e) {
        const toml::source_position at = e.source().begin;
        return fault(&r, at.line, "%.*s (column %u)", (int)e.description().size(),
                     e.description().data(), at.column);
    }

    car c = KVT;
    for (const auto &[key, node] : tbl) {
        const field *fd = nullptr;
        for (const field &f : fields)
            if (key.str() == f.name)
                fd = &f;
        unsigned line = key.source().begin.line;
        std::string k(key.str());
        if (!fd && node.is_table())
            return fault(&r, line, "table \"%s\": a car file is one flat table of fields",
                         k.c_str());
        if (!fd) {
            const char *near = nearest_field(k);
            if (near)
                return fault(&r, line, "unknown field \"%s\" (did you mean \"%s\"?)", k.c_str(),
                             near);
            return fault(&r, line, "unknown field \"%s\"", k.c_str());
        }
        if (take_field(&r, *fd, node, &c) != 0)
            return -1;
    }
    *out = c;
    return 0;
}

/* ----------------------------------------------------------------------
 * One field by name (see carfile.h): its entry in the list and, for the
 * gear table, the index; 0, or -1 with the reason in err.
 * ---------------------------------------------------------------------- */
static int find_field(const char *name, const field **out, int *index, char *err, size_t errsize)
{
    std::string_view n(name);
    *index = -1;
    size_t open = n.find('[');
    if (open != std::string_view::npos) {   /* "GearReduction[3]" */
        std::string_view digits = n.substr(open + 1);
        int k = 0;
        auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), k);
        if (ec != std::errc() || end != digits.data() + digits.size() - 1 || *end != ']' || k < 0) {
            snprintf(err, errsize, "\"%s\" is not a field", name);
            return -1;
        }
        *index = k;
        n = n.substr(0, open);
    }
    const field *fd = nullptr;
    for (const field &f : fields)
        if (n == f.name)
            fd = &f;
    if (!fd) {
        const char *near = nearest_field(n);
        if (near)
            snprintf(err, errsize, "unknown field \"%s\" (did you mean \"%s\"?)", name, near);
        else
            snprintf(err, errsize, "unknown field \"%s\"", name);
        return -1;
    }
    if ((fd->kind == RATIOS) != (*index >= 0) || *index >= fd->count) {
        if (fd->kind == RATIOS)
            snprintf(err, errsize, "%s takes one of its %d entries by index, as %s[0] to %s[%d]",
                     fd->name, fd->count, fd->name, fd->name, fd->count - 1);
        else
            snprintf(err, errsize, "%s has no entries to index", fd->name);
        return -1;
    }
    *out = fd;
    return 0;
}

int car_field_find(const char *name, size_t *offset, bool *whole, char *err, size_t errsize)
{
    const field *fd;
    int index;
    if (find_field(name, &fd, &index, err, errsize) != 0)
        return -1;
    *offset = fd->offset + sizeof(float) * (index < 0 ? 0 : index);
    *whole = fd->kind == WHOLE;
    return 0;
}

int car_field_set(car *c, const char *name, const char *text, char *err, size_t errsize)
{
    const field *fd;
    int index;
    if (find_field(name, &fd, &index, err, errsize) != 0)
        return -1;

    const char *b = text, *e = text + strlen(text);
    char *slot = (char *)c + fd->offset;
    if (fd->kind == WHOLE) {
        int64_t v = 0;
        auto [end, ec] = std::from_chars(b + (*b == '+'), e, v);
        if (ec == std::errc::result_out_of_range) {
            snprintf(err, errsize, "%s = %s is out of int range", name, text);
            return -1;
        }
        if (ec != std::errc() || end != e || b == e) {
            snprintf(err, errsize, "%s takes an integer, not \"%s\"", name, text);
            return -1;
        }
        if (!whole_ok(*fd, v, err, errsize))
            return -1;
        int iv = (int)v;
        memcpy(slot, &iv, sizeof iv);
        return 0;
    }

    float f = 0;
    double check = 0;
    const char *start = b + (*b == '+');
    auto [end, ec] = std::from_chars(start, e, f);
    auto [dend, dec] = std::from_chars(start, e, check);
    if ((ec != std::errc() && ec != std::errc::result_out_of_range) || end != e || b == e
        || dec != std::errc() || std::isnan(check) || std::isinf(check)) {
        snprintf(err, errsize, "%s takes a finite number, not \"%s\"", name, text);
        return -1;
    }
    if (ec == std::errc::result_out_of_range || std::isinf(f) || (f == 0 && check != 0)) {
        snprintf(err, errsize, "%s = %s is out of float range", name, text);
        return -1;
    }
    if (!real_ok(*fd, name, f, err, errsize))
        return -1;
    memcpy(slot + sizeof(float) * (index < 0 ? 0 : index), &f, sizeof f);
    return 0;
}
