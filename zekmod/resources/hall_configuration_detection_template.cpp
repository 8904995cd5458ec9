// Template 294.
#include "resources/templates.h"

rurorade::DialogTemplate HallConfigTestTemplate()
{
    return {294, "", {}};
}
