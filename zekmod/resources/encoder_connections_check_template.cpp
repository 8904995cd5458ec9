// Template 291.
#include "resources/templates.h"

rurorade::DialogTemplate EncoderConnectionsTestTemplate()
{
    return {291, "", {}};
}
