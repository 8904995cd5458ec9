// Template 293.
#include "resources/templates.h"

rurorade::DialogTemplate HallSignalsTestTemplate()
{
    return {293, "", {}};
}
