/*
 * frame/main.cpp -- start-up, the fixed-step main loop and shut-down.
 *
 * Start-up (init): every step is checked.  A failure leaves graphics
 * mode, says on stderr which step failed (and for a picture, which file
 * and in which folder it was looked for) and exits with status 1 before
 * the main loop.  Never through the library's message box: under X it
 * waits for a click, and a run with nobody at the screen would hang.
 *
 * The loop: each pass, Escape ends the game; then every tick owed is run,
 * back to back, with no cap on the backlog; then one frame.  The
 * simulation thus keeps 100 ticks a second however slow the frames or
 * however long the title screen was up.  A close request (the window's
 * close button, Escape on the title screen, SIGINT or SIGTERM) stops the
 * run between ticks, with no further tick or frame.  Every way out of a
 * started game goes through shut_down(), which closes the recording and
 * the trace.  What the ticks recorded is written out between frames.
 * While paused (P) no tick runs; the period key then runs one tick per
 * press.  While the car is halted on a state that is not finite, ticks
 * wait for R (the ticks owed meanwhile are dropped, as while paused).
 * While a replay plays, each tick owed runs as many of its ticks as its
 * speed asks (16 at 16x, one in four at 1/4x).
 */
#include <allegro.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "drive/cli.h"
#include "drive/datadir.h"
#include "frame/frame.h"
#include "frame/ticks.h"
#include "present/present.h"
#include "sim/sim.h"

/* The simulation's key numbers are the library's scancodes. */
static_assert((int)SIM_KEY_A == KEY_A && (int)SIM_KEY_Q == KEY_Q
              && (int)SIM_KEY_R == KEY_R && (int)SIM_KEY_X == KEY_X
              && (int)SIM_KEY_Z == KEY_Z && (int)SIM_KEY_LEFT == KEY_LEFT
              && (int)SIM_KEY_RIGHT == KEY_RIGHT && (int)SIM_KEY_UP == KEY_UP
              && (int)SIM_KEY_DOWN == KEY_DOWN,
              "simulation key numbers must match the library's");

std::atomic<int> close_requested{0};
std::atomic<int> exit_signal{0};

/* Stored from a signal handler: only lock-free atomics may be. */
static_assert(std::atomic<int>::is_always_lock_free, "close flags must be lock-free");

static int graphics_on;

/* A start that fails leaves the files as they were (drive files). */
static void fail(const char *what, const char *why)
{
    if (graphics_on)
        set_gfx_mode(GFX_TEXT, 0, 0, 0, 0);
    abandon_drive_files();
    exit(complain(1, "%s: %s", what, why && *why ? why : "unknown error"));
}

std::string pictures_dir;

int find_pictures(void)
{
    char err[4400];
    if (find_data_dir(game_opts.data, &pictures_dir, err, sizeof err) != 0)
        return complain(1, "%s", err);
    return 0;
}

/* A picture the game cannot do without: the file and the folder it was
 * looked for in are named when it fails. */
static BITMAP *need_picture(const char *name)
{
    char why[256];
    BITMAP *b = load_picture(data_path(pictures_dir, name).c_str(), why, sizeof why);
    if (b)
        return b;
    char what[4400];
    snprintf(what, sizeof what, "cannot load \"%s\" (looked in %s)", name,
             folder_shown(pictures_dir).c_str());
    fail(what, why);
    return nullptr;
}

/* The library gives no reason when it finds no system to run on; under
 * X that is nearly always a missing or unreachable display. */
static const char *no_system_reason(void)
{
    static char why[300];
    const char *display = getenv("DISPLAY");
    if (allegro_error[0])
        return allegro_error;
    if (!display || !*display)
        return "no display to open (DISPLAY is not set)";
    snprintf(why, sizeof why, "cannot connect to the X display \"%.200s\"", display);
    return why;
}

static void close_button(void) { close_requested = 1; }

/* SIGINT, SIGTERM: only flags are set here (async-signal-safe); the title
 * screen or the main loop sees them within a pass and the game ends
 * through shut_down() as for the close button.  SIGPIPE is ignored: a
 * trace into a closed pipe is a failed write like any other. */
static void on_signal(int signo)
{
    exit_signal = signo;
    close_requested = 1;
}

/* The library installs handlers of its own at start that tear the display
 * down under the main thread (a crash, most times): ours replace them, so
 * this runs after the library has started. */
static void catch_signals(void)
{
    struct sigaction sa = {};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

/* ----------------------------------------------------------------------
 * init: library, SIGINT and SIGTERM, 100 Hz tick, keyboard, 1024x768x16 display, the two
 * pictures, the frame buffer, and then the drive begun: the car (the
 * preset or a file) at its start position (a course's start with
 * --course), the outputs emptied.
 * Ticks count from the timer step on, through the title screen too.
 * ---------------------------------------------------------------------- */
static void init(void)
{
    /* The headers' own version: Debian's 4.4 runtime refuses 4.2.2. */
    if (allegro_init() != 0)
        fail("cannot start the Allegro library", no_system_reason());
    catch_signals();
    if (install_timer() != 0)
        fail("cannot install the timer", allegro_error);
    if (install_int_ex(timer_add, BPS_TO_TIMER(100)) != 0)
        fail("cannot install the 100 Hz tick", allegro_error);
    if (install_keyboard() != 0)
        fail("cannot install the keyboard", allegro_error);

    set_color_depth(16);
    if (set_gfx_mode(game_opts.windowed ? GFX_AUTODETECT_WINDOWED : GFX_AUTODETECT,
                     1024, 768, 0, 0) != 0)
        fail("cannot open the 1024x768 16-bit display", allegro_error);
    graphics_on = 1;
    set_close_button_callback(close_button);

    kvtcar = need_picture(PICTURE_FILES[0]);
    Track = need_picture(PICTURE_FILES[1]);

    buffer = create_bitmap(1024, 768);
    if (!buffer)
        fail("cannot create the 1024x768 frame buffer", "out of memory");

    /* Only now, with everything up, is the car started and are the
     * outputs emptied. */
    begin_drive();
}

static int shut_down(void)
{
    int st = close_drive_files();
    destroy_bitmap(buffer);
    buffer = NULL;
    int signo = exit_signal;
    return signo ? 128 + signo : st;
}

int main(int argc, char **argv)
{
    int st = parse_game_options(argc, argv);
    if (st != CLI_RUN)
        return st;
    if (game_opts.car && read_game_car() != 0)
        return 1;
    if ((st = read_game_course()))
        return st;
    if (find_pictures() != 0)
        return 1;

    if ((st = open_drive_files()))
        return st;

    init();
    if (!replaying()) {
        gamemenu();
        if (game_opts.course)
            tick_drop_owed();   /* a course's countdown begins as its view shows, not under the title */
    }

    while (!key[KEY_ESC] && !close_requested) {
        hotkeys();
        if (paused && step_asked) {
            step_asked = false;
            if (tick_may_run())
                game_tick();
        }
        while (!paused && tick_owed() && !close_requested) {
            if (!tick_may_run()) {
                tick_drop_owed();
                break;
            }
            tick_done();
            for (int n = viewer_ticks(); n > 0 && !paused && !close_requested; n--)
                game_tick();
        }
        if (close_requested)
            break;
        viewer_show();
        graphic();
        write_drive_files(false);
    }

    return shut_down();
}
END_OF_MAIN()
