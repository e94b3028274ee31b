/*
 * sim/powertrain.cpp -- engine torque, engine speed and tyre grip.
 *
 * Arguments and results are floats; inside, the arithmetic is double (the
 * degrees of Sin go to radians in extended precision), left to right as
 * written, rounded to float only where noted.  These rounding points decide
 * the last bit: e.g. GetTorqueArcade(7792) is 1.2815561e-06, not 0, because
 * pi is written with eight decimals and the angle is rounded to float
 * before the sine.
 */
#include <cmath>

#include "sim.h"

/* Sine of i degrees, with pi as the car's author wrote it, eight decimals.
 * i * 3.14159265 is formed in extended precision, where it is exact for
 * whole degrees, so that dividing by 180 gives back the written pi:
 * Sin(180) is sin(3.14159265) = 3.5897931e-09, and the torque curve at
 * twice its peak speed is 1.2815561e-06.  In plain double the product
 * rounds first and both come out one float step higher. */
float Sin(float i)
{
    long double a = (long double)i * PI8 / 180;
    return (float)std::sin((double)a);
}

float Modulo(float n)
{
    if (n >= 0)         /* -0 >= 0: a negative zero comes back unchanged */
        return n;
    return -n;
}

/* Quarter sine: 0 at rest, PeakTorque + EngineCurve at EnginePeakRev,
 * back to about 0 at twice that and negative beyond.  Not limited, so a
 * negative engine speed gives a negative torque. */
float GetTorqueArcade(float R)
{
    float a = (float)((double)R / EnginePeakRev * 90.0f);
    float s = Sin(a);
    float t = (float)((double)s * PeakTorque);
    return (float)(t + (double)s * EngineCurve);
}

/* Wheel turns per second (V over the circumference) times the gearbox
 * and final ratios, times 60.  Takes the ratio from Gear at the call,
 * not from TransmissionTotal, which lags a shift by one tick. */
float GetEngineRev(float V)
{
    double ratio = GearReduction[Gear + 1];
    return (float)(ratio * V * TransmissionFinal
                   / (((double)WheelRadius + WheelRadius) * PI8) * 60);
}

/* Demand is this tick's engine acceleration in m/s^2 (Acceleration is per
 * tick); the limit is 70% of G.  One bound both sets and clears the latch;
 * only exact equality (or NaN) keeps the previous state. */
float GetTraction(void)
{
    double demand = (double)Acceleration * 100.0f;
    double limit = (double)G * 0.7;

    if (demand > limit)
        TractionSlip = 1;
    else if (demand < limit)
        TractionSlip = 0;
    return TractionSlip ? 0.7f : 1.0f;
}
