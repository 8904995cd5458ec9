// Template 290, "Total Resistance and Inductance Identification Test".
#include "commissioning/rl_identification.h"
#include "resources/templates.h"

rurorade::DialogTemplate RlTestTemplate()
{
    using rurorade::ControlKind;
    using T = CTestRL;
    return {T::kTemplateId,
            "Total Resistance and Inductance Identification Test",
            {
                {T::kPurposeText, ControlKind::Static, "Identifies total resistance and inductance.", ""},
                {T::kRLabel, ControlKind::Static, "R = ", ""},
                {T::kREdit, ControlKind::Edit, "", ""},
                {T::kRUnit, ControlKind::Combo, "", ""},
                {T::kLLabel, ControlKind::Static, "L = ", ""},
                {T::kLEdit, ControlKind::Edit, "", ""},
                {T::kLUnit, ControlKind::Combo, "", ""},
                {T::kTestCurrentLabel, ControlKind::Static, "Test current", ""},
                {T::kTestCurrentEdit, ControlKind::Edit, "", ""},
                {T::kTestCurrentUnit, ControlKind::Combo, "", ""},
                {T::kTestCurrentNote, ControlKind::Static, "- Current value used during the test", ""},
                {T::kHelpId, ControlKind::Button, "Help", ""},
                // Start/Stop, status, result icon, "Details" and "Close" come with the host's test frame.
            }};
}
