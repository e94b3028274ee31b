/*
 * headless/sim_tool.cpp -- options, validation, the run, the frame.
 *
 * Order of work: options, then the whole script checked, then the frame's
 * pictures loaded and its folder checked, and only then is the trace file
 * opened and the first tick run.  So bad input writes nothing.
 *
 * A script file is read twice (check, then run), so memory stays flat
 * however long it is.  A pipe cannot be read twice: its stretches are
 * kept, consecutive equal key sets merged, a few bytes per line.
 */
#include "sim_tool.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "frame_out.h"
#include "sim/sim.h"
#include "trace.h"

/* Large writes: one system call per megabyte of trace. */
static const size_t TRACE_BUFFER = 1 << 20;

/* Indexed by the low byte of the key number: the seam is called some
 * twenty times a tick, so no range test (every number in use is < 128). */
static unsigned char held_table[256];

static int script_key_held(int key)
{
    return held_table[(unsigned char)key];
}

static void title_returns_at_once(void) {}

void hold_script_keys(unsigned mask)
{
    memset(held_table, 0, sizeof held_table);
    for (int i = 0; i < SCRIPT_KEYS; i++)
        held_table[script_keys[i].number] = (mask >> i) & 1;
    sim_key_held = script_key_held;
    sim_title_screen = title_returns_at_once;
}

/* One line on stderr, "caravelt-sim: ...", and the status to exit with. */
static int fail(int status, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    fputs("caravelt-sim: ", stderr);
    vfprintf(stderr, fmt, ap);
    fputc('\n', stderr);
    va_end(ap);
    return status;
}

struct options {
    const char *trace = "-";     /* "-": standard output */
    const char *frame = nullptr; /* no frame unless asked */
    const char *data = "data";
    const char *script = "-";    /* "-": standard input */
};

static const char USAGE[] =
    "usage: caravelt-sim [--trace FILE] [--frame FILE.bmp] [--data DIR] [SCRIPT]\n"
    "SCRIPT lines: TICKS [KEY ...], keys Up Down Left Right A Z X R Q; '#' comments\n";

/* Fills o from argv; 0, -1 for --help, or 2 after saying what is wrong. */
static int parse_options(int argc, char **argv, options *o)
{
    bool script_seen = false, only_names = false;
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        const char **slot = nullptr;
        if (!only_names && strcmp(a, "--trace") == 0)
            slot = &o->trace;
        else if (!only_names && strcmp(a, "--frame") == 0)
            slot = &o->frame;
        else if (!only_names && strcmp(a, "--data") == 0)
            slot = &o->data;
        else if (!only_names && (strcmp(a, "--help") == 0 || strcmp(a, "-h") == 0))
            return -1;
        else if (!only_names && strcmp(a, "--") == 0) {
            only_names = true;
            continue;
        } else if (!only_names && a[0] == '-' && a[1] != '\0')
            return fail(2, "unknown option \"%s\" (try --help)", a);
        else if (script_seen)
            return fail(2, "more than one script: \"%s\"", a);
        else {
            o->script = a;
            script_seen = true;
            continue;
        }
        if (i + 1 >= argc)
            return fail(2, "option %s needs a value", a);
        *slot = argv[++i];
        if (**slot == '\0')
            return fail(2, "option %s needs a non-empty value", a);
    }
    return 0;
}

/* The folder a new file at path would go in must be there and writable;
 * an existing file must be writable and not a folder. */
static bool can_write(const char *path, char *why, size_t size)
{
    struct stat st;
    if (stat(path, &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            snprintf(why, size, "%s", strerror(EISDIR));
            return false;
        }
        if (access(path, W_OK) != 0) {
            snprintf(why, size, "%s", strerror(errno));
            return false;
        }
        return true;
    }
    std::string dir = path;
    size_t slash = dir.rfind('/');
    dir = slash == std::string::npos ? "." : slash == 0 ? "/" : dir.substr(0, slash);
    if (access(dir.c_str(), W_OK | X_OK) != 0) {
        snprintf(why, size, "%s", strerror(errno));
        return false;
    }
    return true;
}

