// Template 103, "Position Controller Tuning Test".
#include "commissioning/position_tuning.h"
#include "resources/templates.h"

rurorade::DialogTemplate PositionTuningTestTemplate()
{
    using rurorade::ControlKind;
    using T = CTestPositionTuning;
    auto controls = ProfileTuningControls();
    controls.insert(controls.begin(), {
        {T::kPurposeText, ControlKind::Static, "Checks position controller response.", ""},
        {T::kTestPositionLabel, ControlKind::Static, "Test position", "Position profile"},
        {T::kTestPositionEdit, ControlKind::Edit, "", "Position profile"},
        {T::kTestPositionUnit, ControlKind::Combo, "", "Position profile"},
        {T::kSpeedLimitGroup, ControlKind::Group, "Speed limit", "Speed limit"},
        {T::kSpeedLimitLabel, ControlKind::Static, "Load speed limit", "Speed limit"},
        {T::kSpeedLimitEdit, ControlKind::Edit, "", "Speed limit"},
        {T::kSpeedLimitUnit, ControlKind::Combo, "", "Speed limit"},
        {T::kKdLabel, ControlKind::Static, "Kd", "Controller"},
        {T::kKdSlider, ControlKind::Slider, "", "Controller"},
        {T::kKdEdit, ControlKind::Edit, "", "Controller"},
        {T::kKdSpinLow, ControlKind::Button, "<", "Controller"},
        {T::kKdSpinHigh, ControlKind::Button, ">", "Controller"},
        {T::kFilterLabel, ControlKind::Static, "Kd filter (0...1)", "Controller"},
        {T::kFilterEdit, ControlKind::Edit, "", "Controller"},
        {T::kIdentifyId, ControlKind::Button, "Identify", "Total inertia"},
        {T::kReferenceLabel, ControlKind::Static, "Position reference: ", ""},
        {T::kReferenceValue, ControlKind::Static, "", ""},
        {T::kMeasuredLabel, ControlKind::Static, "Load position:", ""},
        {T::kMeasuredValue, ControlKind::Static, "", ""},
    });
    return {T::kTemplateId, "Position Controller Tuning Test", controls};
}
