// Template 288, "Motor Phase Connection Test".
#include "commissioning/phase_connection_check.h"
#include "resources/templates.h"

rurorade::DialogTemplate PhaseTestTemplate()
{
    using rurorade::ControlKind;
    using T = CTestPhaseConnections;
    return {T::kTemplateId,
            "Motor Phase Connection Test",
            {
                {T::kPurposeText, ControlKind::Static, "Checks motor to drive connection.", ""},
                {T::kProcedureText, ControlKind::Static,
                 "1. Check the above test parameter \r\n2. Press the Start button \r\n3. Wait until the test ends and "
                 "displays the result. The test has passed if phase A current IA ~ Itest and phase B current IB ~ - "
                 "Itest / 2",
                 ""},
                {T::kTestCurrentLabel, ControlKind::Static, "Test current", ""},
                {T::kTestCurrentEdit, ControlKind::Edit, "", ""},
                {T::kTestCurrentUnit, ControlKind::Combo, "", ""},
                {T::kIALabel, ControlKind::Static, "IA", ""},
                {T::kIAEdit, ControlKind::Edit, "", ""},
                {T::kIAUnitLabel, ControlKind::Static, "A", ""},
                {T::kIABar, ControlKind::Static, "", ""},  // bar graph of phase A
                {T::kIBLabel, ControlKind::Static, "IB", ""},
                {T::kIBEdit, ControlKind::Edit, "", ""},
                {T::kIBUnitLabel, ControlKind::Static, "A", ""},
                {T::kIBBar, ControlKind::Static, "", ""},  // bar graph of phase B
                {T::kHelpId, ControlKind::Button, "Help", ""},
                // Start/Stop, status, result icon, "Details" and "Close" come with the host's test frame.
            }};
}
