#include "module/exports.h"

#include "engine/unit_scaling.h"
#include "module/zek_app.h"

CZEKApp theApp;

int EditSetup(CMC_Setup* setup)
{
    // The setup editor is not built yet: nothing is shown, so report "not OK".
    (void)setup;
    return 0;
}

void ComputeAllOptions(CMC_Setup* setup)
{
    if (setup == nullptr) return;
}

double GetScaleFactor(CMC_Setup* setup, const char* unit, const char* name) { return ScaleFactorFor(setup, unit, name); }

double GetScaleOffset(CMC_Setup* setup, const char* unit) { return ScaleOffsetFor(setup, unit); }
