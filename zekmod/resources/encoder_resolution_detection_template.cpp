// Template 292, "Encoder Resolution and Direction Test".
#include "commissioning/encoder_resolution_detection.h"
#include "resources/templates.h"

rurorade::DialogTemplate EncoderResolutionTestTemplate()
{
    using rurorade::ControlKind;
    using T = CDetectEncoderResolution;
    return {T::kTemplateId,
            "Encoder Resolution and Direction Test",
            {
                {T::kPurposeText, ControlKind::Static, "Detects the encoder resolution and counting direction.", ""},
                {T::kProcedureText, ControlKind::Static,
                 "1. Press the Start button\r\n2. Wait until the test ends and displays the results", ""},
                {T::kTestCurrentLabel, ControlKind::Static, "Test current", ""},
                {T::kTestCurrentEdit, ControlKind::Edit, "", ""},
                {T::kTestCurrentUnit, ControlKind::Combo, "", ""},
                {T::kPolePairsLabel, ControlKind::Static, "Pole pairs", ""},
                {T::kPolePairsEdit, ControlKind::Edit, "", ""},
                {T::kReverseCountingCheck, ControlKind::Check, "Reverse encoder counting", ""},
                {T::kDetectedLinesLabel, ControlKind::Static, "Encoder resolution", ""},
                {T::kDetectedLinesEdit, ControlKind::Static, "", ""},
                {T::kPositionLabel, ControlKind::Static, "Position counter", ""},
                {T::kPositionEdit, ControlKind::Static, "", ""},
                {T::kHallStateLabel, ControlKind::Static, "Halls", ""},
                {T::kHallStateEdit, ControlKind::Static, "", ""},
                {T::kIndexLabel, ControlKind::Static, "Index position", ""},
                {T::kIndexEdit, ControlKind::Static, "", ""},
                // Drawn by the host's diagram widgets.
                {T::kEncoderDiagramId, ControlKind::Static, "", ""},
                {T::kPhaseDiagramId, ControlKind::Static, "", ""},
                {T::kHallDiagramId, ControlKind::Static, "", ""},
                {T::kHelpId, ControlKind::Button, "Help", ""},
                // Start/Stop, status, result icon, "Details" and "Close" come with the host's test frame.
            }};
}
