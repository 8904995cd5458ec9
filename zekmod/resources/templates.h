#pragma once
// The module's dialog templates and their registration with the host.
#include "rurorade/dialog_template.h"

rurorade::DialogTemplate DriveSetupTemplate();
rurorade::DialogTemplate MotorSetupTemplate();
rurorade::DialogTemplate VdcTestTemplate();
rurorade::DialogTemplate RlTestTemplate();
rurorade::DialogTemplate InertiaQuestionTemplate();
rurorade::DialogTemplate FiltersTemplate();
rurorade::DialogTemplate AdvancedTemplate();
rurorade::DialogTemplate AnalogReferenceTemplate();
rurorade::DialogTemplate DriveInfoTemplate();
rurorade::DialogTemplate EncoderResolutionTestTemplate();
rurorade::DialogTemplate EncoderConnectionsTestTemplate();
rurorade::DialogTemplate HallConfigTestTemplate();
rurorade::DialogTemplate HallSignalsTestTemplate();
rurorade::DialogTemplate PolePairsTestTemplate();
rurorade::DialogTemplate PhaseTestTemplate();
rurorade::DialogTemplate AnalogueRefTestTemplate();
rurorade::DialogTemplate InertiaTestTemplate();
rurorade::DialogTemplate CurrentTuningTestTemplate();
rurorade::DialogTemplate SpeedTuningTestTemplate();
rurorade::DialogTemplate PositionTuningTestTemplate();
rurorade::DialogTemplate AngleTuningTestTemplate();
// Controls the speed and position tuning tests share.
std::vector<rurorade::ControlTemplate> ProfileTuningControls();

// Registers every template of the module with the host (idempotent).
void RegisterModuleTemplates();
