/*
 * sim/dynamics.cpp -- one tick of the car: logic().
 *
 * A kinematic car with two speeds and two angles.  The engine, brakes and
 * resistances act on Velocity (wheel rim speed); TrueVelocity, the speed
 * the car really moves at, follows it at a rate set by grip.  The wheel
 * turns AxisAngle (where the body points); TrueAngle, the way it really
 * goes, follows at a rate set by grip.  The lag of each follower is the
 * slide.
 *
 * Arithmetic: every expression is double from its float operands, left to
 * right as written; a value becomes float only when stored.  No step is
 * clamped to the gap it closes, so followers overshoot and alternate.
 */
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

#include "sim.h"

/* The two values of one tick, taken before anything moves; not carried
 * from one tick to the next, so not part of a car's value. */
static thread_local float DragResistance;  /* N, air drag from last tick's TrueVelocity */
static thread_local float AngleSlip;       /* deg, |AxisAngle - TrueAngle| before the wraps */

/* Stage 1: DragResistance, AngleSlip and the ratio of the gear engaged at
 * the start of the tick (a shift in the controls shows next tick). */
static void tick_values(void)
{
    DragResistance = (float)((double)DragCoeficient * TrueVelocity * TrueVelocity / 20000);
    AngleSlip = Modulo((float)((double)AxisAngle - TrueAngle));
    TransmissionTotal = (float)((double)GearReduction[Gear + 1] * TransmissionFinal);
}

/* Stage 2: heading back within one turn; both bounds inclusive, so a car
 * at rest heading up alternates between 0 and 360. */
static void wrap_heading(void)
{
    if (AxisAngle >= 360) {
        AxisAngle = (float)(AxisAngle - 360.0);
        TrueAngle = (float)(TrueAngle - 360.0);
    } else if (AxisAngle <= 0) {
        AxisAngle = (float)(AxisAngle + 360.0);
        TrueAngle = (float)(TrueAngle + 360.0);
    }
}

/* Stage 3: moving at v along an angle is moving at -v along its opposite;
 * keeps TrueAngle within half a turn of the heading. */
static void reverse_travel(void)
{
    if ((double)AxisAngle - TrueAngle >= 180) {
        TrueVelocity = -TrueVelocity;
        TrueAngle = (float)(TrueAngle + 180.0);
    } else if ((double)TrueAngle - AxisAngle >= 180) {
        TrueVelocity = -TrueVelocity;
        TrueAngle = (float)(TrueAngle - 180.0);
    }
}

/* Stage 4: the screen is a torus; the edges themselves stay. */
static void wrap_screen(void)
{
    if (x > 1024)
        x = (float)(x - 1024.0);
    else if (x < 0)
        x = (float)(x + 1024.0);

    if (y > 768)
        y = (float)(y - 768.0);
    else if (y < 0)
        y = (float)(y + 768.0);
}

/* Stage 6: torque at last tick's engine speed through the gearing, over
 * mass, per tick.  Neutral moves nothing but still sets Acceleration. */
static void drive(void)
{
    double throttle = (1 - (double)PedalClutch) * PedalAccelerator;
    double push = (double)GetTorqueArcade(EngineRev) * throttle
                  * TransmissionTotal / Mass / 100;

    if (Gear != 0)
        Velocity = (float)(Velocity + push);
    Acceleration = (float)push;
}

/* Stage 7: brake, rolling and air resistance against the motion.  Not
 * clamped at 0: a slow car braked alternates about 0. */
static void resist(void)
{
    double resistance = ((double)PedalBrake * BrakeForce + RollingResistance
                         + DragResistance) / Mass / 100;

    if (Velocity > 0)
        Velocity = (float)(Velocity - resistance);
    else if (Velocity < 0)
        Velocity = (float)(Velocity + resistance);
}

/* Stage 8: the torque curve gives nothing at 0 rev/min, so below 400 the
 * bare throttle (m/s per tick) gets the car rolling.  In reverse the push
 * is mirrored: backwards, measured against the reverse engine speed,
 * which is positive while the car rolls backwards. */
