/*
 * sim/tomlfile.cpp -- reading a TOML file: what car and course files
 * share (see tomlfile.h).
 *
 * A TOML float arrives as a double; rounding that to float again would
 * round twice and, rarely, land one float step off the decimal.  So a
 * float is read once more from its own text, straight to float.
 */
#include "tomlfile.h"

#include "nearest.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

int toml_fault(toml_reading *r, unsigned line, const char *fmt, ...)
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

int toml_slurp(toml_reading *r, size_t max, const char *what)
{
    FILE *f = fopen(r->path, "rb");
    if (!f)
        return toml_fault(r, 0, "%s", strerror(errno));
    struct stat st;
    if (fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {
        fclose(f);
        return toml_fault(r, 0, "%s", strerror(EISDIR));
    }
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0 && r->text.size() <= max)
        r->text.append(buf, n);
    int bad = ferror(f) ? errno : 0;
    fclose(f);
    if (bad)
        return toml_fault(r, 0, "%s", strerror(bad));
    if (r->text.size() > max)
        return toml_fault(r, 0, "larger than %zu bytes: not %s", max, what);
    return 0;
}

/* The parser says "Error while parsing WHAT: fault"; the fault is kept,
 * the rest is said as the files' other faults are. */
int toml_syntax_fault(toml_reading *r, const toml::parse_error &e)
{
    const toml::source_position at = e.source().begin;
    std::string what(e.description());
    const std::string prefix = "Error while parsing ";
    size_t colon = what.find(": ");
    if (what.compare(0, prefix.size(), prefix) == 0 && colon != std::string::npos)
        what.erase(0, colon + 2);
    size_t q0 = what.find('\''), q1 = what.rfind('\'');
    if (what.rfind("cannot redefine existing ", 0) == 0 && q0 != q1)
        return toml_fault(r, at.line, "\"%s\" is given twice", what.substr(q0 + 1, q1 - q0 - 1).c_str());
    return toml_fault(r, at.line, "not TOML (column %u): %s", at.column, what.c_str());
}

int toml_read(toml_reading *r, size_t max, const char *what, toml::table *out)
{
    if (toml_slurp(r, max, what) != 0)
        return -1;
    try {
        *out = toml::parse(std::string_view(r->text), std::string_view(r->path));
    } catch (const toml::parse_error &e) {
        return toml_syntax_fault(r, e);
    }
    return 0;
}

const char *toml_kind(const toml::node &n)
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
static std::string literal_of(const toml_reading *r, const toml::node &n)
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

/* Decimal text lit times 10^exp10, still as decimal text: the exponent
 * moved, so that reading it rounds once. */
static std::string shifted(const std::string &lit, int exp10)
{
    if (exp10 == 0)
        return lit;
    size_t e = lit.find_first_of("eE");
    long ex = 0;
    if (e != std::string::npos) {
        const char *b = lit.data() + e + 1, *end = lit.data() + lit.size();
        auto [p, ec] = std::from_chars(b + (*b == '+'), end, ex);
        if (ec != std::errc() || p != end)
            return lit;   /* not decimal text after all: the caller finds it out */
    }
    return lit.substr(0, e) + "e" + std::to_string(ex + exp10);
}

int toml_float(toml_reading *r, const toml::node &n, const char *name, int exp10, float *out)
{
    unsigned line = n.source().begin.line;
    if (auto i = n.as_integer()) {
        int64_t v = i->get();
        double scale = 1;
        for (int k = 0; k < exp10; k++)
            scale *= 10;
        /* below 2^49 the product is an exact integer: one rounding, to float */
        if (v > -(INT64_C(1) << 49) && v < (INT64_C(1) << 49) && exp10 <= 1)
            *out = (float)(double)(v * (int64_t)scale);
        else   /* every int64 is within float range */
            *out = (float)((double)v * scale);
        return 0;
    }
    const toml::value<double> *d = n.as_floating_point();
    if (!d)
        return toml_fault(r, line, "%s takes a number, not %s", name, toml_kind(n));
    double v = d->get();
    if (!std::isfinite(v))
        return toml_fault(r, line, "%s is %s: every number must be finite", name,
                          std::isnan(v) ? "nan" : "infinite");

    std::string lit = literal_of(r, n);
    std::string text = shifted(lit, exp10);
    const char *b = lit.data(), *e = b + lit.size();
    double check;
    float f;
    auto [de, dec] = std::from_chars(b, e, check);
    if (dec == std::errc() && de == e && check == v) {
        auto [fe, fec] = std::from_chars(text.data(), text.data() + text.size(), f);
        if (fec == std::errc::result_out_of_range || std::isinf(f) || (f == 0 && v != 0))
            return toml_fault(r, line, "%s = %s is out of float range", name, lit.c_str());
    } else {   /* the text did not read back: round the parser's double */
        for (int k = 0; k < exp10; k++)
            v *= 10;
        f = (float)v;
        if (std::isinf(f) || (f == 0 && v != 0))
            return toml_fault(r, line, "%s = %g is out of float range", name, d->get());
    }
    *out = f;
    return 0;
}

const char *toml_nearest(std::string_view key, const char *const *names, size_t n)
{
    return nearest_name(key, names, n, 2);
}
