// Template 3059, "Electric Angle Controller Tuning Test".
#include "commissioning/angle_tuning.h"
#include "resources/templates.h"

rurorade::DialogTemplate AngleTuningTestTemplate()
{
    using rurorade::ControlKind;
    using T = CTestAngle;
    return {T::kTemplateId,
            "Electric Angle Controller Tuning Test",
            {
                {CTuningTestDlg::kTabId, ControlKind::Combo, "", ""},
                {T::kPurposeText, ControlKind::Static, "Set up the motionless start parameters for optimal performance", ""},
                {T::kTestCurrentLabel, ControlKind::Static, "Test current", "Test parameters"},
                {T::kTestCurrentEdit, ControlKind::Edit, "", "Test parameters"},
                {T::kTestCurrentUnit, ControlKind::Combo, "", "Test parameters"},
                {T::kIncrementLabel, ControlKind::Static, "Current increment", "Test parameters"},
                {T::kIncrementEdit, ControlKind::Edit, "", "Test parameters"},
                {T::kIncrementUnit, ControlKind::Combo, "", "Test parameters"},
                {T::kStabiliseLabel, ControlKind::Static, "Stabilize time", "Test parameters"},
                {T::kStabiliseEdit, ControlKind::Edit, "", "Test parameters"},
                {T::kStabiliseUnit, ControlKind::Combo, "", "Test parameters"},
                {CTuningTestDlg::kProcedureId, ControlKind::Static, "", ""},
                {CTuningTestDlg::kPictureId, ControlKind::Image, "", ""},
                {T::kAcquisitionsLabel, ControlKind::Static, "Acquisitions no. (decimal)", "Logger"},
                {T::kAcquisitionsEdit, ControlKind::Edit, "", "Logger"},
                {T::kSamplingLabel, ControlKind::Static, "Save logged data at every", "Logger"},
                {T::kSamplingEdit, ControlKind::Edit, "", "Logger"},
                {T::kSamplingTail, ControlKind::Static, "control loop sampling(s)", "Logger"},
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
                {CTuningTestDlg::kGraphId, ControlKind::Static, "Graph", ""},
                {CTuningTestDlg::kSavePlotsId, ControlKind::Button, "S&ave Plots", ""},
                {CTuningTestDlg::kHelpId, ControlKind::Button, "Help", ""},
            }};
}
