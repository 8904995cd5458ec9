// Template 3018, "Drive Info".
#include "resources/templates.h"

rurorade::DialogTemplate DriveInfoTemplate()
{
    using rurorade::ControlKind;
    return {3018, "Drive Info", {{rurorade::IDOK, ControlKind::Button, "OK", ""}, {rurorade::IDCANCEL, ControlKind::Button, "Cancel", ""}}};
}
