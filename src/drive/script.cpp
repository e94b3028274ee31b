/*
 * drive/script.cpp -- reading the driving script, line by line.
 */
#include "script.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "sim/sim.h"

const script_key script_keys[SCRIPT_KEYS] = {
    {"Up", SIM_KEY_UP},   {"Down", SIM_KEY_DOWN}, {"Left", SIM_KEY_LEFT},
    {"Right", SIM_KEY_RIGHT}, {"A", SIM_KEY_A},   {"Z", SIM_KEY_Z},
    {"X", SIM_KEY_X},     {"R", SIM_KEY_R},       {"Q", SIM_KEY_Q},
};

static bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

/* A token quoted for a one-line message: printable ASCII as is, quotes,
 * backslashes and anything else escaped, long tokens cut at 32 bytes. */
static void quote(const char *s, size_t n, char *out, size_t size)
{
    size_t o = 0;
    auto put = [&](const char *t) {
        for (; *t && o + 1 < size; t++)
            out[o++] = *t;
    };
    put("\"");
    for (size_t i = 0; i < n && i < 32; i++) {
        unsigned char c = (unsigned char)s[i];
        char esc[8];
        if (c == '"' || c == '\\')
            snprintf(esc, sizeof esc, "\\%c", c);
        else if (c >= 0x20 && c < 0x7f)
            snprintf(esc, sizeof esc, "%c", c);
        else
            snprintf(esc, sizeof esc, "\\x%02x", c);
        put(esc);
    }
    put(n > 32 ? "...\"" : "\"");
    out[o] = '\0';
}

/* Digits only, 1 .. SCRIPT_MAX_TICKS; anything else is a fault in err. */
static bool parse_ticks(const char *s, size_t n, uint64_t *ticks, char *err, size_t errsize)
{
    char q[160];
    quote(s, n, q, sizeof q);
    uint64_t v = 0;
    for (size_t i = 0; i < n; i++) {
        if (s[i] < '0' || s[i] > '9') {
            snprintf(err, errsize, "bad tick count %s", q);
            return false;
        }
        if (v <= SCRIPT_MAX_TICKS)   /* saturate: no overflow on long digit runs */
            v = v * 10 + (uint64_t)(s[i] - '0');
    }
    if (v < 1 || v > SCRIPT_MAX_TICKS) {
        snprintf(err, errsize, "tick count %s out of range 1 to %d", q, (int)SCRIPT_MAX_TICKS);
        return false;
    }
    *ticks = v;
    return true;
}

/* Index of the key spelled s[0..n), or -1. */
static int key_index(const char *s, size_t n)
{
    for (int i = 0; i < SCRIPT_KEYS; i++)
        if (strlen(script_keys[i].name) == n && memcmp(script_keys[i].name, s, n) == 0)
            return i;
    return -1;
}

static_assert((int)SCRIPT_KEYS == (int)SIM_KEYS, "one key list");

int parse_script_line(const char *line, size_t len, stretch *out, char *err, size_t errsize)
{
    const char *hash = (const char *)memchr(line, '#', len);
    size_t end = hash ? (size_t)(hash - line) : len;

    stretch s = {0, 0, 0};
    bool slash = false;   /* the keys now go to s.after */
    int tokens = 0;
    size_t i = 0;
    while (i < end) {
        while (i < end && is_blank(line[i]))
            i++;
        if (i == end)
            break;
        size_t start = i;
        while (i < end && !is_blank(line[i]))
            i++;
        const char *tok = line + start;
        size_t n = i - start;
        if (tokens++ == 0) {
            if (!parse_ticks(tok, n, &s.ticks, err, errsize))
                return -1;
            continue;
        }
        if (n == 1 && tok[0] == '/') {
            if (slash) {
                snprintf(err, errsize, "more than one \"/\"");
                return -1;
            }
            slash = true;
            continue;
        }
        int k = key_index(tok, n);
        if (k < 0) {
            char q[160];
            quote(tok, n, q, sizeof q);
            snprintf(err, errsize, "unknown key %s", q);
            return -1;
        }
        (slash ? s.after : s.keys) |= 1u << k;
    }
    if (tokens == 0)
        return 0;
    if (!slash)
        s.after = s.keys;
    else if (s.ticks != 1 || !(s.keys >> SIM_Q & 1)) {
        snprintf(err, errsize, "\"/\" only on a line of 1 tick that holds Q");
        return -1;
    }
    *out = s;
    return 1;
}

int scan_script(FILE *in, const char *name, stretch_fn each, void *ctx,
                char *err, size_t errsize)
{
    char line[SCRIPT_MAX_LINE];
    unsigned long lineno = 0;
    int status = 0;

    errno = 0;
    for (;;) {
        size_t len = 0;
        int c;
        while ((c = getc_unlocked(in)) != EOF && c != '\n' && len < SCRIPT_MAX_LINE)
            line[len++] = (char)c;
        if (c == EOF && (len == 0 || ferror(in)))
            break;   /* the end, or a read error told below */
        lineno++;
        if (c != EOF && c != '\n') {   /* one byte past the limit: no more is read */
            snprintf(err, errsize, "%s:%lu: line longer than %d bytes", name, lineno,
                     (int)SCRIPT_MAX_LINE);
            status = 2;
            break;
        }
        const char *text = line;
        if (lineno == 1 && len >= 3 && memcmp(line, "\xef\xbb\xbf", 3) == 0) {
            text += 3;   /* an editor's byte-order mark */
            len -= 3;
        }
        stretch s;
        char why[256];
        int r = parse_script_line(text, len, &s, why, sizeof why);
        if (r < 0) {
            snprintf(err, errsize, "%s:%lu: %s", name, lineno, why);
            status = 2;
            break;
        }
        if (r > 0 && each && (status = each(&s, ctx)) != 0)
            break;
        if (c == EOF)
            break;
    }
    if (status == 0 && ferror(in)) {
        snprintf(err, errsize, "%s: cannot read: %s", name, strerror(errno ? errno : EIO));
        status = 2;
    }
    return status;
}

/* Writing a stretch back as a line: the recording, a spooled pipe. */
static char *put_keys(char *p, unsigned mask)
{
    for (int i = 0; i < SCRIPT_KEYS; i++)
        if (mask >> i & 1) {
            *p++ = ' ';
            p = stpcpy(p, script_keys[i].name);
        }
    return p;
}

char *put_stretch(char *p, const stretch *s)
{
    p += snprintf(p, 24, "%llu", (unsigned long long)s->ticks);
    p = put_keys(p, s->keys);
    if (s->after != s->keys) {
        p = stpcpy(p, " /");
        p = put_keys(p, s->after);
    }
    *p++ = '\n';
    return p;
}
