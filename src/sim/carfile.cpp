/*
 * sim/carfile.cpp -- reading and checking a car file (see carfile.h).
 *
 * The TOML parser comes in through tomlfile.h.  Debian ships it compiled
 * (libtomlplusplus.so), so this file sees its declarations only.
 */
#include "carfile.h"

#include <array>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <type_traits>

#include "sim/sim.h"
#include "tomlfile.h"

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
static constexpr field fields[] = {CAR_FIELDS(CARFILE_FIELD, CARFILE_ARRAY)};
static_assert(std::is_same_v<std::remove_all_extents_t<decltype(car::GearReduction)>, float>,
              "the gear table is read as floats");
#undef CARFILE_FIELD
#undef CARFILE_ARRAY

/* The gear table holds reverse, neutral and seven forward gears. */
enum { GEARS_FORWARD_MAX = 7 };

/* ----------------------------------------------------------------------
 * The range of every field, in the record's order: values a car can have,
 * generous enough for a kart, any road or race car, or a truck.  The
 * fields the simulation divides by stay clear of 0; the ones it never
 * reads still take only sane, finite values.  The table of car fields in
 * docs/cars.md is this one (a test holds the two together).
 * ---------------------------------------------------------------------- */
static constexpr car_field_range RANGES[] = {
    {"EngineA", -1, 1, "N m per (rev/min)^2", nullptr},
    {"EngineB", -1000, 1000, "N m per rev/min", nullptr},
    {"EngineC", -100000, 100000, "N m", nullptr},
    {"BrakeForce", 0, 1000000, "N", nullptr},
    {"BrakeBiasFront", 0, 1, "share", nullptr},
    {"DragCoeficient", 0, 200000, "", nullptr},   /* drag is this x v^2 / 20000 N */
    {"G", 0, 10, "", nullptr},
    {"DriveTrain", 0, 3, "", nullptr},
    {"Mass", 10, 100000, "kg", nullptr},
    {"WheelRadius", 0.05, 2, "m", nullptr},
    {"WheelBase", 0.5, 20, "m", nullptr},
    {"LockMax", 0, 90, "degrees", nullptr},
    {"TransmissionFinal", 0.5, 20, "", nullptr},
    {"CenterGravityHeight", 0, 5, "m", nullptr},
    {"FrontMassDistribution", 0, 1, "share", nullptr},
    {"GearMax", 1, GEARS_FORWARD_MAX, "", "the ratio table has room for seven forward gears"},
    {"WheelTrack", 0.3, 5, "m", nullptr},
    {"RollingResistance", 0, 100000, "N", nullptr},
    {"EngineInertia", 0, 1000, "", nullptr},
    {"RevResistance", 0, 1, "", nullptr},
    {"GearReduction", -20, 20, "", nullptr},   /* each entry */
    {"EnginePeakRev", 100, 25000, "rev/min", nullptr},
    {"PeakTorque", 0, 100000, "N m", nullptr},
    {"EngineCurve", -100000, 100000, "N m", nullptr},
};

/* A field added to the record without a range here does not build. */
static constexpr bool ranges_follow_fields(void)
{
    if (std::size(RANGES) != std::size(fields))
        return false;
    for (size_t i = 0; i < std::size(RANGES); i++)
        if (std::string_view(fields[i].name) != RANGES[i].name)
            return false;
    return true;
}
static_assert(ranges_follow_fields(), "one range per car field, in the record's order");

const car_field_range *car_field_ranges(size_t *count)
{
    *count = std::size(RANGES);
    return RANGES;
}

/* ----------------------------------------------------------------------
 * The checks every value of a field passes, however it arrives (a file,
 * a sweep's grid, a keyword in Python): true, or false with the reason
 * in why ("Mass must be 10 to 100000 kg, not 0"), which callers place
 * after a file and line or a name.
 * ---------------------------------------------------------------------- */

/* "NAME must be LO to HI UNIT (NOTE), not VALUE" into why; false. */
static bool out_of_range(const field &fd, const char *name, const char *value, char *why, size_t n)
{
    const car_field_range &r = RANGES[&fd - fields];
    snprintf(why, n, "%s must be %.10g to %.10g%s%s%s%s%s, not %s", name, r.lo, r.hi,
             r.unit[0] ? " " : "", r.unit, r.note ? " (" : "", r.note ? r.note : "",
             r.note ? ")" : "", value);
    return false;
}

static bool whole_ok(const field &fd, int64_t v, char *why, size_t n)
{
    const car_field_range &r = RANGES[&fd - fields];
    if (v < INT_MIN || v > INT_MAX) {
        snprintf(why, n, "%s = %lld is out of int range", fd.name, (long long)v);
        return false;
    }
    if (v < r.lo || v > r.hi) {
        char text[32];
        snprintf(text, sizeof text, "%lld", (long long)v);
        return out_of_range(fd, fd.name, text, why, n);
    }
    return true;
}

/* name is the field's own, or an entry of the gear table ("GearReduction[3]"). */
static bool real_ok(const field &fd, const char *name, float f, char *why, size_t n)
{
    const car_field_range &r = RANGES[&fd - fields];
    if (!(f >= r.lo && f <= r.hi)) {
        char text[32];
        snprintf(text, sizeof text, "%g", (double)f);
        return out_of_range(fd, name, text, why, n);
    }
    return true;
}

