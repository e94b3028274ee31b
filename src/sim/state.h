/*
 * sim/state.h -- every variable of the car simulation, process-wide.
 *
 * The simulation is plain procedural code over the globals declared here:
 * the top-level procedures take no arguments and talk to each other only
 * through these names.  Everything lives for the whole run and belongs to
 * the main thread.
 *
 * Units: lengths in metres, mass in kg, forces in N, torque in N m, engine
 * speed in rev/min, velocities in m/s, angles in degrees (0 up the screen,
 * growing clockwise), positions in screen pixels (y down, 10 px per metre).
 * One tick is 0.01 s.
 *
 * Floats are stored; expressions are worked out in double from the stored
 * floats and rounded once, where they are stored.
 */
#ifndef CARAVELT_SIM_STATE_H
#define CARAVELT_SIM_STATE_H

#ifdef __FAST_MATH__
#error "the simulation must be built without -ffast-math: its results are exact to the bit"
#endif

/* ======================================================================
 * The parameter record of one car.  Field order matters: start-up copies
 * it field by field in this order.
 * ====================================================================== */
struct car {
    float EngineA;               /* quadratic torque curve, R^2 term (unused) */
    float EngineB;               /* quadratic torque curve, R term (unused) */
    float EngineC;               /* quadratic torque curve, constant (unused) */
    float BrakeForce;            /* N at full pedal */
    float BrakeBiasFront;        /* front share of braking (unused) */
    float DragCoeficient;        /* drag force = this * v * v / 20000 */
    float G;                     /* tyre grip factor */
    int   DriveTrain;            /* drive train code (unused) */
    float Mass;                  /* kg */
    float WheelRadius;           /* m */
    float WheelBase;             /* m, divides the rate of turn */
    float LockMax;               /* degrees of steering lock at full wheel */
    float TransmissionFinal;     /* final drive ratio */
    float CenterGravityHeight;   /* (unused) */
    float FrontMassDistribution; /* (unused) */
    int   GearMax;               /* highest forward gear, at most 7 */
    float WheelTrack;            /* (unused) */
    float RollingResistance;     /* N, always resisting */
    float EngineInertia;         /* (unused) */
    float RevResistance;         /* (unused) */
    float GearReduction[9];      /* indexed by Gear + 1: reverse, neutral, 1..7 */
    float EnginePeakRev;         /* rev/min where the sine torque curve peaks */
    float PeakTorque;            /* N m at EnginePeakRev */
    float EngineCurve;           /* second amplitude of the sine curve */
};

/* The one car: compiled-in, read once by start-up, never written. */
extern const car KVT;

/* ======================================================================
 * Parameter variables: zero until start-up copies KVT into them, then
 * read-only for the rest of the run.
 * ====================================================================== */
extern float EngineA, EngineB, EngineC;
extern float BrakeForce, BrakeBiasFront;
extern float DragCoeficient;
extern float G;
extern int   DriveTrain;
extern float Mass, WheelRadius, WheelBase, LockMax;
extern float TransmissionFinal;
extern float CenterGravityHeight, FrontMassDistribution;
extern int   GearMax;
extern float WheelTrack, RollingResistance, EngineInertia, RevResistance;
extern float GearReduction[9];
extern float EnginePeakRev, PeakTorque, EngineCurve;

/* ======================================================================
 * Car state, carried from tick to tick.  Written by the dynamics step
 * and the driver controls; the presentation only reads it.
 * ====================================================================== */

/* Where the car is and which way it points / travels. */
extern float x, y;                 /* px; start 512, 384 */
extern float AxisAngle;            /* deg, where the body points */
extern float TrueAngle;            /* deg, where the car travels */

/* How fast. */
extern float Velocity;             /* m/s, wheel rim speed along the body */
extern float TrueVelocity;         /* m/s, travel speed along TrueAngle */
extern float Acceleration;         /* m/s per tick from the engine this tick */
extern float EngineRev;            /* rev/min, signed */
extern float TransmissionTotal;    /* overall ratio of the gear in use */

/* The driver's inputs, moved by the controls. */
extern float PedalAccelerator;     /* 0 released .. about 1 */
extern float PedalBrake;           /* 0 released .. about 1 */
extern float PedalClutch;          /* 0 engaged .. about 1 disengaged */
extern float DrivingWheelTurning;  /* about -1 full left .. +1 full right */
extern int   Gear;                 /* -1 reverse, 0 neutral, 1..GearMax */
extern int   KeyHeld;              /* 1 after a shift or title screen until A, Z, Q are all up */

/* Grip latch, set only by GetTraction: 1 while sliding. */
extern int   TractionSlip;

/* Shown by the telemetry and never set to anything but 0. */
extern float EngineForce, RearAxisForce, FrontAxisForce;
extern float FrontAxisAcceleration, RearAxisAcceleration;
extern float FrontAxisRev, RearAxisRev;
extern float FrontAxisWeight, RearAxisWeight;

/* ======================================================================
 * Whole-state operations.
 * ====================================================================== */

/* Copies KVT into the parameter variables bit for bit, field order. */
void load_preset(void);

/* The state start-up leaves: every variable zero, the preset loaded, the
 * car at the centre of the screen.  Tests and tools call it again to
 * begin a clean run. */
void sim_start(void);

#endif
