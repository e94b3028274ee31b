/*
 * sim/state.cpp -- storage for the simulation's globals and the preset.
 */
#include "state.h"

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

float EngineA, EngineB, EngineC;
float BrakeForce, BrakeBiasFront;
float DragCoeficient;
float G;
int   DriveTrain;
float Mass, WheelRadius, WheelBase, LockMax;
float TransmissionFinal;
float CenterGravityHeight, FrontMassDistribution;
int   GearMax;
float WheelTrack, RollingResistance, EngineInertia, RevResistance;
float GearReduction[9];
float EnginePeakRev, PeakTorque, EngineCurve;

float x, y;
float AxisAngle, TrueAngle;
float Velocity, TrueVelocity, Acceleration, EngineRev, TransmissionTotal;
float PedalAccelerator, PedalBrake, PedalClutch, DrivingWheelTurning;
int   Gear, KeyHeld;
int   TractionSlip;
float EngineForce, RearAxisForce, FrontAxisForce;
float FrontAxisAcceleration, RearAxisAcceleration;
float FrontAxisRev, RearAxisRev;
float FrontAxisWeight, RearAxisWeight;

void load_preset(void)
{
    EngineA = KVT.EngineA;
    EngineB = KVT.EngineB;
    EngineC = KVT.EngineC;
    BrakeForce = KVT.BrakeForce;
    BrakeBiasFront = KVT.BrakeBiasFront;
    DragCoeficient = KVT.DragCoeficient;
    G = KVT.G;
    DriveTrain = KVT.DriveTrain;
    Mass = KVT.Mass;
    WheelRadius = KVT.WheelRadius;
    WheelBase = KVT.WheelBase;
    LockMax = KVT.LockMax;
    TransmissionFinal = KVT.TransmissionFinal;
    CenterGravityHeight = KVT.CenterGravityHeight;
    FrontMassDistribution = KVT.FrontMassDistribution;
    GearMax = KVT.GearMax;
    WheelTrack = KVT.WheelTrack;
    RollingResistance = KVT.RollingResistance;
    EngineInertia = KVT.EngineInertia;
    RevResistance = KVT.RevResistance;
    for (int i = 0; i < 9; i++)
        GearReduction[i] = KVT.GearReduction[i];
    EnginePeakRev = KVT.EnginePeakRev;
    PeakTorque = KVT.PeakTorque;
    EngineCurve = KVT.EngineCurve;
}

void sim_start(void)
{
    x = y = 0;
    AxisAngle = TrueAngle = 0;
    Velocity = TrueVelocity = Acceleration = EngineRev = TransmissionTotal = 0;
    PedalAccelerator = PedalBrake = PedalClutch = DrivingWheelTurning = 0;
    Gear = KeyHeld = TractionSlip = 0;
    EngineForce = RearAxisForce = FrontAxisForce = 0;
    FrontAxisAcceleration = RearAxisAcceleration = 0;
    FrontAxisRev = RearAxisRev = 0;
    FrontAxisWeight = RearAxisWeight = 0;

    load_preset();
    x = 512;
    y = 384;
}
