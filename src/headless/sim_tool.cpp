/*
 * headless/sim_tool.cpp -- options, validation, the run, the frame.
 *
 * Order of work: options, then the whole script checked and the car and
 * course it was recorded with (drive/header.h), then the frame's pictures loaded
 * and its folder checked, and only then is the trace file opened and the
 * first tick run.  So bad input writes nothing.
 *
 * A script file is read twice (check, then run), so memory stays flat
 * however long it is; a pipe is checked into a spool and run from there
 * (script.h).  No output may be a file the run reads (the script, the
 * car file, the one a recording names, the course file, the frame's
 * pictures) or another output.  With a course, every tick is counted on
 * it as the game counts it (course/race.h), and each completed lap is a
 * row of --laps.
 *
 * A write that fails, or an output found removed meanwhile, stops the run
 * with one line naming the file and why; so does a state that stops being
 * finite, naming the tick and the variable, the trace then ending at the
 * tick before.
 */
#include "sim_tool.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <strings.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "course/race.h"
#include "drive/cli.h"
#include "drive/datadir.h"
#include "drive/files.h"
#include "drive/header.h"
#include "frame_out.h"
#include "present/present.h"
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
    cli_vcomplain("caravelt-sim", status, fmt, ap);
    va_end(ap);
    return status;
}

struct options {
    const char *trace = nullptr;   /* null or "-": standard output */
    const char *frame = nullptr;   /* no frame unless asked */
    const char *data = nullptr;    /* null: the folder found by the pictures' rule */
    const char *script = "-";      /* "-": standard input */
    std::vector<const char *> cars;      /* car files; one unless --sheet */
    std::vector<const char *> operands;  /* the script, when given */
    bool sheet = false;            /* the handling sheet instead of a script */
    const char *shift = nullptr;   /* the sheet's shift speed, rev/min */
    const char *runs = nullptr;    /* the sheet's runs, tick by tick, as CSV */
    bool force = false;            /* a recording run with a car or course not its own */
    const char *course = nullptr;  /* a course file: the car starts there, laps are counted */
    const char *laps = nullptr;    /* the course's completed laps as CSV */
    std::vector<const char *> vary;   /* a sweep's axes, NAME=FROM:TO:STEP */
    const char *threads = nullptr;    /* a sweep's threads */
    const char *shard = nullptr;      /* a sweep's share, K/N */
};

static const char USAGE[] =
    "usage: caravelt-sim [OPTION]... [SCRIPT]\n"
    "       caravelt-sim --sheet [--car FILE]... [--shift RPM] [--runs FILE.csv]\n"
    "       caravelt-sim --sheet --vary NAME=FROM:TO:STEP... [--car FILE] [--shift RPM]\n"
    "                    [--threads N] [--shard K/N]\n"
    "Runs the game's own tick for each stretch of SCRIPT (standard input when\n"
    "absent or -), headless.  Every FILE is taken from the current folder.\n";

static const char AFTER[] =
    "SCRIPT lines: TICKS [KEY ...], keys Up Down Left Right A Z X R Q; '#' comments;\n"
    "  \"1 Q KEY... / KEY...\": the keys after \"/\" are held when the title screen returns.\n"
    "A recording of the game names its car in its header: without --car that car\n"
    "file is driven when it still hashes the same, and a car that does not is refused.\n"
    "It names its course too: without --course that course file is run on when it\n"
    "still hashes the same; a --course must hash the same, and a recording made on\n"
    "none runs on none.  --sheet ignores --course.\n"
    "With --vary, --sheet prints the figures of every setup of a grid as CSV, the\n"
    "first --vary slowest.\n"
    "Pictures: from --data DIR; without it, from the current folder when it holds\n"
    "tarmac.bmp and car/kvtcar.bmp, else from the data folder beside the binary.\n";

static bool ends_with_bmp(const char *path)
{
    size_t n = strlen(path);
    return n > 4 && strcasecmp(path + n - 4, ".bmp") == 0;
}

/* Fills o from argv against the table; CLI_RUN, 0 after the help or the
 * version, or 2 after saying what is wrong. */
