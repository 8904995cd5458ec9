#include "resources/templates.h"

void RegisterModuleTemplates()
{
    rurorade::RegisterDialogTemplate(DriveSetupTemplate());
    rurorade::RegisterDialogTemplate(MotorSetupTemplate());
    rurorade::RegisterDialogTemplate(VdcTestTemplate());
    rurorade::RegisterDialogTemplate(RlTestTemplate());
}
