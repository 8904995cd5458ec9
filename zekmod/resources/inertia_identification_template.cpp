// Template 3041.
#include "resources/templates.h"

rurorade::DialogTemplate InertiaTestTemplate()
{
    return {3041, "", {}};
}
