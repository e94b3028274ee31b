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

/* Non-zero while the key is held.  Called afresh for every key test, so
 * a key that changes during a tick (say, while the title screen is up) is
 * seen as it is at that test.  Default: no key is ever held. */
extern int (*sim_key_held)(int key);

/* Shows the title screen and returns when the driver leaves it.
 * Default: returns at once, as if the leave key were already held. */
extern void (*sim_title_screen)(void);

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

/* One simulation step of 0.01 s (dynamics.cpp). */
void logic(void);

#endif