/* One field from its node into c; 0 or -1. */
static int take_field(toml_reading *r, const field &fd, const toml::node &n, car *c)
{
    unsigned line = n.source().begin.line;
    char *slot = (char *)c + fd.offset;
    char why[300];

    if (fd.kind == WHOLE) {
        auto i = n.as_integer();
        if (!i)
            return toml_fault(r, line, "%s takes an integer, not %s", fd.name, toml_kind(n));
        int64_t v = i->get();
        if (!whole_ok(fd, v, why, sizeof why))
            return toml_fault(r, line, "%s", why);
        int iv = (int)v;
        memcpy(slot, &iv, sizeof iv);
        return 0;
    }

    if (fd.kind == RATIOS) {
        const toml::array *a = n.as_array();
        if (!a)
            return toml_fault(r, line, "%s takes an array of %d numbers, not %s", fd.name, fd.count,
                              toml_kind(n));
        if ((int)a->size() != fd.count)
            return toml_fault(r, line, "%s has %zu numbers; it takes exactly %d (reverse, neutral, "
                              "gears 1 to 7)", fd.name, a->size(), fd.count);
        float v[16];
        for (int k = 0; k < fd.count; k++) {
            char name[64];
            snprintf(name, sizeof name, "%s[%d]", fd.name, k);
            if (toml_float(r, *a->get(k), name, 0, &v[k]) != 0)
                return -1;
            if (!real_ok(fd, name, v[k], why, sizeof why))
                return toml_fault(r, a->get(k)->source().begin.line, "%s", why);
        }
        memcpy(slot, v, sizeof(float) * fd.count);
        return 0;
    }

    float f;
    if (toml_float(r, n, fd.name, 0, &f) != 0)
        return -1;
    if (!real_ok(fd, fd.name, f, why, sizeof why))
        return toml_fault(r, line, "%s", why);
    memcpy(slot, &f, sizeof f);
    return 0;
}

/* The field a misspelt key most likely means, or null. */
static const char *nearest_field(std::string_view key)
{
    static const std::array<const char *, std::size(fields)> names = [] {
        std::array<const char *, std::size(fields)> n;
        for (size_t i = 0; i < n.size(); i++)
            n[i] = fields[i].name;
        return n;
    }();
    return toml_nearest(key, names.data(), names.size());
}

int read_car_file(const char *path, car *out, char *err, size_t errsize)
{
    toml_reading r = {path, {}, err, errsize};
    toml::table tbl;
    if (toml_read(&r, CAR_FILE_MAX, "a car file", &tbl) != 0)
        return -1;

    car c = KVT;
    for (const auto &[key, node] : tbl) {
        const field *fd = nullptr;
        for (const field &f : fields)
            if (key.str() == f.name)
                fd = &f;
        unsigned line = key.source().begin.line;
        std::string k(key.str());
        if (!fd && node.is_table())
            return toml_fault(&r, line, "table \"%s\": a car file is one flat table of fields",
                              k.c_str());
        if (!fd) {
            const char *near = nearest_field(k);
            if (near)
                return toml_fault(&r, line, "unknown field \"%s\" (did you mean \"%s\"?)", k.c_str(),
                                  near);
            return toml_fault(&r, line, "unknown field \"%s\"", k.c_str());
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

/* ----------------------------------------------------------------------
 * A car as a value from outside (a pickle): its parameters as a car
 * file's, its state within what a tick can leave.
 * ---------------------------------------------------------------------- */
int car_check(const car *c, char *err, size_t errsize)
{
    for (const field &fd : fields) {
        const char *slot = (const char *)c + fd.offset;
        bool ok = true;
        if (fd.kind == WHOLE) {
            int v;
            memcpy(&v, slot, sizeof v);
            ok = whole_ok(fd, v, err, errsize);
        }
        for (int k = 0; ok && fd.kind != WHOLE && k < fd.count; k++) {
            float f;
            memcpy(&f, slot + k * sizeof f, sizeof f);
            char name[40];
            snprintf(name, sizeof name, fd.count > 1 ? "%s[%d]" : "%s", fd.name, k);
            ok = real_ok(fd, name, f, err, errsize);
        }
        if (!ok)
            return -1;
    }
    return 0;
}

/* A memo entry holds the sine and cosine of its angle, as the tick takes them. */
static bool memo_true(const travel_memo::entry &m)
{
    float a;
    memcpy(&a, &m.angle_bits, sizeof a);
    double r = (double)a * PI8 / 180;
    double s = std::sin(r), k = std::cos(r);
    return memcmp(&m.sin, &s, sizeof s) == 0 && memcmp(&m.cos, &k, sizeof k) == 0;
}

int car_state_check(const car_state *c, char *err, size_t errsize)
{
    if (car_check(&c->params, err, errsize) != 0)
        return -1;
    const char *bad = c->Gear < -1 || c->Gear > c->params.GearMax ? "Gear"
                      : (c->KeyHeld | 1) != 1                    ? "KeyHeld"
                      : (c->TractionSlip | 1) != 1               ? "TractionSlip"
                      : c->KeyMask > 511                         ? "KeyMask"
                      : (c->ResetSetsHeading | 1) != 1           ? "ResetSetsHeading"
                      : !memo_true(c->TravelMemo.at[0]) || !memo_true(c->TravelMemo.at[1]) ? "TravelMemo"
                                                                                            : nullptr;
    if (bad) {
        snprintf(err, errsize, "%s is not a value a tick leaves", bad);
        return -1;
    }
    return 0;
}
