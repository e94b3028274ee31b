/*
 * sim/controls.cpp -- the keyboard turned into pedals, wheel and gear.
 *
 * Runs inside every tick, between the wraps and the drive.  Each step adds
 * a double step to a stored float and rounds once when storing; each limit
 * compares the float with a double bound.  That is why a pedal held for 40
 * ticks reads 0.9999996 and a released one rests at -1.8253923e-08, never 0.
 */
#include "sim.h"

static int no_key(int) { return 0; }
static void no_title(void) {}

int (*sim_key_held)(int key) = no_key;
void (*sim_title_screen)(void) = no_title;

static int held(int key) { return sim_key_held(key) != 0; }

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
static void pedal(float *p, int key)
{
    if (held(key) && *p < PEDAL_TOP)
        *p = (float)(*p + PEDAL_STEP);
    else if (!held(key) && *p > PEDAL_REST)
        *p = (float)(*p - PEDAL_STEP);
}

/* ----------------------------------------------------------------------
 * wheel: right side, left side, then the dead zone.  Turning against the
 * wheel first brings it back at the return rate, with no snap to 0.
 * ---------------------------------------------------------------------- */
static void wheel(void)
{
    float &d = DrivingWheelTurning;

    if (held(SIM_KEY_RIGHT) && d < WHEEL_LOCK && d >= 0)
        d = (float)(d + WHEEL_TURN);
    else if (!held(SIM_KEY_LEFT) && d < 0)
        d = (float)(d + WHEEL_RETURN);

    if (held(SIM_KEY_LEFT) && d > -WHEEL_LOCK && d <= 0)
        d = (float)(d - WHEEL_TURN);
    else if (!held(SIM_KEY_RIGHT) && d > 0)
        d = (float)(d - WHEEL_RETURN);

    if (d <= WHEEL_DEAD && d >= -WHEEL_DEAD
        && !held(SIM_KEY_LEFT) && !held(SIM_KEY_RIGHT))
        d = 0;
}

/* ----------------------------------------------------------------------
 * gears: A up, Z down, once per press.  A press at the end of the range
 * shifts nothing but still latches.
 * ---------------------------------------------------------------------- */
static void gears(void)
{
    if (held(SIM_KEY_A) && KeyHeld == 0) {
        if (Gear >= GearMax)
            Gear = GearMax;
        else
            Gear = Gear + 1;
        KeyHeld = 1;
    }
    if (held(SIM_KEY_Z) && KeyHeld == 0) {
        if (Gear <= -1)
            Gear = -1;
        else
            Gear = Gear - 1;
        KeyHeld = 1;
    }
}

/* ----------------------------------------------------------------------
 * reset: back to the centre, stopped.  Heading, pedals, wheel, gear and
 * latches keep their values.
 * ---------------------------------------------------------------------- */
static void reset_car(void)
{
    EngineRev = 0;
    x = 512;
    y = 384;
    EngineForce = 0;
    Velocity = 0;
    TrueVelocity = 0;
    Acceleration = 0;
    RearAxisForce = 0;
}

/* ----------------------------------------------------------------------
 * controls: the driver's stage of the tick.  The title screen blocks
 * inside the tick; the reset and the latch release then see the keys as
 * they are when it returns.
 * ---------------------------------------------------------------------- */
void controls(void)
{
    pedal(&PedalAccelerator, SIM_KEY_UP);
    pedal(&PedalBrake, SIM_KEY_DOWN);
    pedal(&PedalClutch, SIM_KEY_X);
    wheel();
    gears();

    if (held(SIM_KEY_Q) && KeyHeld == 0) {
        sim_title_screen();
        KeyHeld = 1;
    }

    if (held(SIM_KEY_R))
        reset_car();

    if (!held(SIM_KEY_A) && !held(SIM_KEY_Z) && !held(SIM_KEY_Q))
        KeyHeld = 0;
}
