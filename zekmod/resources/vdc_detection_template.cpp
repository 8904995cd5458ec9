// Template 105, "VDC Detection Test".
#include "commissioning/vdc_detection.h"
#include "resources/templates.h"

rurorade::DialogTemplate VdcTestTemplate()
{
    using rurorade::ControlKind;
    using T = CTestVdcDetection;
    return {T::kTemplateId,
            "VDC Detection Test",
            {
                {T::kPurposeText, ControlKind::Static, "Identifies the VDC voltage.", ""},
                {T::kProcedureText, ControlKind::Static,
                 "1. Press the Start button\r\n2. Wait until the test ends and displays the results", ""},
                {T::kVdcEdit, ControlKind::Edit, "", ""},
                {T::kVdcUnit, ControlKind::Combo, "", ""},
                {T::kHelpId, ControlKind::Button, "Help", ""},
                // Start/Stop, status, result icon, "Details" and "Close" come with the host's test frame.
            }};
}
