// Template 110, "Advanced".
#include "resources/templates.h"

rurorade::DialogTemplate AdvancedTemplate()
{
    using rurorade::ControlKind;
    return {110, "Advanced", {{rurorade::IDOK, ControlKind::Button, "OK", ""}, {rurorade::IDCANCEL, ControlKind::Button, "Cancel", ""}}};
}
