// Template 3056, "Motor inertia".
#include "resources/templates.h"

rurorade::DialogTemplate InertiaQuestionTemplate()
{
    using rurorade::ControlKind;
    return {3056, "Motor inertia", {{rurorade::IDOK, ControlKind::Button, "OK", ""}, {rurorade::IDCANCEL, ControlKind::Button, "Cancel", ""}}};
}
