#include "resources/templates.h"

void RegisterModuleTemplates()
{
    rurorade::RegisterDialogTemplate(DriveSetupTemplate());
    rurorade::RegisterDialogTemplate(MotorSetupTemplate());
    rurorade::RegisterDialogTemplate(VdcTestTemplate());
    rurorade::RegisterDialogTemplate(RlTestTemplate());
    rurorade::RegisterDialogTemplate(InertiaQuestionTemplate());
    rurorade::RegisterDialogTemplate(FiltersTemplate());
    rurorade::RegisterDialogTemplate(AdvancedTemplate());
    rurorade::RegisterDialogTemplate(AnalogReferenceTemplate());
    rurorade::RegisterDialogTemplate(DriveInfoTemplate());
    rurorade::RegisterDialogTemplate(EncoderResolutionTestTemplate());
    rurorade::RegisterDialogTemplate(EncoderConnectionsTestTemplate());
    rurorade::RegisterDialogTemplate(HallConfigTestTemplate());
    rurorade::RegisterDialogTemplate(HallSignalsTestTemplate());
    rurorade::RegisterDialogTemplate(PolePairsTestTemplate());
    rurorade::RegisterDialogTemplate(PhaseTestTemplate());
    rurorade::RegisterDialogTemplate(AnalogueRefTestTemplate());
    rurorade::RegisterDialogTemplate(InertiaTestTemplate());
    rurorade::RegisterDialogTemplate(CurrentTuningTestTemplate());
    rurorade::RegisterDialogTemplate(SpeedTuningTestTemplate());
    rurorade::RegisterDialogTemplate(PositionTuningTestTemplate());
    rurorade::RegisterDialogTemplate(AngleTuningTestTemplate());
}
