/*
 * headless/sim_tool.cpp -- options, validation, the run, the frame.
 *
 * Order of work: options, then the whole script checked, then the frame's
 * pictures loaded and its folder checked, and only then is the trace file
 * opened and the first tick run.  So bad input writes nothing.
 *
 * A script file is read twice (check, then run), so memory stays flat
 * however long it is.  A pipe cannot be read twice: while it is checked,
 * its stretches are spooled to an unlinked temporary file, which is then
 * run like a script file.  No output may be the script or the other
 * output: that would destroy the script or mix trace and picture.
 */
#include "sim_tool.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "drive/files.h"
#include "frame_out.h"
#include "sheet/sheet.h"
#include "sheet/sweep.h"
#include "sim/carfile.h"
#include "sim/sim.h"
#include "trace.h"

/* Large writes: one system call per megabyte of trace. */
static const size_t TRACE_BUFFER = 1 << 20;

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
    std::vector<const char *> cars;  /* car files; one unless --sheet */
    bool sheet = false;          /* the handling sheet instead of a script */
    const char *shift = nullptr; /* the sheet's shift speed, rev/min */
    const char *runs = nullptr;  /* the sheet's runs, tick by tick, as CSV */
    std::vector<const char *> vary;   /* a sweep's axes, NAME=FROM:TO:STEP */
    const char *threads = nullptr;    /* a sweep's threads */
    const char *shard = nullptr;      /* a sweep's share, K/N */
};

static const char USAGE[] =
    "usage: caravelt-sim [--car FILE] [--trace FILE] [--frame FILE.bmp] [--data DIR] [SCRIPT]\n"
    "       caravelt-sim --sheet [--car FILE]... [--shift RPM] [--runs FILE.csv]\n"
    "       caravelt-sim --sheet --vary NAME=FROM:TO:STEP... [--car FILE] [--shift RPM]\n"
    "                    [--threads N] [--shard K/N]\n"
    "SCRIPT lines: TICKS [KEY ...], keys Up Down Left Right A Z X R Q; '#' comments;\n"
    "  \"1 Q KEY... / KEY...\": the keys after \"/\" are held when the title screen returns\n"
    "--sheet prints a Markdown table of each car's figures (the preset's without --car);\n"
    "--runs also writes the speed of its acceleration and braking runs, tick by tick;\n"
    "--vary prints the figures of every setup of a grid as CSV, the first --vary slowest\n";

static bool ends_with_bmp(const char *path)
{
    size_t n = strlen(path);
    return n > 4 && strcasecmp(path + n - 4, ".bmp") == 0;
}

/* Fills o from argv; 0, -1 for --help, or 2 after saying what is wrong. */
static int parse_options(int argc, char **argv, options *o)
{
    bool script_seen = false, only_names = false, trace_seen = false;
    const char *car = nullptr, *vary = nullptr;
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        const char **slot = nullptr;
        if (!only_names && strcmp(a, "--trace") == 0)
            slot = &o->trace, trace_seen = true;
        else if (!only_names && strcmp(a, "--frame") == 0)
            slot = &o->frame;
        else if (!only_names && strcmp(a, "--data") == 0)
            slot = &o->data;
        else if (!only_names && strcmp(a, "--car") == 0)
            slot = &car;
        else if (!only_names && strcmp(a, "--shift") == 0)
            slot = &o->shift;
        else if (!only_names && strcmp(a, "--runs") == 0)
            slot = &o->runs;
        else if (!only_names && strcmp(a, "--vary") == 0)
            slot = &vary;
        else if (!only_names && strcmp(a, "--threads") == 0)
            slot = &o->threads;
        else if (!only_names && strcmp(a, "--shard") == 0)
            slot = &o->shard;
        else if (!only_names && strcmp(a, "--sheet") == 0) {
            o->sheet = true;
            continue;
        } else if (!only_names && (strcmp(a, "--help") == 0 || strcmp(a, "-h") == 0))
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
        if (slot == &car)
            o->cars.push_back(car);
        if (slot == &vary)
            o->vary.push_back(vary);
    }
    const char *sweep_only = o->threads ? "--threads" : o->shard ? "--shard" : nullptr;
    if (o->sheet) {
        /* The sheet drives its own manoeuvres and writes only its table. */
        const char *clash = trace_seen ? "--trace" : o->frame ? "--frame" : script_seen ? "script" : nullptr;
        if (clash)
            return fail(2, "--sheet runs its own manoeuvres: it takes no %s", clash);
        if (o->vary.empty() && sweep_only)
            return fail(2, "%s is for sweeps: only with --vary", sweep_only);
        if (!o->vary.empty() && o->cars.size() > 1)
            return fail(2, "--car given %zu times: a sweep varies one car", o->cars.size());
        if (!o->vary.empty() && o->runs)
            return fail(2, "--runs is for the sheet of single cars: not with --vary");
        return 0;
    }
    if (o->cars.size() > 1)
        return fail(2, "--car given %zu times: a run drives one car (several only with --sheet)",
                    o->cars.size());
    const char *sheet_only = o->shift ? "--shift" : o->runs ? "--runs" : !o->vary.empty() ? "--vary"
                             : sweep_only;
    if (sheet_only)
        return fail(2, "%s is for the handling sheet: only with --sheet", sheet_only);
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
    if (access(folder_of(path).c_str(), W_OK | X_OK) != 0) {
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
    hold_keys(s->keys, s->after);
    for (uint64_t i = 0; i < s->ticks; i++) {
        logic();
        trace_row(r->out, ++r->tick);
    }
    return r->out->failed ? 1 : 0;
}

