/*
 * frame/startup.cpp -- bringing the library, display and data up: init().
 *
 * Every step is checked.  A failure leaves graphics mode, says on stderr
 * which step failed (and for a picture, which file and in which folder it
 * was looked for) and exits with status 1 before the main loop.  Never
 * through the library's message box: under X it waits for a click, and a
 * run with nobody at the screen would hang.
 */
#include <allegro.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "frame.h"
#include "present/present.h"
#include "sim/sim.h"
#include "ticks.h"

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

/* A picture the game cannot do without: the file and the folder it was
 * looked for in are named when it fails. */
static BITMAP *need_picture(const char *path)
{
    char why[256];
    BITMAP *b = load_picture(path, why, sizeof why);
    if (b)
        return b;

    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd))
        snprintf(cwd, sizeof cwd, "the working directory");
    char what[4400];
    snprintf(what, sizeof what, "cannot load \"%s\" (looked in %s)", path, cwd);
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
 * pictures, the frame buffer, the car preset and its start position (a
 * course's start with --course), and then the outputs emptied for the drive.
 * Ticks count from the timer step on, through the title screen too.
 * ---------------------------------------------------------------------- */
void init(void)
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

    kvtcar = need_picture("car/kvtcar.bmp");
    Track = need_picture("tarmac.bmp");

    buffer = create_bitmap(1024, 768);
    if (!buffer)
        fail("cannot create the 1024x768 frame buffer", "out of memory");

    sim_start();
    load_game_car();
    start_game_course();

    /* Only now, with everything up, are the outputs emptied. */
    begin_drive_files();
    drive_hooks();
}

int shut_down(void)
{
    int st = close_drive_files();
    destroy_bitmap(buffer);
    buffer = NULL;
    int signo = exit_signal;
    return signo ? 128 + signo : st;
}
