// Template 289.
#include "resources/templates.h"

rurorade::DialogTemplate PolePairsTestTemplate()
{
    return {289, "", {}};
}
