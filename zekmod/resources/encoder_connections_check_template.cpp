// Template 291, "Encoder Connections Test".
#include "commissioning/encoder_connections_check.h"
#include "resources/templates.h"

rurorade::DialogTemplate EncoderConnectionsTestTemplate()
{
    using rurorade::ControlKind;
    using T = CTestEncoderConnections;
    return {T::kTemplateId,
            "Encoder Connections Test",
            {
                {T::kPurposeText, ControlKind::Static, "Checks presence of encoder signals A and B.", ""},
                {T::kProcedureText, ControlKind::Static,
                 "1. Press the Start button \r\n2. Wait until the test status shows \"Running test\"", ""},
                {T::kProcedureMoreText, ControlKind::Static,
                 "3. Rotate the motor shaft manually. Check if position counter is changing. \r\n4. Press the \"Stop\" "
                 "button to end the test.",
                 ""},
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
