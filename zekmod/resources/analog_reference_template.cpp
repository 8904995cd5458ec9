// Template 111, "External Reference Setup".
#include "resources/templates.h"

rurorade::DialogTemplate AnalogReferenceTemplate()
{
    using rurorade::ControlKind;
    return {111, "External Reference Setup", {{rurorade::IDOK, ControlKind::Button, "OK", ""}, {rurorade::IDCANCEL, ControlKind::Button, "Cancel", ""}}};
}
