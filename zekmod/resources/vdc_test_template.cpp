// Template 105, "VDC Detection Test".
#include "commissioning/test_vdc_detection.h"
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
                {CMC_TestDlg::kStartStopId, ControlKind::Button, "Start", ""},
                {CMC_TestDlg::kStatusId, ControlKind::Static, "", ""},
                {CMC_TestDlg::kResultIconId, ControlKind::Image, "", ""},
                {CMC_TestDlg::kDetailsId, ControlKind::Button, "Details", ""},
                {T::kHelpId, ControlKind::Button, "Help", ""},
                {rurorade::IDCANCEL, ControlKind::Button, "Close", ""},
            }};
}
