/*
 * drive/script.cpp -- reading the driving script, line by line.
 */
#include "drive/script.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "sim/nearest.h"
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

/* The key a misspelt one most likely means, as car fields are suggested:
 * case aside, and at most one edit in two letters ("up", "Upp", "Rigth";
 * no key for "E", every other letter's neighbour). */
static const char *nearest_key(const char *s, size_t n)
{
    static const char *names[SCRIPT_KEYS];
    for (int i = 0; i < SCRIPT_KEYS; i++)
        names[i] = script_keys[i].name;
    return nearest_name(std::string_view(s, n), names, SCRIPT_KEYS, (int)std::min<size_t>(2, n / 2));
}

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
            if (const char *near = nearest_key(tok, n))
                snprintf(err, errsize, "unknown key %s (did you mean \"%s\"?)", q, near);
            else
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

/* The rest of a comment line past the stretch buffer, from c (read, not
 * kept yet) up to its newline or the end: kept with the header's part
 * while there is room, else dropped (a comment may be of any length;
 * memory stays bounded).  The character that ended it, '\n' or EOF. */
static int rest_of_comment(script_in *s, int c, bool keep)
{
    for (; c != EOF && c != '\n'; c = getc_unlocked(s->f))
        if (keep && !s->header_cut) {
            if (s->header.size() < SCRIPT_HEADER_MAX)
                s->header += (char)c;
            else
                s->header_cut = true;
        }
    return c;
}

/* A comment line of the header kept, whole or as far as there is room. */
static bool keep_header_line(script_in *s, const char *text, size_t len)
{
    if (s->header_cut || s->header.size() + len > SCRIPT_HEADER_MAX) {
        s->header_cut = true;
        return false;
    }
    s->header.append(text, len);
    s->header_lines.push_back(s->line);
    return true;
}

int script_next(script_in *s, stretch *out, char *err, size_t errsize)
{
    char line[SCRIPT_MAX_LINE];
    errno = 0;
    for (;;) {
        size_t len = 0;
        int c;
        while ((c = getc_unlocked(s->f)) != EOF && c != '\n' && len < SCRIPT_MAX_LINE)
            line[len++] = (char)c;
        if (c == EOF && (len == 0 || ferror(s->f)))
            break;   /* the end, or a read error told below */
        s->line++;
        const char *text = line;
        if (s->line == 1 && len >= 3 && memcmp(line, "\xef\xbb\xbf", 3) == 0) {
            text += 3;   /* an editor's byte-order mark */
            len -= 3;
        }
        bool comment = len > 0 && text[0] == '#';
        bool in_header = comment && !s->header_done;
        if (in_header && keep_header_line(s, text, len) && c != EOF && c != '\n')
            c = rest_of_comment(s, c, true);
        else if (comment && c != EOF && c != '\n')
            c = rest_of_comment(s, c, false);
        if (in_header && !s->header_cut)
            s->header += '\n';
        if (comment) {
            if (c == EOF)
                break;
            continue;
        }
        if (c != EOF && c != '\n') {   /* one byte past the limit: no more is read */
            snprintf(err, errsize, "%s:%lu: line longer than %d bytes", s->name, s->line,
                     (int)SCRIPT_MAX_LINE);
            return -1;
        }
        char why[256];
        int r = parse_script_line(text, len, out, why, sizeof why);
        if (r < 0) {
            snprintf(err, errsize, "%s:%lu: %s", s->name, s->line, why);
            return -1;
        }
        if (r > 0) {
            s->header_done = true;
            return 1;
        }
        if (c == EOF)
            break;
    }
    s->header_done = true;
    if (ferror(s->f)) {
        snprintf(err, errsize, "%s: cannot read: %s", s->name, strerror(errno ? errno : EIO));
        return -1;
    }
    return 0;
}

/* scan_script over s, its ticks counted. */
static int scan(script_in *s, stretch_fn each, void *ctx, char *err, size_t errsize)
{
    stretch st;
    int r;
    s->ticks = 0;
    while ((r = script_next(s, &st, err, errsize)) == 1) {
        s->ticks += st.ticks;
        if (each)
            if (int status = each(&st, ctx))
                return status;
    }
    return r;
}

int scan_script(FILE *in, const char *name, stretch_fn each, void *ctx,
                char *err, size_t errsize)
{
    script_in s;
    s.f = in;
    s.name = name;
    return scan(&s, each, ctx, err, errsize);
}

