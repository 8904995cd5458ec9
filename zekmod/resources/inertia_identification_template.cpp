// Template 3041, "Total inertia test".
#include "commissioning/inertia_identification.h"
#include "resources/templates.h"

rurorade::DialogTemplate InertiaTestTemplate()
{
    using rurorade::ControlKind;
    using T = CTotalInertiaTest;
    return {T::kTemplateId,
            "Total inertia test",
            {
                {T::kPurposeText, ControlKind::Static, "Identifies the total inertia (motor + load) seen at the motor shaft", ""},
                {T::kTestCurrentLabel, ControlKind::Static, "Test current", ""},
                {T::kTestCurrentEdit, ControlKind::Edit, "", ""},
                {T::kTestCurrentUnit, ControlKind::Combo, "", ""},
                {T::kTestCurrentNote, ControlKind::Static, "- Current value used during the test", ""},
                {T::kProtectionLabel, ControlKind::Static, "I protection", ""},
                {T::kProtectionEdit, ControlKind::Edit, "", ""},
                {T::kProtectionUnit, ControlKind::Combo, "", ""},
                {T::kProtectionNote, ControlKind::Static, "- Over current protection level", ""},
                {T::kMaxSpeedLabel, ControlKind::Static, "Max. speed", ""},
                {T::kMaxSpeedEdit, ControlKind::Edit, "", ""},
                {T::kMaxSpeedUnit, ControlKind::Combo, "", ""},
                {T::kMaxSpeedNote, ControlKind::Static, "- Maximal motor speed", ""},
                {T::kJtLabel, ControlKind::Static, "J total = ", ""},
                {T::kJtEdit, ControlKind::Edit, "", ""},
                {T::kJtUnit, ControlKind::Combo, "", ""},
                {T::kHelpId, ControlKind::Button, "Help", ""},
                // Start/Stop, status, result icon, "Details" and "Close" come with the host's test frame.
            }};
}
