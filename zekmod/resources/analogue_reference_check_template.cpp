// Template 104.
#include "resources/templates.h"

rurorade::DialogTemplate AnalogueRefTestTemplate()
{
    return {104, "", {}};
}