/* Writes a checked stretch of a pipe to the spool as a script line;
 * 1 when the spool cannot be written. */
static int spool_stretch(const stretch *s, void *ctx)
{
    FILE *spool = (FILE *)ctx;
    char text[STRETCH_TEXT_MAX];
    char *p = put_stretch(text, s);
    return fwrite(text, 1, (size_t)(p - text), spool) == (size_t)(p - text) ? 0 : 1;
}

/* An unlinked file in $TMPDIR (or /tmp), gone when closed; NULL with
 * errno set. */
static FILE *temporary_file(void)
{
    const char *dir = getenv("TMPDIR");
    std::string path = std::string(dir && *dir ? dir : "/tmp") + "/caravelt-sim-XXXXXX";
    int fd = mkstemp(path.data());
    if (fd < 0)
        return nullptr;
    unlink(path.c_str());
    FILE *f = fdopen(fd, "w+");
    if (!f)
        close(fd);
    return f;
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
    FILE *in = nullptr;           /* the script (or its spool); stdin is never closed */
    long start = 0;               /* where it was first read from, read again to run */
    car drive = KVT;              /* the car the run drives */
    bool frame_ready = false;     /* frame_begin succeeded */
    FILE *tf = nullptr;           /* the trace; stdout is never closed */
    trace_out out = {};
};

/* No output is the script or the other output; 0 or 2 after saying so. */
static int check_outputs(session *s)
{
    struct end { const char *what, *name; file_id id; };
    bool trace_out = strcmp(s->o.trace, "-") == 0;
    end ends[3] = {
        {"the script", s->in == stdin ? "standard input" : s->o.script, id_of_fd(fileno(s->in))},
        {"the trace", trace_out ? "standard output" : s->o.trace,
         trace_out ? id_of_fd(STDOUT_FILENO) : id_of_path(s->o.trace)},
        {"the frame", s->o.frame, s->o.frame ? id_of_path(s->o.frame) : file_id{}},
    };
    for (int out = 1; out < (s->o.frame ? 3 : 2); out++)
        for (int other = 0; other < out; other++)
            if (same_file(ends[out].id, ends[other].id))
                return fail(2, "%s \"%s\" and %s \"%s\" are the same file", ends[out].what,
                            ends[out].name, ends[other].what, ends[other].name);
    return 0;
}

/* Check: the car file and the whole script read, every line valid;
 * nothing written.
 * A pipe is spooled meanwhile and then read like a file. */
static int check(session *s)
{
    char err[512];
    if (!s->o.cars.empty() && read_car_file(s->o.cars[0], &s->drive, err, sizeof err) != 0)
        return fail(2, "%s", err);
    bool from_stdin = strcmp(s->o.script, "-") == 0;
    s->name = from_stdin ? "stdin" : s->o.script;
    s->in = from_stdin ? stdin : fopen(s->o.script, "r");
    if (!s->in)
        return fail(2, "%s: %s", s->name, strerror(errno));
    if (int st = check_outputs(s))
        return st;
    if (rereadable(s->in, &s->start)) {
        int st = scan_script(s->in, s->name, nullptr, nullptr, err, sizeof err);
        return st ? fail(st, "%s", err) : 0;
    }
    FILE *spool = temporary_file();
    if (!spool)
        return fail(1, "cannot make a temporary file for standard input: %s", strerror(errno));
    int st = scan_script(s->in, s->name, spool_stretch, spool, err, sizeof err);
    if (st == 0 && fflush(spool) != 0)
        st = 1;
    if (st == 1 || (st == 0 && ferror(spool))) {
        int e = errno ? errno : EIO;
        fclose(spool);
        return fail(1, "cannot keep standard input in a temporary file: %s", strerror(e));
    }
    if (st) {
        fclose(spool);
        return fail(st, "%s", err);
    }
    rewind(spool);
    s->in = spool;   /* closed by finish; stdin is left alone */
    s->start = 0;
    return 0;
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
    load_car(&s->drive);
    hold_keys(0);
    return 0;
}

