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
#include <strings.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "frame_out.h"
#include "sim/sim.h"
#include "trace.h"

/* Large writes: one system call per megabyte of trace. */
static const size_t TRACE_BUFFER = 1 << 20;

/* The keys the script holds now, and those a title screen shown inside
 * the current tick returns to (the same but on a line with "/"). */
static unsigned held_now, held_after_title;

static unsigned script_read_keys(void) { return held_now; }

static void title_returns_at_once(void) { held_now = held_after_title; }

void hold_stretch_keys(const stretch *s)
{
    held_now = s->keys;
    held_after_title = s->after;
    sim_read_keys = script_read_keys;
    sim_title_screen = title_returns_at_once;
}

void hold_script_keys(unsigned mask)
{
    stretch s = {1, mask, mask};
    hold_stretch_keys(&s);
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
    "SCRIPT lines: TICKS [KEY ...], keys Up Down Left Right A Z X R Q; '#' comments;\n"
    "  \"1 Q KEY... / KEY...\": the keys after \"/\" are held when the title screen returns\n";

static bool ends_with_bmp(const char *path)
{
    size_t n = strlen(path);
    return n > 4 && strcasecmp(path + n - 4, ".bmp") == 0;
}

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
    if (o->frame && !ends_with_bmp(o->frame))
        return fail(2, "the frame \"%s\" must be named FILE.bmp: it is written as a BMP picture",
                    o->frame);
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
    hold_stretch_keys(s);
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
    if (!kept->empty() && kept->back().keys == s->keys && kept->back().after == s->after
        && s->keys == s->after)
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

/* ----------------------------------------------------------------------
 * One invocation: what was opened, so that one way out closes it all.
 * ---------------------------------------------------------------------- */
struct session {
    options o;
    const char *name = "stdin";   /* the script, as messages name it */
    FILE *in = nullptr;           /* the script; stdin is never closed */
    bool twice = false;           /* a regular file, read again to run */
    long start = 0;               /* where it was first read from */
    std::vector<stretch> kept;    /* a pipe's stretches, kept for the run */
    bool frame_ready = false;     /* frame_begin succeeded */
    FILE *tf = nullptr;           /* the trace; stdout is never closed */
    trace_out out = {};
};

/* Check: the whole script read and every line valid; nothing written. */
static int check(session *s)
{
    bool from_stdin = strcmp(s->o.script, "-") == 0;
    s->name = from_stdin ? "stdin" : s->o.script;
    s->in = from_stdin ? stdin : fopen(s->o.script, "r");
    if (!s->in)
        return fail(2, "%s: %s", s->name, strerror(errno));
    char err[512];
    s->twice = rereadable(s->in, &s->start);
    int st = scan_script(s->in, s->name, s->twice ? nullptr : keep_stretch, &s->kept,
                         err, sizeof err);
    return st ? fail(st, "%s", err) : 0;
}

/* Prepare: the frame's pictures and folder, then the trace file, before
 * any tick; the state start-up leaves. */
static int prepare(session *s)
{
    char err[512], why[256];
    if (s->o.frame) {
        if (frame_begin(s->o.data, err, sizeof err) != 0)
            return fail(1, "%s", err);
        s->frame_ready = true;
        if (!can_write(s->o.frame, why, sizeof why))
            return fail(1, "cannot write the frame \"%s\": %s", s->o.frame, why);
    }
    bool to_stdout = strcmp(s->o.trace, "-") == 0;
    s->tf = to_stdout ? stdout : fopen(s->o.trace, "w");
    if (!s->tf)
        return fail(1, "cannot write the trace \"%s\": %s", s->o.trace, strerror(errno));
    trace_open(&s->out, s->tf, TRACE_BUFFER);
    trace_header(&s->out);
    sim_start();
    hold_script_keys(0);
    return 0;
}

/* Run: every stretch, one logic() and one trace row a tick. */
static int run(session *s)
{
    run_state r = {&s->out, 0};
    if (!s->twice) {
        for (const stretch &k : s->kept)
            if (int st = run_stretch(&k, &r))
                return st;
        return 0;
    }
    char err[512];
    if (fseek(s->in, s->start, SEEK_SET) != 0)
        return fail(2, "%s: cannot read it again: %s", s->name, strerror(errno));
    int st = scan_script(s->in, s->name, run_stretch, &r, err, sizeof err);
    return st == 2 ? fail(2, "%s", err) : st;   /* 2: changed since it was checked */
}

/* Finish: the trace written out, the frame of the last state saved, and
 * everything opened closed, whatever status the steps before ended on. */
static int finish(session *s, int st)
{
    if (s->tf) {
        int werr = trace_close(&s->out);
        bool to_stdout = s->tf == stdout;
        if (!to_stdout && fclose(s->tf) != 0 && !werr)
            werr = errno ? errno : EIO;
        if (werr && st == 0)
            st = fail(1, "cannot write the trace \"%s\": %s",
                      to_stdout ? "standard output" : s->o.trace, strerror(werr));
    }
    if (st == 0 && s->frame_ready) {
        char err[512];
        if (frame_save(s->o.frame, err, sizeof err) != 0)
            st = fail(1, "%s", err);
    }
    if (s->frame_ready)
        frame_end();
    if (s->in && s->in != stdin)
        fclose(s->in);
    return st;
}

int sim_tool_main(int argc, char **argv)
{
    session s;
    int st = parse_options(argc, argv, &s.o);
    if (st == -1) {
        fputs(USAGE, stdout);
        return 0;
    }
    if (st == 0)
        st = check(&s);
    if (st == 0)
        st = prepare(&s);
    if (st == 0)
        st = run(&s);
    return finish(&s, st);
}
