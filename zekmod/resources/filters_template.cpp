// Template 3072, "Filters".
#include "resources/templates.h"

rurorade::DialogTemplate FiltersTemplate()
{
    using rurorade::ControlKind;
    return {3072, "Filters", {{rurorade::IDOK, ControlKind::Button, "OK", ""}, {rurorade::IDCANCEL, ControlKind::Button, "Cancel", ""}}};
}
