#pragma once
// The module's plug-in interface: the only undecorated names it exports.
#include "rurorade/setup.h"

#define ZEK_EXPORT __attribute__((visibility("default")))

extern "C" {
ZEK_EXPORT int EditSetup(CMC_Setup* setup);
ZEK_EXPORT void ComputeAllOptions(CMC_Setup* setup);
ZEK_EXPORT double GetScaleFactor(CMC_Setup* setup, const char* unit, const char* name);
ZEK_EXPORT double GetScaleOffset(CMC_Setup* setup, const char* unit);
ZEK_EXPORT extern int g_bKufSinusoidalMode;
}
