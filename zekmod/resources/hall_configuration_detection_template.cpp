// Template 294, "Hall Configuration Detection Test".
#include "commissioning/hall_configuration_detection.h"
#include "resources/templates.h"

rurorade::DialogTemplate HallConfigTestTemplate()
{
    using rurorade::ControlKind;
    using T = CTestHallConfiguration;
    return {T::kTemplateId,
            "Hall Configuration Detection Test",
            {
                {T::kPurposeText, ControlKind::Static, "Detects Hall signals sequence.", ""},
                {T::kTestCurrentLabel, ControlKind::Static, "Test current", ""},
                {T::kTestCurrentEdit, ControlKind::Edit, "", ""},
                {T::kTestCurrentUnit, ControlKind::Combo, "", ""},
                {T::kEncoderDiagramId, ControlKind::Static, "", ""},
                {T::kPhaseDiagramId, ControlKind::Static, "", ""},
                {T::kHallDiagramId, ControlKind::Static, "", ""},
                {T::kConfigurationLabel, ControlKind::Static, "Hall configuration", ""},
                {T::kConfigurationText, ControlKind::Edit, "", ""},
                {T::kHallStateText, ControlKind::Static, "", ""},
                {T::kPositionText, ControlKind::Static, "", ""},
                {T::kHelpId, ControlKind::Button, "Help", ""},
                // Start/Stop, status, result icon, "Details" and "Close" come with the host's test frame.
            }};
}
