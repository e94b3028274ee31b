/*
 * sim/state.cpp -- storage for the simulation's globals and the preset;
 * a car brought in and out of them.
 */
#include "state.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "sim.h"

/* Each value is the shortest decimal that rounds to the stored float. */
const car KVT = {
    1.3e-05f,   /* EngineA */
    0.89f,      /* EngineB */
    151.7f,     /* EngineC */
    2400.0f,    /* BrakeForce */
    0.66f,      /* BrakeBiasFront */
    1.083342f,  /* DragCoeficient */
    0.94f,      /* G */
    0,          /* DriveTrain */
    1223.0f,    /* Mass */
    0.33f,      /* WheelRadius */
    2.6f,       /* WheelBase */
    36.0f,      /* LockMax */
    3.545f,     /* TransmissionFinal */
    0.34f,      /* CenterGravityHeight */
    0.51f,      /* FrontMassDistribution */
    5,          /* GearMax */
    1.9f,       /* WheelTrack */
    399.75793f, /* RollingResistance */
    10.0f,      /* EngineInertia */
    5e-06f,     /* RevResistance */
    {-3.953f, 0.0f, 3.369f, 2.035f, 1.36f, 1.0f, 0.856f, 0.0f, 0.0f},
    3896.0f,    /* EnginePeakRev */
    357.0f,     /* PeakTorque */
    0.0f,       /* EngineCurve */
};

#define CAR_FIELD_DEFINE(type, name) SIM_VAR type name;
#define CAR_ARRAY_DEFINE(type, name, n) SIM_VAR type name[n];
CAR_FIELDS(CAR_FIELD_DEFINE, CAR_ARRAY_DEFINE)

#define SIM_STATE_DEFINE(type, name, start) SIM_VAR type name;
SIM_STATE_ALL(SIM_STATE_DEFINE)

void load_car(const car *c)
{
#define CAR_FIELD_COPY(type, name) name = c->name;
#define CAR_ARRAY_COPY(type, name, n) \
    for (int i = 0; i < n; i++)       \
        name[i] = c->name[i];
    CAR_FIELDS(CAR_FIELD_COPY, CAR_ARRAY_COPY)
}

void load_preset(void)
{
    load_car(&KVT);
}

void car_in_force(car *c)
{
#define CAR_FIELD_TAKE(type, name) c->name = name;
#define CAR_ARRAY_TAKE(type, name, n) \
    for (int i = 0; i < n; i++)       \
        c->name[i] = name[i];
    CAR_FIELDS(CAR_FIELD_TAKE, CAR_ARRAY_TAKE)
}

/* Every state variable to its start value. */
static void all_to_start(void)
{
#define SIM_STATE_START(type, name, start) name = start;
    SIM_STATE_ALL(SIM_STATE_START)
}

void state_start(void)
{
    const float rx = ResetX, ry = ResetY, heading = ResetHeading;
    const int set = ResetSetsHeading;
    all_to_start();
    if (set)   /* a run begun at a course's start begins there again */
        sim_start_at(rx, ry, heading);
}

void sim_start(void)
{
    all_to_start();
    load_preset();
}

static bool finite(float v) { return std::isfinite(v); }
static bool finite(int) { return true; }

const char *state_not_finite(char *why, size_t size)
{
#define SIM_STATE_FINITE(type, name, start)                                            \
    if (!finite(name)) {                                                               \
        if (why)                                                                       \
            snprintf(why, size, "%s became %g (not a finite number)", #name, (double)name); \
        return #name;                                                                  \
    }
    SIM_STATE(SIM_STATE_FINITE)
    return nullptr;
}

/* Field by field, from the lists: the names are separate per-thread
 * variables, not one block, so there is no single copy to make.  A car
 * and a car's motion have the same state members. */
template <class S> static void names_take(const S *c)
{
#define CAR_STATE_IN(type, name, start) name = c->name;
    SIM_STATE_ALL(CAR_STATE_IN)
#undef CAR_STATE_IN
}

template <class S> static void names_give(S *c)
{
#define CAR_STATE_OUT(type, name, start) c->name = name;
    SIM_STATE_ALL(CAR_STATE_OUT)
#undef CAR_STATE_OUT
}

template <class S> static void to_start(S *c)
{
#define CAR_STATE_START(type, name, start) c->name = start;
    SIM_STATE_ALL(CAR_STATE_START)
#undef CAR_STATE_START
}

template <class D, class S> static void state_copied(D *to, const S *from)
{
#define CAR_STATE_COPY(type, name, start) to->name = from->name;
    SIM_STATE_ALL(CAR_STATE_COPY)
#undef CAR_STATE_COPY
}

void state_in(const car_state *c) { names_take(c); }
void state_in(const car_motion *m) { names_take(m); }

void car_in(const car_state *c)
{
    load_car(&c->params);
    state_in(c);
}

void car_out(car_state *c) { names_give(c); }
void car_out(car_motion *m) { names_give(m); }

void car_start(car_state *c, const car *params)
{
    c->params = params ? *params : KVT;
    to_start(c);
}

void motion_start(car_motion *m) { to_start(m); }

car_state car_joined(const car *params, const car_motion *m)
{
    car_state c;
    memset(&c, 0, sizeof c);   /* padding too: a car's bytes are pickled */
    c.params = *params;
    state_copied(&c, m);
    return c;
}

car_motion car_motion_of(const car_state *c)
{
    car_motion m;
    memset(&m, 0, sizeof m);
    state_copied(&m, c);
    return m;
}

/* Bit for bit; the memo field by field, so that its padding never counts. */
template <class T> static bool same_bits(const T &a, const T &b) { return memcmp(&a, &b, sizeof a) == 0; }
static bool same_bits(const travel_memo &a, const travel_memo &b)
{
    for (int i = 0; i < 2; i++)
        if (!same_bits(a.at[i].angle_bits, b.at[i].angle_bits) || !same_bits(a.at[i].sin, b.at[i].sin)
            || !same_bits(a.at[i].cos, b.at[i].cos))
            return false;
    return true;
}

/* The list's order puts the headings and speeds, which settle last, first. */
bool car_same_state(const car_state *c)
{
#define CAR_STATE_SAME(type, name, start) \
    &&(std::string_view(#name) == "x" || std::string_view(#name) == "y" || same_bits(name, c->name))
    return true SIM_STATE_ALL(CAR_STATE_SAME);
}
