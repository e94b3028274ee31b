/*
 * sheet/sweep.cpp -- grids of setups, their sheets on threads, the CSV
 * (see sweep.h).
 *
 * Values are counts of their last decimal place (0.7:1.3:0.3 is 7, 13
 * and 3 tenths), so no value is ever a binary fraction until
 * car_field_set rounds its decimal text, once.
 */
#include "sheet/sweep.h"

#include <algorithm>
#include <cerrno>
#include <string_view>

#include "run/threads.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include "sim/carfile.h"

/* ----------------------------------------------------------------------
 * Plain decimals: [+-] digits [. digits], at least one digit.
 * ---------------------------------------------------------------------- */
struct decimal {
    int64_t units;   /* of the last place */
    int places;
};

static const int64_t DIGITS_LIMIT = 1000000000000000000;   /* 10^SWEEP_DIGITS_MAX */

/* 0, 1 when t is no plain decimal, 2 when it has too many digits. */
static int parse_decimal(std::string_view t, decimal *d)
{
    size_t i = 0;
    bool negative = false, point = false, digit = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        negative = t[i++] == '-';
    int64_t u = 0;
    int places = 0;
    for (; i < t.size(); i++) {
        if (t[i] == '.' && !point) {
            point = true;
            continue;
        }
        if (t[i] < '0' || t[i] > '9')
            return 1;
        digit = true;
        places += point;
        u = u * 10 + (t[i] - '0');
        if (u >= DIGITS_LIMIT || places > SWEEP_DIGITS_MAX)
            return 2;
    }
    if (!digit)
        return 1;
    *d = {negative ? -u : u, places};
    return 0;
}

/* d in units of `places` (at least its own); false when that needs more
 * digits than an axis keeps. */
static bool to_places(decimal *d, int places)
{
    for (; d->places < places; d->places++) {
        if (d->units >= DIGITS_LIMIT / 10 || d->units <= -DIGITS_LIMIT / 10)
            return false;
        d->units *= 10;
    }
    return true;
}

static int64_t power10(int n)
{
    int64_t p = 1;
    while (n-- > 0)
        p *= 10;
    return p;
}

/* ----------------------------------------------------------------------
 * Axes.
 * ---------------------------------------------------------------------- */