/* ----------------------------------------------------------------------
 * A script read more than once: opened, checked whole, read again.
 * ---------------------------------------------------------------------- */
int script_open(script_in *s, const char *path, char *err, size_t errsize)
{
    *s = script_in{};
    bool from_stdin = strcmp(path, "-") == 0;
    s->name = from_stdin ? "stdin" : path;
    s->f = from_stdin ? stdin : fopen(path, "r");
    if (!s->f) {
        snprintf(err, errsize, "%s: %s", s->name, strerror(errno));
        return -1;
    }
    s->own = !from_stdin;
    s->id = id_of_fd(fileno(s->f));
    return 0;
}

void script_from(script_in *s, FILE *f, const char *name, bool own)
{
    *s = script_in{};
    s->f = f;
    s->name = name;
    s->own = own;
}

/* An unlinked file in $TMPDIR (or /tmp), gone when closed; NULL with
 * errno set. */
static FILE *temporary_file(void)
{
    const char *dir = getenv("TMPDIR");
    std::string path = std::string(dir && *dir ? dir : "/tmp") + "/caravelt-script-XXXXXX";
    int fd = mkstemp(path.data());
    if (fd < 0)
        return nullptr;
    unlink(path.c_str());
    FILE *f = fdopen(fd, "w+");
    if (!f)
        close(fd);
    return f;
}

/* A checked stretch of a pipe written to the spool as a script line. */
struct spooling {
    FILE *f;
    uint64_t bytes, max;
};
enum { SPOOL_FULL = 3, SPOOL_FAILED = 4 };

static int spool_stretch(const stretch *s, void *ctx)
{
    spooling *sp = (spooling *)ctx;
    char text[STRETCH_TEXT_MAX];
    size_t n = (size_t)(put_stretch(text, s) - text);
    if ((sp->bytes += n) > sp->max)
        return SPOOL_FULL;
    return fwrite(text, 1, n, sp->f) == n ? 0 : SPOOL_FAILED;
}

int script_check(script_in *s, uint64_t spool_max, char *err, size_t errsize)
{
    /* a file, or a stream in memory, can be read again; a pipe cannot */
    struct stat st;
    bool again = fileno(s->f) < 0 || (fstat(fileno(s->f), &st) == 0 && S_ISREG(st.st_mode));
    if (again && (s->start = ftell(s->f)) >= 0) {
        int r = scan(s, nullptr, nullptr, err, errsize);
        return r ? r : script_rewind(s, err, errsize);
    }
    spooling sp = {temporary_file(), 0, spool_max};
    if (!sp.f) {
        snprintf(err, errsize, "cannot make a temporary file for %s: %s", s->name, strerror(errno));
        s->machine_fault = true;
        return -1;
    }
    int r = scan(s, spool_stretch, &sp, err, errsize);
    if (r == 0 && fflush(sp.f) != 0)
        r = SPOOL_FAILED;
    if (r == SPOOL_FULL) {
        unsigned long long n = spool_max;
        const char *unit = n % (1 << 30) == 0 ? "GiB" : n % (1 << 20) == 0 ? "MiB" : "bytes";
        n >>= unit[0] == 'G' ? 30 : unit[0] == 'M' ? 20 : 0;
        snprintf(err, errsize, "%s: more than %llu %s of script from a pipe: give it as a file "
                 "instead", s->name, n, unit);
    }
    else if (r == SPOOL_FAILED)
        snprintf(err, errsize, "cannot keep %s in a temporary file: %s", s->name,
                 strerror(errno ? errno : EIO));
    if (r) {
        fclose(sp.f);
        s->machine_fault = r == SPOOL_FAILED;
        return -1;
    }
    script_close(s);
    s->f = sp.f;   /* read from here on; stdin is left alone */
    s->own = true;
    s->start = 0;
    return script_rewind(s, err, errsize);
}

int script_rewind(script_in *s, char *err, size_t errsize)
{
    s->line = 0;
    clearerr(s->f);
    if (fseek(s->f, s->start, SEEK_SET) != 0) {
        snprintf(err, errsize, "%s: cannot read it again: %s", s->name, strerror(errno));
        return -1;
    }
    return 0;
}

void script_close(script_in *s)
{
    if (s->f && s->own)
        fclose(s->f);
    s->f = nullptr;
    s->own = false;
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
