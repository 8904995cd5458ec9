// Template 101, "Current Controller Tuning Test".
#include "commissioning/current_tuning.h"
#include "resources/templates.h"

rurorade::DialogTemplate CurrentTuningTestTemplate()
{
    using rurorade::ControlKind;
    using T = CTestCurrent;
    return {T::kTemplateId,
            "Current Controller Tuning Test",
            {
                {CTuningTestDlg::kTabId, ControlKind::Combo, "", ""},
                {T::kPurposeText, ControlKind::Static, "Checks current controller step input response.", ""},
                {T::kTestCurrentLabel, ControlKind::Static, "Test current", ""},
                {T::kTestCurrentEdit, ControlKind::Edit, "", ""},
                {T::kTestCurrentUnit, ControlKind::Combo, "", ""},
                {T::kProtectionLabel, ControlKind::Static, "Over current protection", ""},
                {T::kProtectionEdit, ControlKind::Edit, "", ""},
                {T::kProtectionUnit, ControlKind::Combo, "", ""},
                {CTuningTestDlg::kProcedureId, ControlKind::Static, "", ""},
                {CTuningTestDlg::kPictureId, ControlKind::Image, "", ""},
                {T::kKpLabel, ControlKind::Static, "Kp", "Controller"},
                {T::kKpSlider, ControlKind::Slider, "", "Controller"},
                {T::kKpEdit, ControlKind::Edit, "", "Controller"},
                {T::kKpSpinLow, ControlKind::Button, "<", "Controller"},
                {T::kKpSpinHigh, ControlKind::Button, ">", "Controller"},
                {T::kKiLabel, ControlKind::Static, "Ki", "Controller"},
                {T::kKiSlider, ControlKind::Slider, "", "Controller"},
                {T::kKiEdit, ControlKind::Edit, "", "Controller"},
                {T::kKiSpinLow, ControlKind::Button, "<", "Controller"},
                {T::kKiSpinHigh, ControlKind::Button, ">", "Controller"},
                {T::kPassbandLabel, ControlKind::Static, "Passband", "Controller"},
                {T::kPassbandSlider, ControlKind::Slider, "", "Controller"},
                {T::kPassbandEdit, ControlKind::Edit, "", "Controller"},
                {T::kPassbandUnit, ControlKind::Combo, "", "Controller"},
                {T::kPassbandSpinLow, ControlKind::Button, "<", "Controller"},
                {T::kPassbandSpinHigh, ControlKind::Button, ">", "Controller"},
                {T::kTuneButton, ControlKind::Button, "Tune", "Controller"},
                {T::kFilterCheck, ControlKind::Check, "Use filter on the current controller", ""},
                {T::kFilterLabel, ControlKind::Static, "Filter bandwidth", ""},
                {T::kFilterEdit, ControlKind::Edit, "", ""},
                {T::kFilterUnit, ControlKind::Combo, "", ""},
                {T::kOffsetCheck, ControlKind::Check, "Compensate for gravitational loads", ""},
                {T::kOffsetLabel, ControlKind::Static, "Offset value", ""},
                {T::kOffsetEdit, ControlKind::Edit, "", ""},
                {T::kOffsetUnit, ControlKind::Combo, "", ""},
                {CTuningTestDlg::kGraphId, ControlKind::Static, "Graph", ""},
                {CTuningTestDlg::kSavePlotsId, ControlKind::Button, "S&ave Plots", ""},
                {CTuningTestDlg::kHelpId, ControlKind::Button, "Help", ""},
            }};
}