int sweep_add_axis(sweep_grid *g, const char *text, char *err, size_t errsize)
{
    std::string_view t(text);
    size_t eq = t.find('='), c1 = t.find(':', eq + 1), c2 = t.find(':', c1 + 1);
    if (eq == std::string_view::npos || eq == 0 || c1 == std::string_view::npos
        || c2 == std::string_view::npos || t.find(':', c2 + 1) != std::string_view::npos) {
        snprintf(err, errsize, "a sweep is NAME=FROM:TO:STEP, e.g. Mass=800:1400:100");
        return -1;
    }
    sweep_axis a;
    a.field = std::string(t.substr(0, eq));
    bool whole;
    if (car_field_find(a.field.c_str(), &a.offset, &whole, err, errsize) != 0)
        return -1;
    for (const sweep_axis &b : g->axes)
        if (b.offset == a.offset) {
            if (a.field == b.field)
                snprintf(err, errsize, "%s is varied twice", a.field.c_str());
            else
                snprintf(err, errsize, "%s is %s, varied already", a.field.c_str(), b.field.c_str());
            return -1;
        }

    std::string_view parts[3] = {t.substr(eq + 1, c1 - eq - 1), t.substr(c1 + 1, c2 - c1 - 1),
                                 t.substr(c2 + 1)};
    static const char *const what[3] = {"FROM", "TO", "STEP"};
    decimal d[3];
    int places = 0;
    for (int k = 0; k < 3; k++) {
        int bad = parse_decimal(parts[k], &d[k]);
        if (bad) {
            snprintf(err, errsize, bad == 1 ? "%s \"%.*s\" is not a decimal such as 800, 0.75 or -2.5"
                                            : "%s \"%.*s\" has more than 18 digits",
                     what[k], (int)parts[k].size(), parts[k].data());
            return -1;
        }
        places = std::max(places, d[k].places);
    }
    for (decimal &x : d)
        if (!to_places(&x, places)) {
            snprintf(err, errsize, "FROM, TO and STEP together need more than 18 digits");
            return -1;
        }
    int64_t from = d[0].units, to = d[1].units, step = d[2].units;
    if (step == 0) {
        snprintf(err, errsize, "STEP is 0: it must move towards TO");
        return -1;
    }
    if ((to > from && step < 0) || (to < from && step > 0)) {
        snprintf(err, errsize, "STEP %.*s points away from TO", (int)parts[2].size(), parts[2].data());
        return -1;
    }
    a.count = (long)((to - from) / step + 1);   /* the same signs: truncation is the floor */

    if (whole && places > 0) {   /* an integer field: 2.0:5:1 is fine, 2.5 is not */
        int64_t unit = power10(places);
        if (from % unit || step % unit) {
            snprintf(err, errsize, "%s takes integers: FROM and STEP must be whole numbers",
                     a.field.c_str());
            return -1;
        }
        from /= unit, step /= unit, places = 0;
    }
    a.from = from, a.step = step, a.places = places;

    if (a.count > SWEEP_SETUPS_MAX / g->setups) {
        snprintf(err, errsize, "the grid would have more than ten million setups (%ld x %ld)",
                 g->setups, a.count);
        return -1;
    }
    /* Each value as a car file would take it; the others' axes are checked
     * alone too, and a field's check looks at that field alone. */
    car scratch = g->base;
    for (long i = 0; i < a.count; i++) {
        char value[32], why[400];
        sweep_value_text(&a, i, value, sizeof value);
        if (car_field_set(&scratch, a.field.c_str(), value, why, sizeof why) != 0) {
            snprintf(err, errsize, "at %s=%s: %s", a.field.c_str(), value, why);
            return -1;
        }
    }
    g->axes.push_back(a);
    g->setups *= a.count;
    return 0;
}

void sweep_value_text(const sweep_axis *a, long i, char *out, size_t size)
{
    int64_t u = a->from + i * a->step;
    char digits[24];
    int n = snprintf(digits, sizeof digits, "%0*llu", a->places + 1,
                     (unsigned long long)(u < 0 ? -u : u));
    snprintf(out, size, "%s%.*s%s%s", u < 0 ? "-" : "", n - a->places, digits,
             a->places ? "." : "", digits + n - a->places);
}

/* Which value of each axis setup index takes: the last varies fastest. */
static std::vector<long> values_at(const sweep_grid *g, long index)
{
    std::vector<long> at(g->axes.size());
    for (size_t k = at.size(); k-- > 0; index /= g->axes[k].count)
        at[k] = index % g->axes[k].count;
    return at;
}

void sweep_setup(const sweep_grid *g, long index, car *out)
{
    *out = g->base;
    std::vector<long> at = values_at(g, index);
    for (size_t k = 0; k < at.size(); k++) {
        char value[32], err[400];
        sweep_value_text(&g->axes[k], at[k], value, sizeof value);
        car_field_set(out, g->axes[k].field.c_str(), value, err, sizeof err);   /* checked when added */
    }
}

static void print_row(FILE *out, const sweep_grid *g, long index, const sheet_figures *f, bool lap)
{
    std::vector<long> at = values_at(g, index);
    char text[64];
    fprintf(out, "%ld", index);
    for (size_t k = 0; k < at.size(); k++) {
        sweep_value_text(&g->axes[k], at[k], text, sizeof text);
        fprintf(out, ",%s", text);
    }
    for (int i = 0; i < SHEET_FIGURES + (lap ? SHEET_LAP_FIGURES : 0); i++) {
        sheet_figure_text(f, i, text, sizeof text);
        fprintf(out, ",%s", text);
    }
    /* the reason quoted: it has commas of its own, never a quote */
    fprintf(out, f->fault[0] ? ",\"%s\"\n" : ",%s\n", f->fault);
}