/* ----------------------------------------------------------------------
 * The run: each stretch holds its keys through its ticks, one logic()
 * and one trace row per tick.
 * ---------------------------------------------------------------------- */
struct run_state {
    trace_out *out;
    uint64_t tick;
};

static int run_stretch(const stretch *s, void *ctx)
{
    run_state *r = (run_state *)ctx;
    hold_script_keys(s->keys);
    for (uint64_t i = 0; i < s->ticks; i++) {
        logic();
        trace_row(r->out, ++r->tick);
    }
    return r->out->failed ? 1 : 0;
}

/* Keeps a pipe's stretches for the run, merging equal neighbours. */
static int keep_stretch(const stretch *s, void *ctx)
{
    std::vector<stretch> *kept = (std::vector<stretch> *)ctx;
    if (!kept->empty() && kept->back().keys == s->keys)
        kept->back().ticks += s->ticks;
    else
        kept->push_back(*s);
    return 0;
}

/* Regular files can be read again from where they started. */
static bool rereadable(FILE *f, long *start)
{
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    *start = ftell(f);
    return *start >= 0;
}

int sim_tool_main(int argc, char **argv)
{
    options o;
    int st = parse_options(argc, argv, &o);
    if (st == -1) {
        fputs(USAGE, stdout);
        return 0;
    }
    if (st != 0)
        return st;

    /* 1. The script, checked whole. */
    bool from_stdin = strcmp(o.script, "-") == 0;
    const char *name = from_stdin ? "stdin" : o.script;
    FILE *in = from_stdin ? stdin : fopen(o.script, "r");
    if (!in)
        return fail(2, "%s: %s", name, strerror(errno));
    char err[512];
    long start = 0;
    bool twice = rereadable(in, &start);
    std::vector<stretch> kept;
    st = scan_script(in, name, twice ? nullptr : keep_stretch, &kept, err, sizeof err);
    if (st != 0) {
        if (!from_stdin)
            fclose(in);
        return fail(st, "%s", err);
    }

    /* 2. The frame's pictures and folder, before any tick. */
    if (o.frame) {
        char why[256];
        if (frame_begin(o.data, err, sizeof err) != 0)
            st = fail(1, "%s", err);
        else if (!can_write(o.frame, why, sizeof why))
            st = fail(1, "cannot write the frame \"%s\": %s", o.frame, why);
        if (st != 0) {
            frame_end();
            if (!from_stdin)
                fclose(in);
            return st;
        }
    }

    /* 3. The trace, then the run. */
    bool to_stdout = strcmp(o.trace, "-") == 0;
    FILE *tf = to_stdout ? stdout : fopen(o.trace, "w");
    if (!tf) {
        st = fail(1, "cannot write the trace \"%s\": %s", o.trace, strerror(errno));
        frame_end();
        if (!from_stdin)
            fclose(in);
        return st;
    }
    trace_out out;
    trace_open(&out, tf, TRACE_BUFFER);
    trace_header(&out);

    sim_start();
    hold_script_keys(0);
    run_state run = {&out, 0};
    if (twice) {
        if (fseek(in, start, SEEK_SET) != 0)
            st = fail(2, "%s: cannot read it again: %s", name, strerror(errno));
        else if ((st = scan_script(in, name, run_stretch, &run, err, sizeof err)) == 2)
            st = fail(2, "%s", err);   /* changed since it was checked */
    } else {
        for (const stretch &s : kept)
            if ((st = run_stretch(&s, &run)) != 0)
                break;
    }
    if (!from_stdin)
        fclose(in);

    int werr = trace_close(&out);
    if (!to_stdout && fclose(tf) != 0 && !werr)
        werr = errno ? errno : EIO;
    if (werr) {
        frame_end();
        return fail(1, "cannot write the trace \"%s\": %s",
                    to_stdout ? "standard output" : o.trace, strerror(werr));
    }
    if (st != 0) {
        frame_end();
        return st;
    }

    /* 4. The frame of the state the last tick left. */
    if (o.frame) {
        st = frame_save(o.frame, err, sizeof err) != 0 ? fail(1, "%s", err) : 0;
        frame_end();
    }
    return st;
}
