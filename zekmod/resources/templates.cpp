#include "resources/templates.h"

void RegisterModuleTemplates()
{
    rurorade::RegisterDialogTemplate(DriveSetupTemplate());
    rurorade::RegisterDialogTemplate(MotorSetupTemplate());
}