/* ----------------------------------------------------------------------
 * The run.  Threads take the shard's setups in index order, one at a
 * time, and leave each one's figures in a ring at its place; whichever
 * thread finds the next row to print done prints it and every done row
 * after it, in order, flushed at once.  So the first rows appear as soon
 * as they are measured, memory stays flat (a thread waits while the ring
 * is full), and a write that fails (a closed pipe) stops every thread
 * from taking another setup.
 * ---------------------------------------------------------------------- */
enum { SWEEP_RING = 4096 };

struct sweep_run {
    const sweep_grid *g;
    const sweep_how *how;
    FILE *out;
    long total;
    std::vector<sheet_figures> ring;
    std::unique_ptr<std::atomic<bool>[]> done;
    std::atomic<long> next{0};      /* the next setup to take */
    std::atomic<long> printed{0};   /* rows printed */
    std::atomic<bool> stop{false};  /* a write failed */
    int werr = 0;                   /* its errno (EPIPE: the reader went), under `printing` */
    std::mutex printing;
};

/* The done rows from the next to print on, while this thread may print. */
static void print_ready(sweep_run *r)
{
    std::unique_lock<std::mutex> lock(r->printing, std::try_to_lock);
    if (!lock.owns_lock())
        return;
    long k = r->printed.load();
    long from = k;
    for (; k < r->total && r->done[k % SWEEP_RING].load(std::memory_order_acquire); k++) {
        print_row(r->out, r->g, r->how->shard + k * r->how->shards, &r->ring[k % SWEEP_RING], r->how->track != nullptr);
        r->done[k % SWEEP_RING].store(false, std::memory_order_relaxed);
    }
    if (k == from)
        return;
    if (fflush(r->out) != 0 || ferror(r->out)) {
        r->werr = errno ? errno : EIO;
        r->stop = true;
    }
    r->printed.store(k, std::memory_order_release);
    if (r->how->progress)
        r->how->progress(r->how->ctx, k, r->total);
}

static void take_setups(sweep_run *r)
{
    sheet_how sheet;
    sheet.shift_rpm = r->how->shift_rpm;
    sheet.track = r->how->track;
    sheet.lap_drives = r->how->lap_drives;
    for (long j; !r->stop && (j = r->next.fetch_add(1)) < r->total;) {
        while (j - r->printed.load(std::memory_order_acquire) >= SWEEP_RING && !r->stop) {
            print_ready(r);   /* the ring is full: the rows before j go out first */
            std::this_thread::yield();
        }
        car c;
        sweep_setup(r->g, r->how->shard + j * r->how->shards, &c);
        sheet_measure(&c, &sheet, &r->ring[j % SWEEP_RING]);
        r->done[j % SWEEP_RING].store(true, std::memory_order_release);
        print_ready(r);
    }
}

int sweep_print(const sweep_grid *g, const sweep_how *how, FILE *out)
{
    fputs("index", out);
    for (const sweep_axis &a : g->axes)
        fprintf(out, ",%s", a.field.c_str());
    for (const char *c : SHEET_COLUMNS)
        fprintf(out, ",%s", c);
    for (int i = 0; how->track && i < SHEET_LAP_FIGURES; i++)
        fprintf(out, ",%s", SHEET_LAP_COLUMNS[i]);
    fputs(",fault\n", out);
    if (fflush(out) != 0 || ferror(out))
        return errno ? errno : EIO;

    sweep_run r;
    r.g = g, r.how = how, r.out = out;
    /* The shard's j-th setup is shard + j x shards. */
    r.total = how->shard < g->setups ? (g->setups - 1 - how->shard) / how->shards + 1 : 0;
    r.ring.resize((size_t)std::min<long>(r.total, SWEEP_RING));
    r.done.reset(new std::atomic<bool>[SWEEP_RING]());
    int threads = (int)std::max<long>(1, std::min<long>(how->threads, r.total));
    run_pool *pool = run_pool_new(threads);
    run_split(pool, (size_t)threads, 1, [&](size_t, size_t) { take_setups(&r); });
    run_pool_free(pool);
    while (!r.stop && r.printed < r.total)   /* a row left to one that had the lock */
        print_ready(&r);
    if (r.werr)
        return r.werr;
    if (fflush(out) != 0 || ferror(out))
        return errno ? errno : EIO;
    return 0;
}
