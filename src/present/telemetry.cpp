/*
 * present/telemetry.cpp -- the 28-row column of live values.
 *
 * Reads the state the latest tick left and never writes it.  A few rows
 * are worked out here, in double from the stored floats, in their own
 * form, which is not always the dynamics step's: the drag is not divided
 * by 20000, the accelerations are per second rather than per tick, the
 * RPM row is a hundredth of the engine speed, and the turn row uses
 * TrueVelocity.
 */
#include <cstdio>

#include "present.h"
#include "sim/sim.h"

/* Ratio of the engaged gear. */
static double ratio(void) { return GearReduction[Gear + 1]; }

static double drag(void)
{
    return (double)DragCoeficient * TrueVelocity * TrueVelocity;
}

void telemetry_text(int i, char *out, size_t size)
{
    const char *fmt = "";
    double v = 0;

    switch (i) {
    case 0:  fmt = "Accelerator = %.3f"; v = PedalAccelerator; break;
    case 1:  fmt = "Brake = %.3f"; v = PedalBrake; break;
    case 2:  fmt = "Clutch = %.3f"; v = PedalClutch; break;
    case 3:  fmt = "TrueAngle = %.3f"; v = TrueAngle; break;
    case 4:  fmt = "AxisAngle = %.3f"; v = AxisAngle; break;
    case 5:  fmt = "FrontAxisForce = %.3f"; v = FrontAxisForce; break;
    case 6:  fmt = "RearAxisForce = %.3f"; v = RearAxisForce; break;
    case 7:  fmt = "FrontAxisAcceleration = %.3f"; v = FrontAxisAcceleration; break;
    case 8:  fmt = "RearAxisAcceleration = %.3f"; v = RearAxisAcceleration; break;
    case 9:  fmt = "Velocity = %.3f"; v = Velocity; break;
    case 10: fmt = "TrueVelocity = %.3f"; v = TrueVelocity; break;
    case 11: fmt = "Velocity Slip = %.3f"; v = (double)Velocity - TrueVelocity; break;
    case 12: fmt = "FrontAxisRev = %.3f"; v = FrontAxisRev; break;
    case 13: fmt = "RearAxisRev = %.3f"; v = RearAxisRev; break;
    case 14: fmt = "EngineRev = %.3f"; v = EngineRev; break;
    case 15: fmt = "EngineForce = %.3f"; v = EngineForce; break;
    case 16: fmt = "Acceleration = %.3f"; v = Acceleration; break;
    case 17: fmt = "Drag = %.3f"; v = drag(); break;
    case 18: fmt = "FinalTransmission = %.3f"; v = TransmissionTotal; break;
    case 19: fmt = "FrontAxisWeight = %.3f"; v = FrontAxisWeight; break;
    case 20: fmt = "RearAxisWeight = %.3f"; v = RearAxisWeight; break;
    case 21: fmt = "Clutch Mult = %.3f"; v = 1 - (double)PedalClutch; break;
    case 22: fmt = "GetTorque = %.3f"; v = GetTorqueArcade(EngineRev); break;
    case 23:  /* engine acceleration, m/s^2 */
        fmt = "TotalAcceleration = %.3f";
        v = (double)GetTorqueArcade(EngineRev)
            * ((1 - (double)PedalClutch) * PedalAccelerator)
            * ratio() * TransmissionFinal / Mass;
        break;
    case 24:  /* deceleration from brake, rolling and drag, m/s^2 */
        fmt = "TotalResistance = %.3f";
        v = ((double)PedalBrake * BrakeForce + RollingResistance + drag()) / Mass;
        break;
    case 25:  /* a hundredth of the engine speed the wheels give */
        fmt = "RPM from Velocity = %.3f";
        v = ratio() * Velocity * TransmissionFinal
            / (2 * (double)WheelRadius * PI8) * 0.6;
        break;
    case 26:
        fmt = "Turn = %.3f";
        v = (double)DrivingWheelTurning * LockMax / WheelBase * TrueVelocity / 100;
        break;
    default:
        snprintf(out, size, "Traction State = %d", TractionSlip);
        return;
    }
    snprintf(out, size, fmt, v);
}

/* debug: the column, row by row. */
static void debug(BITMAP *dst)
{
    int black = makecol(0, 0, 0);
    for (int i = 0; i < TELEMETRY_ROWS; i++) {
        char text[64];
        telemetry_text(i, text, sizeof text);
        textprintf_ex(dst, font, TELEMETRY_COL, TELEMETRY_TOP + 10 * i, black, -1, "%s", text);
    }
}

bool telemetry_shown = true;

void draw_telemetry(BITMAP *dst)
{
    if (telemetry_shown)
        debug(dst);
}
