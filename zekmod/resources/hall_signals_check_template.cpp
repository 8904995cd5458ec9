// Template 293, "Hall Signals Connection Test".
#include "commissioning/hall_signals_check.h"
#include "resources/templates.h"

rurorade::DialogTemplate HallSignalsTestTemplate()
{
    using rurorade::ControlKind;
    using T = CTestHallSignals;
    return {T::kTemplateId,
            "Hall Signals Connection Test",
            {
                {T::kPurposeText, ControlKind::Static, "Checks presence of Hall signals.", ""},
                {T::kProcedureText, ControlKind::Static,
                 "1. Press the Start button \r\n2. Wait until the test status shows \"Running test\" \r\n3. Rotate the "
                 "motor shaft manually. Check that all 6 sectors defined by the Hall inputs were covered."
                 "4. Press the \"Stop\" button to end the test.",
                 ""},
                {T::kEncoderDiagramId, ControlKind::Static, "", ""},
                {T::kPhaseDiagramId, ControlKind::Static, "", ""},
                {T::kHallDiagramId, ControlKind::Static, "", ""},
                {T::kHall1Label, ControlKind::Static, "Hall1", ""},
                {T::kHall1Edit, ControlKind::Edit, "", ""},
                {T::kHall2Label, ControlKind::Static, "Hall2", ""},
                {T::kHall2Edit, ControlKind::Edit, "", ""},
                {T::kHall3Label, ControlKind::Static, "Hall3", ""},
                {T::kHall3Edit, ControlKind::Edit, "", ""},
                {T::kHallStateText, ControlKind::Static, "", ""},
                {T::kPositionText, ControlKind::Static, "", ""},
                {T::kHelpId, ControlKind::Button, "Help", ""},
                // Start/Stop, status, result icon, "Details" and "Close" come with the host's test frame.
            }};
}
