// Template 104, "Analogue Reference Test".
#include "commissioning/analogue_reference_check.h"
#include "resources/templates.h"

rurorade::DialogTemplate AnalogueRefTestTemplate()
{
    using rurorade::ControlKind;
    using T = CTestAnalogueRef;
    return {T::kTemplateId,
            "Analogue Reference Test",
            {
                {T::kPurposeText, ControlKind::Static,
                 "Checks the operation of the analogue reference signal, and its signifiance, as correlated to the "
                 "control type and limits.",
                 ""},
                {T::kProcedureText, ControlKind::Static,
                 "1. Connect a potentiometer to the analogue reference input\r\n2. Press the Start button\r\n"
                 "3. Move the cursor of the potentiometer\r\n4. Watch the input voltage and the command it gives\r\n"
                 "5. Press the Stop button",
                 ""},
                {T::kVoltageLabel, ControlKind::Static, "Input voltage", ""},
                {T::kVoltageText, ControlKind::Edit, "", ""},
                {T::kVoltageUnit, ControlKind::Static, "", ""},
                {T::kVoltageBar, ControlKind::Static, "", ""},
                {T::kCommandLabel, ControlKind::Static, "", ""},
                {T::kCommandText, ControlKind::Edit, "", ""},
                {T::kCommandUnit, ControlKind::Static, "", ""},
                {T::kCommandBar, ControlKind::Static, "", ""},
                {T::kHelpId, ControlKind::Button, "Help", ""},
                // Start/Stop, status, result icon, "Details" and "Close" come with the host's test frame.
            }};
}
