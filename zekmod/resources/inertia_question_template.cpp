// Template 3056, "Motor inertia".
#include "resources/templates.h"

rurorade::DialogTemplate InertiaQuestionTemplate()
{
    using K = rurorade::ControlKind;
    return {3056,
            "Motor inertia",
            {{3952, K::Static,
              "Motor inertia is bigger than the value previously set for total inertia (motor + load). You have the "
              "following options:",
              ""},
             {3333, K::Radio, "Increase total inertia to match your motor inertia (default)", ""},
             {3334, K::Radio, "Leave total inertia unchanged and disregard motor inertia", ""},
             {rurorade::IDOK, K::Button, "OK", ""}}};
}