/* Run: every stretch, one logic() and one trace row a tick. */
static int run(session *s)
{
    run_state r = {&s->out, 0};
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

/* ----------------------------------------------------------------------
 * A sweep: the base car, every axis and value checked, the threads and
 * the shard, before any setup runs; then the CSV on standard output.
 * ---------------------------------------------------------------------- */

/* text as a whole number from lo to hi, and nothing else. */
static bool whole_number(const char *text, long lo, long hi, long *out)
{
    char *end;
    errno = 0;
    long v = strtol(text, &end, 10);
    if (end == text || *end || errno || v < lo || v > hi || !isdigit((unsigned char)*text))
        return false;
    *out = v;
    return true;
}

static int sweep(const options *o, double shift)
{
    sweep_how how;
    how.shift_rpm = shift;
    how.threads = sweep_cores();
    long n;
    if (o->threads && !whole_number(o->threads, 1, 1024, &n))
        return fail(2, "--threads \"%s\": a number of threads from 1 to 1024 is wanted", o->threads);
    if (o->threads)
        how.threads = (int)n;
    if (o->shard) {
        const char *slash = strchr(o->shard, '/');
        std::string k(o->shard, slash ? (size_t)(slash - o->shard) : 0);
        if (!slash || !whole_number(slash + 1, 1, SWEEP_SETUPS_MAX, &how.shards)
            || !whole_number(k.c_str(), 0, how.shards - 1, &how.shard))
            return fail(2, "--shard \"%s\": K/N is wanted, N shards of the grid (1 to ten million) "
                        "and K the one to run (0 to N - 1)", o->shard);
    }
    sweep_grid g;
    g.base = KVT;
    char err[512];
    if (!o->cars.empty() && read_car_file(o->cars[0], &g.base, err, sizeof err) != 0)
        return fail(2, "%s", err);
    for (const char *v : o->vary)
        if (sweep_add_axis(&g, v, err, sizeof err) != 0)
            return fail(2, "--vary \"%s\": %s", v, err);
    int werr = sweep_print(&g, &how, stdout);
    return werr ? fail(1, "cannot write the sweep to standard output: %s", strerror(werr)) : 0;
}

/* ----------------------------------------------------------------------
 * The handling sheet: every car file read and checked, and the shift
 * speed, before anything is run or written; then one column per car.
 * ---------------------------------------------------------------------- */
static int sheet(const options *o)
{
    double shift = SHEET_SHIFT_DEFAULT;
    if (o->shift) {
        char *end;
        errno = 0;
        shift = strtod(o->shift, &end);
        if (*end || end == o->shift || errno || !(shift > 0) || !std::isfinite(shift))
            return fail(2, "--shift \"%s\": an engine speed in rev/min above 0 is wanted", o->shift);
    }
    if (!o->vary.empty())
        return sweep(o, shift);
    size_t n = o->cars.empty() ? 1 : o->cars.size();
    std::vector<car> cars(n, KVT);
    std::vector<std::string> names(n, "preset");
    char err[512], name[256];
    for (size_t i = 0; i < o->cars.size(); i++) {
        if (read_car_file(o->cars[i], &cars[i], err, sizeof err) != 0)
            return fail(2, "%s", err);
        sheet_column_name(o->cars[i], name, sizeof name);
        names[i] = name;
    }

    FILE *runs = nullptr;
    if (o->runs && !(runs = fopen(o->runs, "w")))
        return fail(1, "cannot write the runs \"%s\": %s", o->runs, strerror(errno));
    if (runs)
        fputs("car,run,time,kmh\n", runs);
    std::vector<sheet_figures> figs(n);
    std::vector<const char *> cols(n);
    for (size_t i = 0; i < n; i++) {
        sheet_runs_file rows = {runs, names[i].c_str()};
        sheet_how how;
        how.shift_rpm = shift;
        if (runs)
            how.tick = sheet_runs_row, how.ctx = &rows;
        sheet_measure(&cars[i], &how, &figs[i]);
        cols[i] = names[i].c_str();
    }
    int st = 0;
    if (runs && (ferror(runs) | fclose(runs)))
        st = fail(1, "cannot write the runs \"%s\": %s", o->runs, strerror(errno ? errno : EIO));
    sheet_print(stdout, cols.data(), figs.data(), (int)n);
    if (fflush(stdout) != 0 || ferror(stdout))
        st = fail(1, "cannot write the sheet to standard output: %s", strerror(errno ? errno : EIO));
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
    if (st == 0 && s.o.sheet)
        return sheet(&s.o);
    if (st == 0)
        st = check(&s);
    if (st == 0)
        st = prepare(&s);
    if (st == 0)
        st = run(&s);
    return finish(&s, st);
}
