// Template 288.
#include "resources/templates.h"

rurorade::DialogTemplate PhaseTestTemplate()
{
    return {288, "", {}};
}
