/*
 * sim/state.h -- every variable of the car simulation, process-wide.
 *
 * The simulation is plain procedural code over the globals declared here:
 * the top-level procedures take no arguments and talk to each other only
 * through these names.
 *
 * Each thread has its own set (SIM_VAR is thread_local): the names are the
 * car that the thread is running now.  The game has one car on its main
 * thread; tools and the Python fleet keep many cars as values (car_state,
 * below) and bring one in before its ticks and put it back after, so that
 * several threads run their own cars at once, each exactly as one thread
 * alone would.  On x86-64 a per-thread name costs what a global does: one
 * segment-relative address (make bench: the tick, before and after).
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

#include <cstddef>
#include <cstdint>

/* Storage class of every simulation variable: one set per thread. */
#define SIM_VAR constinit thread_local

/* ======================================================================
 * The parameter record of one car, listed once.  CAR_FIELDS(F, A) calls
 * F(type, name) for each scalar field and A(type, name, count) for the
 * gear table, in the record's order: start-up copies it in this order,
 * and car files name the fields so.
 * ====================================================================== */
#define CAR_FIELDS(F, A)                                                   \
    F(float, EngineA)               /* quadratic torque curve, R^2 (unused) */ \
    F(float, EngineB)               /* quadratic torque curve, R (unused) */   \
    F(float, EngineC)               /* quadratic torque curve, const (unused) */ \
    F(float, BrakeForce)            /* N at full pedal */                  \
    F(float, BrakeBiasFront)        /* front share of braking (unused) */  \
    F(float, DragCoeficient)        /* drag force = this * v * v / 20000 */ \
    F(float, G)                     /* tyre grip factor */                 \
    F(int,   DriveTrain)            /* drive train code (unused) */        \
    F(float, Mass)                  /* kg */                               \
    F(float, WheelRadius)           /* m */                                \
    F(float, WheelBase)             /* m, divides the rate of turn */      \
    F(float, LockMax)               /* degrees of steering lock at full wheel */ \
    F(float, TransmissionFinal)     /* final drive ratio */                \
    F(float, CenterGravityHeight)   /* (unused) */                         \
    F(float, FrontMassDistribution) /* (unused) */                         \
    F(int,   GearMax)               /* highest forward gear, at most 7 */  \
    F(float, WheelTrack)            /* (unused) */                         \
    F(float, RollingResistance)     /* N, always resisting */              \
    F(float, EngineInertia)         /* (unused) */                         \
    F(float, RevResistance)         /* (unused) */                         \
    A(float, GearReduction, 9)      /* by Gear + 1: reverse, neutral, 1..7 */ \
    F(float, EnginePeakRev)         /* rev/min where the sine torque peaks */ \
    F(float, PeakTorque)            /* N m at EnginePeakRev */             \
    F(float, EngineCurve)           /* second amplitude of the sine curve */

#define CAR_FIELD_MEMBER(type, name) type name;
#define CAR_ARRAY_MEMBER(type, name, n) type name[n];
struct car {
    CAR_FIELDS(CAR_FIELD_MEMBER, CAR_ARRAY_MEMBER)
};

/* The one compiled-in car: read by start-up, never written. */
extern const car KVT;

/* Parameter variables, one per field of the record: zero until start-up
 * copies a car into them; no tick writes them. */
#define CAR_FIELD_EXTERN(type, name) extern SIM_VAR type name;
#define CAR_ARRAY_EXTERN(type, name, n) extern SIM_VAR type name[n];
CAR_FIELDS(CAR_FIELD_EXTERN, CAR_ARRAY_EXTERN)

/* ======================================================================
 * Car state, carried from tick to tick, listed once.  X(type, name, start)
 * for each variable: start-up defines it, sets it to its start value, and
 * the trace and the tests' state hash walk the same list.
 *
 * SIM_STATE_TRACED: what the dynamics and the controls write, in the
 * trace's column order.  SIM_STATE_SHOWN: values the telemetry shows and
 * nothing ever sets but to 0.
 * ====================================================================== */
#define SIM_STATE_TRACED(X)                                                 \
    /* Where the car is and which way it points / travels. */              \
    X(float, x, 512)                /* px */                               \
    X(float, y, 384)                /* px, down */                         \
    X(float, AxisAngle, 0)          /* deg, where the body points */       \
    X(float, TrueAngle, 0)          /* deg, where the car travels */       \
    /* How fast. */                                                        \
    X(float, Velocity, 0)           /* m/s, wheel rim speed along the body */ \
    X(float, TrueVelocity, 0)       /* m/s, travel speed along TrueAngle */ \
    X(float, Acceleration, 0)       /* m/s per tick from the engine this tick */ \
    X(float, EngineRev, 0)          /* rev/min, signed */                  \
    X(float, TransmissionTotal, 0)  /* overall ratio of the gear in use */ \
    /* The driver's inputs, moved by the controls. */                      \
    X(float, PedalAccelerator, 0)   /* 0 released .. about 1 */            \
    X(float, PedalBrake, 0)         /* 0 released .. about 1 */            \
    X(float, PedalClutch, 0)        /* 0 engaged .. about 1 disengaged */  \
    X(float, DrivingWheelTurning, 0) /* about -1 full left .. +1 full right */ \
    X(int,   Gear, 0)               /* -1 reverse, 0 neutral, 1..GearMax */ \
    X(int,   KeyHeld, 0)            /* 1 after a shift or title screen until A, Z, Q are up */ \
    /* Grip latch, set only by GetTraction: 1 while sliding. */            \
    X(int,   TractionSlip, 0)

