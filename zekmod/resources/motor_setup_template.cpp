// Template 108, "Brushless Motor Setup".
#include "resources/templates.h"

rurorade::DialogTemplate MotorSetupTemplate()
{
    using rurorade::ControlKind;
    return {108,
            "Brushless Motor Setup",
            {{1177, ControlKind::Button, "Identify Resistance and Inductance", ""},
             {rurorade::IDOK, ControlKind::Button, "OK", ""},
             {rurorade::IDCANCEL, ControlKind::Button, "Cancel", ""}}};
}
