#pragma once
// Scale quantities linking drive-internal units and base units, recomputed from the setup at
// every call, and the unit table behind the scale exports.
#include "rurorade/setup.h"

extern "C" {
// Forces the sinusoidal form of the voltage command scale while nonzero.
extern int g_bKufSinusoidalMode;
}

constexpr double kPi = 3.141592653589793;

double CurrentLoopPeriod(CMC_Setup* setup);       // s
double SpeedLoopPeriod(CMC_Setup* setup);         // s
double CurrentScale(CMC_Setup* setup);            // counts per A
double VoltageScale(CMC_Setup* setup);            // DC bus counts per V
double VoltageCommandScale(CMC_Setup* setup);     // command units per V
double MotorPositionScale(CMC_Setup* setup);      // counts per rad at the motor
double LoadPositionScale(CMC_Setup* setup);       // counts per base position unit at the load
double MotorSpeedScale(CMC_Setup* setup);         // counts per speed period per rad/s
double LoadSpeedScale(CMC_Setup* setup);
double LoadAccelerationScale(CMC_Setup* setup);
double LoadJerkScale(CMC_Setup* setup);
double AnalogueReferenceScale(CMC_Setup* setup);  // reference units per converter count
double AccelerationFeedforwardShift(CMC_Setup* setup);
// Converter full scale as a double (unsigned 32-bit count).
double ADCmax(CMC_Setup* setup);
// Encoder counts per motor revolution as the drive uses them (multiple of 4).
double EncoderCounts(CMC_Setup* setup);

// The factor and offset of the scale exports; unknown units give the identity.
double ScaleFactorFor(CMC_Setup* setup, const char* unit, const char* name);
double ScaleOffsetFor(CMC_Setup* setup, const char* unit);
