// Template 289, "Motor Pole Pairs Detection Test".
#include "commissioning/pole_pairs_detection.h"
#include "resources/templates.h"

rurorade::DialogTemplate PolePairsTestTemplate()
{
    using rurorade::ControlKind;
    using T = CDetectPolePairs;
    return {T::kTemplateId,
            "Motor Pole Pairs Detection Test",
            {
                {T::kPurposeText, ControlKind::Static,
                 "Detects the number of motor pole pairs. The test requires visual inspection of motor shaft.", ""},
                {T::kProcedureText, ControlKind::Static,
                 "1. Check the above test parameter\r\n2. Press the Start button \r\n3. Wait until the Move button "
                 "becomes visible, then mark the position of the motor shaft\r\n",
                 ""},
                {T::kProcedureText2, ControlKind::Static,
                 "4. Press the Move button\r\n5. Check the motor shaft position. Repeat step 4 until the motor arrives "
                 "again in the marked position.\r\n6. Press the Stop button",
                 ""},
                {T::kTestCurrentLabel, ControlKind::Static, "Test current", ""},
                {T::kTestCurrentEdit, ControlKind::Edit, "", ""},
                {T::kTestCurrentUnit, ControlKind::Combo, "", ""},
                {T::kPolePairsLabel, ControlKind::Static, "Motor pole pairs", ""},
                {T::kPolePairsEdit, ControlKind::Edit, "", ""},
                {T::kMoveButton, ControlKind::Button, "&Move", ""},
                {T::kHelpId, ControlKind::Button, "Help", ""},
                // Start/Stop, status, result icon, "Details" and "Close" come with the host's test frame.
            }};
}