#define SIM_STATE_SHOWN(X)                                                  \
    X(float, EngineForce, 0)                                               \
    X(float, RearAxisForce, 0)                                             \
    X(float, FrontAxisForce, 0)                                            \
    X(float, FrontAxisAcceleration, 0)                                     \
    X(float, RearAxisAcceleration, 0)                                      \
    X(float, FrontAxisRev, 0)                                              \
    X(float, RearAxisRev, 0)                                               \
    X(float, FrontAxisWeight, 0)                                           \
    X(float, RearAxisWeight, 0)

#define SIM_STATE(X) SIM_STATE_TRACED(X) SIM_STATE_SHOWN(X)

/* The sine and cosine of the travel angle for the last two angles the
 * position update saw, the latest first: the angle mostly takes turns
 * between two values (its follower steps across the heading and back),
 * so the pair from two ticks ago saves the libm call.  A pure memo: the
 * same angle bits give the same call, so it never changes a result, but a
 * car carries it like the rest of its state. */
struct travel_memo {
    /* zero: always 0, where the compiler would leave padding, so that a
     * car's bytes are all set and the same for the same car (they are
     * compared, hashed and pickled). */
    struct entry { uint32_t angle_bits, zero; double sin, cos; } at[2];
};
inline constexpr travel_memo TRAVEL_MEMO_START = {{{0, 0, 0.0, 1.0}, {0, 0, 0.0, 1.0}}};   /* angle +0 */

/* SIM_STATE_KEPT: what else a car keeps from tick to tick that nothing
 * draws; a course's lap counter reads KeyMask after the tick (R held). */
#define SIM_STATE_KEPT(X)                                                   \
    X(unsigned, KeyMask, 0)         /* driving keys in force for the tick's tests (bits as SIM_UP ..) */ \
    X(travel_memo, TravelMemo, TRAVEL_MEMO_START)                          \
    /* Where R puts the car: the screen's centre, heading kept, unless a   \
     * course's start says otherwise (sim_start_at). */                    \
    X(float, ResetX, 512)           /* px */                               \
    X(float, ResetY, 384)           /* px, down */                         \
    X(float, ResetHeading, 0)       /* deg, AxisAngle and TrueAngle a reset sets ... */ \
    X(int,   ResetSetsHeading, 0)   /* ... when 1 */

/* Everything a car carries from tick to tick besides its parameters. */
#define SIM_STATE_ALL(X) SIM_STATE(X) SIM_STATE_KEPT(X)

#define SIM_STATE_EXTERN(type, name, start) extern SIM_VAR type name;
SIM_STATE_ALL(SIM_STATE_EXTERN)

/* ======================================================================
 * Whole-state operations.
 * ====================================================================== */

/* Copies c into the parameter variables bit for bit, in field order. */
void load_car(const car *c);

/* load_car(&KVT). */
void load_preset(void);

/* *c takes the parameter variables: the car in force on this thread. */
void car_in_force(car *c);

/* The state start-up leaves: every variable zero, the preset loaded, the
 * car at the centre of the screen.  Tests and tools call it again to
 * begin a clean run. */
void sim_start(void);

/* The state the run began in again: every state variable back to its
 * start value, the parameters as they are, and where R puts the car kept
 * (when a course's start set it, the car is put there, as sim_start_at
 * does). */
void state_start(void);

/* The first traced or shown state variable, in the lists' order, that is
 * not a finite number, or null when every one is; then, when why is not
 * null, "Velocity became nan (not a finite number)" into it.  Extreme
 * cars can run the arithmetic past the float's range: every front end
 * asks this after each tick, so that an infinity or a NaN is reported as
 * such and never shown or written as a result. */
const char *state_not_finite(char *why = nullptr, size_t size = 0);

/* ======================================================================
 * A car as a value: its parameters and everything its ticks carry, made
 * from the same lists as the names above, so that a variable added to a
 * list is carried with no other edit.
 * ====================================================================== */
#define CAR_STATE_MEMBER(type, name, start) type name;
struct car_state {
    car params;
    SIM_STATE_ALL(CAR_STATE_MEMBER)
};

/* A car's state alone, its parameters kept elsewhere: a fleet of one
 * setup holds them once for all its cars. */
struct car_motion {
    SIM_STATE_ALL(CAR_STATE_MEMBER)
};
#undef CAR_STATE_MEMBER

/* The thread's names take c's values: c is the car this thread runs. */
void car_in(const car_state *c);

/* car_in of the state alone, the parameter variables left as they are:
 * for a car whose parameters the thread holds already (cars of one
 * setup, taking turns). */
void state_in(const car_state *c);
void state_in(const car_motion *m);

/* c takes the state the thread's names hold now.  Not the parameters:
 * no tick writes them, so c's own are still the ones in force (a front
 * end that changes a car's parameters changes them in its value). */
void car_out(car_state *c);
void car_out(car_motion *m);

/* m in the state start-up leaves (car_start without the parameters). */
void motion_start(car_motion *m);

/* A car as a value of its parameters and its state, and back. */
car_state car_joined(const car *params, const car_motion *m);
car_motion car_motion_of(const car_state *c);

/* c in the state start-up leaves, with params (the preset when null). */
void car_start(car_state *c, const car *params);

/* True when the thread's names hold c's state bit for bit, its place (x,
 * y) aside.  Nothing in a tick reads the place but to move it, so from
 * two such states the same keys lead to the same states again, each
 * moved as the first was: a run that comes back to a state it had, under
 * the keys it had then, repeats itself.  Parameters are not compared (no
 * tick writes them). */
bool car_same_state(const car_state *c);

#endif
