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
 * rounds first and both come out one float step higher.  This is the
 * definition; Sin below gives the same float faster where it can. */
static float sin_extended(float i)
{
    long double a = (long double)i * PI8 / 180;
    return (float)std::sin((double)a);
}

/* Beyond this many degrees (and for NaN) Sin takes the definition. */
static const double SIN_FAST_LIMIT = 65536;

/* Radians per degree as written, P / 180, and the gap between the true pi
 * and the written one, pi - P, to double precision: pi is taken as the
 * double nearest it plus the rest, and that double minus P is exact. */
static const double RAD_PER_DEG = PI8 / 180;
static const double PI_GAP = (0x1.921fb54442d18p+1 - PI8) + 0x1.1a62633145c07p-53;

/* Taylor coefficients of sin x / x in z = x^2: (-1)^n / (2n + 1)!. */
static const double S1 = -1.0 / 6, S2 = 1.0 / 120, S3 = -1.0 / 5040,
    S4 = 1.0 / 362880, S5 = -1.0 / 39916800, S6 = 1.0 / 6227020800,
    S7 = -1.0 / 1307674368000, S8 = 1.0 / 355687428096000;

/* Sine of i degrees, the same float as sin_extended(i) for every float i.
 *
 * The definition's angle D = i P / 180 (rounded twice in extended, then to
 * double) is taken apart in degrees: k = i / 180 rounded, r = i - 180 k
 * (exact: i is a float, 180 k a small integer, |r| <= 90), so that
 * i P / 180 = r P / 180 - k (pi - P) + k pi, and sin D is (-1)^k sin x with
 * x = r * RAD_PER_DEG - k * PI_GAP, |x| <= pi / 2.  sin x is x times its
 * Taylor series to x^16 (the first term left out is under 2^-44 at pi / 2;
 * x times a factor keeps Sin(-0) at -0), summed in pairs and powers of z
 * so that few steps wait on each other.
 *
 * y below differs from the true sin(D) by at most
 *   |y| 2^-42     series, evaluation, libm's own error (under 1 ulp),
 *   |i| 2^-56     D itself: rounded to double, so within 2^-53 |D|, and
 *                 |D| < |i| / 57; and x's roundings when k != 0;
 * so when y - e and y + e round to the same float, every value between
 * does, the exact sine and the libm sine of D included: that float is
 * sin_extended(i).  Otherwise (near a float midpoint, or near a zero of
 * the sine other than 0, where D's last bit matters) Sin asks the
 * definition.  This relies only on libm's sin being within 1 ulp; the
 * check program sweep_sin compares the two over every float up to the
 * limit on this machine (make exhaustive). */
float Sin(float i)
{
    double d = i;
    if (!(std::fabs(d) <= SIN_FAST_LIMIT))
        return sin_extended(i);

    /* (t + 1.5 2^52) - 1.5 2^52 rounds t to an integer; k only has to be
     * near i / 180, r is exact whatever it is.  Within a quarter turn k is
     * 0 and x is i * RAD_PER_DEG: that way is shorter for the usual case. */
    double k = 0, x;
    if (std::fabs(d) <= 90) {
        x = d * RAD_PER_DEG;
    } else {
        k = (d * (1.0 / 180) + 0x1.8p52) - 0x1.8p52;
        double r = d - 180 * k;
        x = r * RAD_PER_DEG - k * PI_GAP;
    }

    double z = x * x, z2 = z * z, z4 = z2 * z2;
    double series = (1 + z * S1) + z2 * (S2 + z * S3)
                    + z4 * ((S4 + z * S5) + z2 * (S6 + z * S7)) + z4 * z4 * S8;
    double y = x * series;
    if ((long)k & 1)
        y = -y;

    double e = std::fabs(y) * 0x1p-42 + std::fabs(d) * 0x1p-56;
    if ((float)(y - e) == (float)(y + e))
        return (float)y;
    return sin_extended(i);
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
