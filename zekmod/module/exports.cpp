#include "module/exports.h"

#include "editor/drive_setup_dlg.h"
#include "engine/decode_drive_config.h"
#include "engine/derived_quantities.h"
#include "engine/unit_scaling.h"
#include "module/zek_app.h"
#include "resources/templates.h"

CZEKApp::CZEKApp() { RegisterModuleTemplates(); }

CZEKApp theApp;

int EditSetup(CMC_Setup* setup)
{
    CDriveSetupDlg dlg(setup, nullptr);
    return dlg.DoModal() == rurorade::IDOK ? 1 : 0;
}

void ComputeAllOptions(CMC_Setup* setup)
{
    if (setup == nullptr) return;
    DecodeRegisters(setup);
    ComputeParameterLimits(setup);
    SetControlStructureOptions(setup);
    ApplyTransmissionUnits(setup);
}

double GetScaleFactor(CMC_Setup* setup, const char* unit, const char* name) { return ScaleFactorFor(setup, unit, name); }

double GetScaleOffset(CMC_Setup* setup, const char* unit) { return ScaleOffsetFor(setup, unit); }
