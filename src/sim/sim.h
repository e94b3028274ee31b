/*
 * sim/sim.h -- the simulation's procedures and its seam to the platform.
 *
 * The simulation never includes the game library.  What it needs from the
 * outside -- which keys are held, and the title screen -- reaches it
 * through the two hooks below, which the game points at the library and
 * tests point at whatever key pattern they like.
 */
#ifndef CARAVELT_SIM_SIM_H
#define CARAVELT_SIM_SIM_H

#include "state.h"

/* ----------------------------------------------------------------------
 * Seam.
 * ---------------------------------------------------------------------- */

/* Key indices, the same numbers as the game library's scancodes. */
enum {
    SIM_KEY_A = 1,
    SIM_KEY_Q = 17,
    SIM_KEY_R = 18,
    SIM_KEY_X = 24,
    SIM_KEY_Z = 26,
    SIM_KEY_LEFT = 82,
    SIM_KEY_RIGHT = 83,
    SIM_KEY_UP = 84,
    SIM_KEY_DOWN = 85,
};

/* The nine driving keys as bits of a key mask, in this order.  The script
 * and the recording spell them Up Down Left Right A Z X R Q. */
enum {
    SIM_UP, SIM_DOWN, SIM_LEFT, SIM_RIGHT, SIM_A, SIM_Z, SIM_X, SIM_R, SIM_Q,
    SIM_KEYS
};

/* Key index of each bit of a mask. */
inline constexpr int SIM_KEY_NUMBERS[SIM_KEYS] = {
    SIM_KEY_UP, SIM_KEY_DOWN, SIM_KEY_LEFT, SIM_KEY_RIGHT,
    SIM_KEY_A, SIM_KEY_Z, SIM_KEY_X, SIM_KEY_R, SIM_KEY_Q,
};

/* The mask of the driving keys for which held(key index) is non-zero. */
inline unsigned sim_key_mask(int (*held)(int key))
{
    unsigned m = 0;
    for (int i = 0; i < SIM_KEYS; i++)
        if (held(SIM_KEY_NUMBERS[i]))
            m |= 1u << i;
    return m;
}

/* The driving keys held now, as a mask (bit i: key i above).  Read once
 * at the start of the controls of every tick, and once more when a title
 * screen shown inside the tick returns; every key test of the tick uses
 * the mask in force.  So a tick is wholly described by at most two masks,
 * which is what makes a recorded drive replay exactly.  Default: none. */
typedef unsigned (*sim_key_reader)(void);
extern constinit thread_local sim_key_reader sim_read_keys;

/* Shows the title screen and returns when the driver leaves it.
 * Default: returns at once, as if the leave key were already held. */
typedef void (*sim_title_hook)(void);
extern constinit thread_local sim_title_hook sim_title_screen;

/* Points this thread's seam at two masks: `keys` read at the start of
 * every tick's controls, `after` read when a title screen inside a tick
 * returns, which it does at once (as with its leave key already held).
 * The one way a front end without a keyboard runs ticks: a stretch of a
 * script, a recording, a manoeuvre of the sheet, a fleet's key array. */
void hold_keys(unsigned keys, unsigned after);
inline void hold_keys(unsigned keys) { hold_keys(keys, keys); }

/* Pi as the car's formulas write it, eight decimals: every angle that
 * enters a sine or cosine, and every wheel circumference, uses this. */
inline constexpr double PI8 = 3.14159265;

/* ----------------------------------------------------------------------
 * Powertrain and grip (powertrain.cpp).  Float in, float out; the
 * arithmetic inside is double.
 * ---------------------------------------------------------------------- */

float Sin(float i);          /* sine of an angle in degrees */
float Modulo(float n);       /* absolute value; -0 stays -0 */
float GetTorqueArcade(float R);  /* N m at R rev/min: quarter sine */
float GetEngineRev(float V);     /* rev/min at V m/s in the gear engaged now */
float GetTraction(void);         /* 1 gripping, 0.7 sliding; sets TractionSlip */

/* ----------------------------------------------------------------------
 * The tick.
 * ---------------------------------------------------------------------- */

/* Driver controls: the key-handling stage inside logic (controls.cpp). */
void controls(void);

/* From now on R puts the car at (x, y) px, heading `heading` degrees
 * (AxisAngle and TrueAngle both), stopped; and puts it there now, as R
 * does (controls.cpp).  A course's start is given so. */
void sim_start_at(float x, float y, float heading);

/* One simulation step of 0.01 s (dynamics.cpp). */
void logic(void);

/* A step with the car held where it stands: the tick's values and the
 * controls only, so pedals, wheel and gears move but the car does not (a
 * standing start's countdown). */
void logic_held(void);

#endif
