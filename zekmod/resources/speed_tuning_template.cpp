// Template 102, "Speed Controller Tuning Test".
#include "commissioning/speed_tuning.h"
#include "resources/templates.h"

rurorade::DialogTemplate SpeedTuningTestTemplate()
{
    using rurorade::ControlKind;
    using T = CTestSpeedTuning;
    auto controls = ProfileTuningControls();
    controls.insert(controls.begin(), {
        {T::kPurposeText, ControlKind::Static, "Checks speed controller response.", ""},
        {T::kTestSpeedLabel, ControlKind::Static, "Test speed", "Speed profile"},
        {T::kTestSpeedEdit, ControlKind::Edit, "", "Speed profile"},
        {T::kTestSpeedUnit, ControlKind::Combo, "", "Speed profile"},
        {T::kIdentifyId, ControlKind::Button, "Identify", "Total inertia"},
        {T::kReferenceLabel, ControlKind::Static, "Speed reference: ", ""},
        {T::kReferenceValue, ControlKind::Static, "", ""},
        {T::kMeasuredLabel, ControlKind::Static, "Load speed:", ""},
        {T::kMeasuredValue, ControlKind::Static, "", ""},
    });
    return {T::kTemplateId, "Speed Controller Tuning Test", controls};
}
