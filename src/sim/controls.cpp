/*
 * sim/controls.cpp -- the keyboard turned into pedals, wheel and gear.
 *
 * Runs inside every tick, between the wraps and the drive.  Each step adds
 * a double step to a stored float and rounds once when storing; each limit
 * compares the float with a double bound.  That is why a pedal held for 40
 * ticks reads 0.9999996 and a released one rests at -1.8253923e-08, never 0.
 */
#include "sim.h"

static unsigned no_keys(void) { return 0; }
static void no_title(void) {}

constinit thread_local sim_key_reader sim_read_keys = no_keys;
constinit thread_local sim_title_hook sim_title_screen = no_title;

/* The masks hold_keys holds on this thread: at the start of the
 * controls, and when a title screen inside the tick returns. */
static thread_local unsigned held_start, held_after;

static unsigned read_held(void) { return held_start; }
static void title_returns_to_after(void) { held_start = held_after; }

void hold_keys(unsigned keys, unsigned after)
{
    held_start = keys;
    held_after = after;
    sim_read_keys = read_held;
    sim_title_screen = title_returns_to_after;
}

static int held(int bit) { return (KeyMask >> bit) & 1; }

/* Pedal travel per tick, both ways. */
static const double PEDAL_STEP = 0.025;
/* A pedal rises only from below this, so it stops one step above it. */
static const double PEDAL_TOP = 0.976;
/* A released pedal falls only from above this. */
static const double PEDAL_REST = 0.024;

/* Wheel: turns at 0.025 a tick, returns to the centre at 0.05 a tick. */
static const double WHEEL_TURN = 0.025;
static const double WHEEL_RETURN = 0.05;
static const double WHEEL_LOCK = 0.976;
static const double WHEEL_DEAD = 0.051;

/* ----------------------------------------------------------------------
 * pedal: one step of a pedal towards pressed while its key is held,
 * towards released while not.  Held at the top, it stays.
 * ---------------------------------------------------------------------- */
static void pedal(float *p, int bit)
{
    if (held(bit) && *p < PEDAL_TOP)
        *p = (float)(*p + PEDAL_STEP);
    else if (!held(bit) && *p > PEDAL_REST)
        *p = (float)(*p - PEDAL_STEP);
}

/* ----------------------------------------------------------------------
 * wheel: right side, left side, then the dead zone.  Turning against the
 * wheel first brings it back at the return rate, with no snap to 0.
 * ---------------------------------------------------------------------- */
static void wheel(void)
{
    float &d = DrivingWheelTurning;

    if (held(SIM_RIGHT) && d < WHEEL_LOCK && d >= 0)
        d = (float)(d + WHEEL_TURN);
    else if (!held(SIM_LEFT) && d < 0)
        d = (float)(d + WHEEL_RETURN);

    if (held(SIM_LEFT) && d > -WHEEL_LOCK && d <= 0)
        d = (float)(d - WHEEL_TURN);
    else if (!held(SIM_RIGHT) && d > 0)
        d = (float)(d - WHEEL_RETURN);

    if (d <= WHEEL_DEAD && d >= -WHEEL_DEAD
        && !held(SIM_LEFT) && !held(SIM_RIGHT))
        d = 0;
}

/* ----------------------------------------------------------------------
 * gears: A up, Z down, once per press.  A press at the end of the range
 * shifts nothing but still latches.
 * ---------------------------------------------------------------------- */
static void gears(void)
{
    if (held(SIM_A) && KeyHeld == 0) {
        if (Gear >= GearMax)
            Gear = GearMax;
        else
            Gear = Gear + 1;
        KeyHeld = 1;
    }
    if (held(SIM_Z) && KeyHeld == 0) {
        if (Gear <= -1)
            Gear = -1;
        else
            Gear = Gear - 1;
        KeyHeld = 1;
    }
}

/* ----------------------------------------------------------------------
 * reset: back to where R puts the car (the centre unless a course says
 * otherwise), stopped.  Pedals, wheel, gear and latches keep their values;
 * so does the heading, unless the course gives one.
 * ---------------------------------------------------------------------- */
static void reset_car(void)
{
    EngineRev = 0;
    x = ResetX;
    y = ResetY;
    EngineForce = 0;
    Velocity = 0;
    TrueVelocity = 0;
    Acceleration = 0;
    RearAxisForce = 0;
    if (ResetSetsHeading) {
        AxisAngle = ResetHeading;
        TrueAngle = ResetHeading;
    }
}

void sim_start_at(float px, float py, float heading)
{
    ResetX = px;
    ResetY = py;
    ResetHeading = heading;
    ResetSetsHeading = 1;
    reset_car();
}

/* ----------------------------------------------------------------------
 * controls: the driver's stage of the tick.  The keys are read once, at
 * the start; the title screen blocks inside the tick, and the reset and
 * the latch release then see the keys as they are when it returns.
 * ---------------------------------------------------------------------- */
void controls(void)
{
    KeyMask = sim_read_keys();
    pedal(&PedalAccelerator, SIM_UP);
    pedal(&PedalBrake, SIM_DOWN);
    pedal(&PedalClutch, SIM_X);
    wheel();
    gears();

    if (held(SIM_Q) && KeyHeld == 0) {
        sim_title_screen();
        KeyMask = sim_read_keys();
        KeyHeld = 1;
    }

    if (held(SIM_R))
        reset_car();

    if (!held(SIM_A) && !held(SIM_Z) && !held(SIM_Q))
        KeyHeld = 0;
}