static int parse_options(int argc, char **argv, options *o)
{
    const cli_option rows[] = {
        {"--car", "FILE", "drive the car in this TOML car file (with --sheet: one column each)",
         nullptr, nullptr, &o->cars},
        {"--course", "FILE", "start on the course in this TOML course file and count its laps",
         nullptr, &o->course, nullptr},
        {"--laps", "FILE.csv", "with --course: one CSV row per lap completed", nullptr, &o->laps,
         nullptr},
        {"--trace", "FILE", "one CSV row per tick into FILE (default standard output)", nullptr,
         &o->trace, nullptr},
        {"--frame", "FILE.bmp", "the driving view after the last tick, as a BMP picture", nullptr,
         &o->frame, nullptr},
        {"--data", "DIR", "the folder of the pictures --frame draws with (see below)", nullptr,
         &o->data, nullptr},
        {"--force", nullptr, "run a recording even with a car or course other than its own",
         &o->force, nullptr, nullptr},
        {"--sheet", nullptr, "print a Markdown table of each car's handling figures", &o->sheet,
         nullptr, nullptr},
        {"--shift", "RPM", "the sheet's shift speed (default 6000 rev/min)", nullptr, &o->shift,
         nullptr},
        {"--runs", "FILE.csv", "the sheet's acceleration and braking runs, tick by tick", nullptr,
         &o->runs, nullptr},
        {"--vary", "NAME=FROM:TO:STEP", "a sweep: the sheet of every value of a car field, as CSV",
         nullptr, nullptr, &o->vary},
        {"--threads", "N", "how many of the sweep's setups run at once (default: every core)",
         nullptr, &o->threads, nullptr},
        {"--shard", "K/N", "only the sweep's setups whose index modulo N is K (K from 0)", nullptr,
         &o->shard, nullptr},
    };
    const cli_program program = {"caravelt-sim", USAGE, AFTER, rows, std::size(rows), &o->operands};
    int st = cli_parse(&program, argc, argv);
    if (st != CLI_RUN)
        return st;
    if (o->operands.size() > 1)
        return fail(2, "more than one script: \"%s\"", o->operands[1]);
    if (!o->operands.empty())
        o->script = o->operands[0];
    const char *sweep_only = o->threads ? "--threads" : o->shard ? "--shard" : nullptr;
    if (o->sheet) {
        /* The sheet drives its own manoeuvres and writes only its table. */
        const char *clash = o->trace ? "--trace" : o->frame ? "--frame" : o->laps ? "--laps"
                            : !o->operands.empty() ? "script" : nullptr;
        if (clash)
            return fail(2, "--sheet runs its own manoeuvres: it takes no %s", clash);
        if (o->vary.empty() && sweep_only)
            return fail(2, "%s is for sweeps: only with --vary", sweep_only);
        if (!o->vary.empty() && o->cars.size() > 1)
            return fail(2, "--car given %zu times: a sweep varies one car", o->cars.size());
        if (!o->vary.empty() && o->runs)
            return fail(2, "--runs is for the sheet of single cars: not with --vary");
        return CLI_RUN;
    }
    if (!o->trace)
        o->trace = "-";
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
    return CLI_RUN;
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

/* Flushes and closes an output written with stdio: 0, or its first
 * failure (an errno, or FILE_REMOVED) for failure_text. */
static int close_output(FILE *f)
{
    int e = fflush(f) != 0 || ferror(f) ? (errno ? errno : EIO) : 0;
    if (!e && file_removed(fileno(f)))
        e = FILE_REMOVED;
    if (fclose(f) != 0 && !e)
        e = errno ? errno : EIO;
    return e;
}

/* ----------------------------------------------------------------------
 * One invocation: what was opened, so that one way out closes it all.
 * ---------------------------------------------------------------------- */
struct session {
    options o;
    script_in in;                 /* the script, or its spool */
    car drive = KVT;              /* the car the run drives */
    std::string car_file;         /* its file, "" for the preset */
    std::string data_dir;         /* the pictures' folder, for --frame (datadir.h) */
    std::string data_missing;     /* why it was not found, told before the frame */
    bool frame_ready = false;     /* frame_begin succeeded */
    FILE *tf = nullptr;           /* the trace; stdout is never closed */
    trace_out out = {};
    course track;                 /* --course's, or the recording's own */
    std::string course_file;      /* its file, "" for none */
    course_race race;
    FILE *lf = nullptr;           /* --laps */
};

static const char *trace_name(const session *s)
{
    return strcmp(s->o.trace, "-") == 0 ? "standard output" : s->o.trace;
}

/* No output is a file the run reads or the other output; 0 or 2 after
 * saying so. */
static int check_files(session *s)
{
    std::vector<run_file> files;
    if (!s->car_file.empty())
        files.push_back({"the car file", s->car_file, id_of_path(s->car_file.c_str()), false});
    if (s->o.course)
        files.push_back({"the course file", s->o.course, id_of_path(s->o.course), false});
    files.push_back({"the script", s->in.f == stdin ? "standard input" : s->o.script, s->in.id, false});
    if (s->o.frame && s->data_missing.empty())
        for (const char *pic : PICTURE_FILES) {
            std::string path = data_path(s->data_dir, pic);
            files.push_back({"the picture", path, id_of_path(path.c_str()), false});
        }
    bool to_stdout = strcmp(s->o.trace, "-") == 0;
    files.push_back({"the trace", trace_name(s),
                     to_stdout ? id_of_fd(STDOUT_FILENO) : id_of_path(s->o.trace), true});
    if (s->o.frame)
        files.push_back({"the frame", s->o.frame, id_of_path(s->o.frame), true});
    if (s->o.laps)
        files.push_back({"the laps", s->o.laps, id_of_path(s->o.laps), true});
    char err[512];
    return check_run_files(files, err, sizeof err) ? fail(2, "%s", err) : 0;
}

/* Check: the car and course files and the whole script read, every line
 * valid, the car and course the script was recorded with (header.h), no
 * output on an input; nothing written. */
static int check(session *s)
{
    char err[1024];
    const char *given = s->o.cars.empty() ? nullptr : s->o.cars[0];
    car given_car;
    if (given && read_car_file(given, &given_car, err, sizeof err) != 0)
        return fail(2, "%s", err);
    if (s->o.course && read_course_file(s->o.course, &s->track, err, sizeof err) != 0)
        return fail(2, "%s", err);
    if (script_open(&s->in, s->o.script, err, sizeof err) != 0)
        return fail(2, "%s", err);
    if (s->o.frame && find_data_dir(s->o.data, &s->data_dir, err, sizeof err) != 0)
        s->data_missing = err;
    if (int st = script_check(&s->in, SCRIPT_SPOOL_MAX, err, sizeof err))
        return fail(st, "%s", err);
    if (replay_car(s->in.header, s->in.name, given, &given_car, s->o.force, &s->drive,
                   &s->car_file, err, sizeof err) != 0)
        return fail(2, "%s", err);
    course given_course = s->track;
    if (replay_course(s->in.header, s->in.name, s->o.course, &given_course, s->o.force, &s->track,
                      &s->course_file, err, sizeof err) != 0)
        return fail(2, "%s", err);
    if (!s->course_file.empty())
        s->o.course = s->course_file.c_str();   /* a recording's own course, when none was given */
    if (s->o.laps && !s->o.course)
        return fail(2, "--laps needs --course: laps are counted on a course");
    return check_files(s);
}

/* A completed lap's row to --laps, or its header for null; nothing
 * without --laps.  A failed write is told when the file is closed. */
static void lap_row(session *s, const course_lap *l)
{
    if (!s->lf)
        return;
    std::string row;
    l ? course_lap_row(&row, &s->track, l) : course_laps_header(&row, &s->track);
    fputs(row.c_str(), s->lf);
}

/* Prepare: the frame's pictures and folder and the laps' folder, then the
 * trace and laps files, before any tick; the state start-up leaves (at
 * the course's start with one). */
static int prepare(session *s)
{
    char err[512], why[256];
    if (s->o.frame) {
        if (!s->data_missing.empty())
            return fail(1, "%s", s->data_missing.c_str());
        if (frame_begin(s->data_dir.c_str(), err, sizeof err) != 0)
            return fail(1, "%s", err);
        s->frame_ready = true;
        if (!can_write(s->o.frame, why, sizeof why))
            return fail(1, "cannot write the frame \"%s\": %s", s->o.frame, why);
    }
    if (s->o.laps && !can_write(s->o.laps, why, sizeof why))
        return fail(1, "cannot write the laps \"%s\": %s", s->o.laps, why);
    bool to_stdout = strcmp(s->o.trace, "-") == 0;
    s->tf = to_stdout ? stdout : fopen(s->o.trace, "w");
    if (!s->tf)
        return fail(1, "cannot write the trace \"%s\": %s", s->o.trace, strerror(errno));
    trace_open(&s->out, s->tf, TRACE_BUFFER);
    trace_header(&s->out);
    if (s->o.laps && !(s->lf = fopen(s->o.laps, "w")))
        return fail(1, "cannot write the laps \"%s\": %s", s->o.laps, strerror(errno));
    sim_start();
    load_car(&s->drive);
    hold_keys(0);
    if (s->o.course) {
        course_start(&s->track);
        race_start(&s->race, &s->track, s->o.frame != nullptr);   /* the frame's ghost */
        view_race = &s->race;
        lap_row(s, nullptr);
    }
    return 0;
}

/* Run: every stretch, one logic() and one trace row a tick.  1 for a
 * failed write (told by finish) or a state no longer finite (told here),
 * 2 for a script changed since it was checked. */
static int run(session *s)
{
    char err[512];
    if (script_rewind(&s->in, err, sizeof err) != 0)
        return fail(2, "%s", err);
    uint64_t tick = 0;
    stretch st;
    int r;
    while ((r = script_next(&s->in, &st, err, sizeof err)) == 1) {
        hold_keys(st.keys, st.after);
        for (uint64_t i = 0; i < st.ticks; i++) {
            float x0 = x, y0 = y;
            logic();
            char why[128];
            if (state_not_finite(why, sizeof why))
                return fail(1, "%s:%lu: tick %llu: %s; the trace ends at tick %llu", s->in.name,
                            s->in.line, (unsigned long long)tick + 1, why,
                            (unsigned long long)tick);
            trace_row(&s->out, ++tick);
            if (s->out.failed)
                return 1;
            if (s->o.course && (race_after_tick(&s->race, x0, y0) & COURSE_LAP_DONE))
                lap_row(s, &s->race.p.last);
        }
    }
    return r == 2 ? fail(2, "%s", err) : 0;
}

/* Finish: the trace written out, the frame of the last state saved, and
 * everything opened closed, whatever status the steps before ended on.
 * A failed write is told here, once. */
static int finish(session *s, int st)
{
    if (s->tf) {
        int werr = trace_close(&s->out);
        bool to_stdout = s->tf == stdout;
        if (!to_stdout && fclose(s->tf) != 0 && !werr)
            werr = errno ? errno : EIO;
        if (werr)
            st = fail(1, "cannot write the trace \"%s\": %s", trace_name(s), failure_text(werr));
    }
    if (s->lf) {
        if (int e = close_output(s->lf))
            st = fail(1, "cannot write the laps \"%s\": %s", s->o.laps, failure_text(e));
    }
    if (st == 0 && s->frame_ready) {
        char err[512];
        if (frame_save(s->o.frame, err, sizeof err) != 0)
            st = fail(1, "%s", err);
    }
    if (s->frame_ready)
        frame_end();
    view_race = nullptr;
    script_close(&s->in);
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
    std::vector<run_file> files;
    if (!o->cars.empty())
        files.push_back({"the car file", o->cars[0], id_of_path(o->cars[0]), false});
    files.push_back({"the sweep", "standard output", id_of_fd(STDOUT_FILENO), true});
    if (check_run_files(files, err, sizeof err) != 0)
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

    std::vector<run_file> files;
    for (const char *c : o->cars)
        files.push_back({"the car file", c, id_of_path(c), false});
    if (o->runs)
        files.push_back({"the runs", o->runs, id_of_path(o->runs), true});
    files.push_back({"the sheet", "standard output", id_of_fd(STDOUT_FILENO), true});
    if (check_run_files(files, err, sizeof err) != 0)
        return fail(2, "%s", err);

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
    if (runs)
        if (int e = close_output(runs))
            st = fail(1, "cannot write the runs \"%s\": %s", o->runs, failure_text(e));
    sheet_print(stdout, cols.data(), figs.data(), (int)n);
    if (fflush(stdout) != 0 || ferror(stdout))
        st = fail(1, "cannot write the sheet to standard output: %s", strerror(errno ? errno : EIO));
    return st;
}

int sim_tool_main(int argc, char **argv)
{
    /* A closed pipe is a write error like any other: said, status 1. */
    signal(SIGPIPE, SIG_IGN);
    session s;
    int st = parse_options(argc, argv, &s.o);
    if (st != CLI_RUN)
        return st;
    if (s.o.sheet)
        return sheet(&s.o);
    st = check(&s);
    if (st == 0)
        st = prepare(&s);
    if (st == 0)
        st = run(&s);
    return finish(&s, st);
}
