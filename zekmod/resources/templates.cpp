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
}
