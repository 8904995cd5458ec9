// Template 292.
#include "resources/templates.h"

rurorade::DialogTemplate EncoderResolutionTestTemplate()
{
    return {292, "", {}};
}