static void creep(void)
{
    double throttle = (1 - (double)PedalClutch) * PedalAccelerator;

    if (Gear >= 1) {
        if (GetEngineRev(Velocity) < 400)
            Velocity = (float)(Velocity + throttle);
    } else if (Gear == -1) {
        if (GetEngineRev(Velocity) < 400)
            Velocity = (float)(Velocity - throttle);
    }
}

/* Stage 9: wheel turns per second through the overall ratio, per minute. */
static void engine_speed(void)
{
    EngineRev = (float)((double)Velocity * TransmissionTotal
                        / (((double)WheelRadius + WheelRadius) * PI8) * 60);
}

/* Stage 10: wheels at DrivingWheelTurning * LockMax degrees; the body
 * turns by that times the tick's distance (Velocity / 100 m) over the
 * wheelbase. */
static void steer(void)
{
    AxisAngle = (float)(AxisAngle + (double)DrivingWheelTurning * LockMax
                        / WheelBase * Velocity / 100);
}

/* Stage 11: TrueAngle steps towards the heading by 2 G degrees a tick
 * (less while sliding).  While sliding, the body swings further out, by
 * the sine of the tick's slip angle times throttle times drive squared. */
static void follow_heading(void)
{
    /* the swing (the same product, in the same order, of a pure function)
     * is taken before the comparison, so that its sine is under way while
     * the comparison waits for this tick's heading */
    double swing = (double)Sin(AngleSlip) * PedalAccelerator * Acceleration * Acceleration;

    if (AxisAngle > TrueAngle) {
        TrueAngle = (float)(TrueAngle + 2.0 * GetTraction() * G);
        if (TractionSlip)
            AxisAngle = (float)(AxisAngle + swing);
    } else if (TrueAngle > AxisAngle) {
        TrueAngle = (float)(TrueAngle - 2.0 * GetTraction() * G);
        if (TractionSlip)
            AxisAngle = (float)(AxisAngle - swing);
    }
}

/* Stage 12: TrueVelocity steps towards Velocity by G / 50 m/s a tick; past
 * a 90 degree slip the car scrubs speed fast, by (slip - 90) / 25. */
static void follow_speed(void)
{
    if (Velocity > TrueVelocity) {
        TrueVelocity = (float)(TrueVelocity + (double)GetTraction() * G / 50);
        if (AngleSlip > 90)
            TrueVelocity = (float)(TrueVelocity + ((double)AngleSlip - 90) / 25);
    } else if (TrueVelocity > Velocity) {
        TrueVelocity = (float)(TrueVelocity - (double)GetTraction() * G / 50);
        if (AngleSlip > 90)
            TrueVelocity = (float)(TrueVelocity - ((double)AngleSlip - 90) / 25);
    }
}

/* Stage 13: 10 px per metre, y down, angle 0 up the screen.  The sine
 * and cosine come from TravelMemo (state.h) when the angle is one of the
 * last two, bit for bit. */
static void move(void)
{
    travel_memo::entry *m = TravelMemo.at;
    uint32_t bits;
    memcpy(&bits, &TrueAngle, sizeof bits);
    if (bits == m[1].angle_bits) {
        std::swap(m[0], m[1]);
    } else if (bits != m[0].angle_bits) {
        double a = (double)TrueAngle * PI8 / 180;
        m[1] = m[0];
        m[0] = {bits, 0, std::sin(a), std::cos(a)};
    }
    x = (float)(x + m[0].sin * TrueVelocity / 10);
    y = (float)(y + m[0].cos * TrueVelocity / -10);
}

/* ----------------------------------------------------------------------
 * logic: advance the car by one tick of 0.01 s.  The order is part of the
 * model: e.g. the drive uses last tick's engine speed, and a shift takes
 * effect on the ratio only from the next tick.
 * ---------------------------------------------------------------------- */
void logic(void)
{
    tick_values();
    wrap_heading();
    reverse_travel();
    wrap_screen();
    controls();
    drive();
    resist();
    creep();
    engine_speed();
    steer();
    follow_heading();
    follow_speed();
    move();
}

void logic_held(void)
{
    tick_values();
    controls();
}
