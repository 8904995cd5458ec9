// Template 111, "External Reference Setup": controls with their kinds and texts (the dialog has no
// group boxes). Labels whose text depends on the control mode start with the position texts.
#include "editor/analog_reference_dlg.h"
#include "resources/templates.h"

namespace {

using rurorade::ControlKind;
using namespace analog_reference;

constexpr ControlKind S = ControlKind::Static, E = ControlKind::Edit, B = ControlKind::Button, C = ControlKind::Check,
                      R = ControlKind::Radio, L = ControlKind::Combo, I = ControlKind::Image;

}  // namespace

rurorade::DialogTemplate AnalogReferenceTemplate()
{
    return {kTemplateId,
            "External Reference Setup",
            {
                {kDigital, R, "Digital", ""}, {kAnalogue, R, "Analogue", ""},
                {kPicture, I, "", ""},

                {kLabelMaximum, S, "Maximum Position", ""}, {kMaximum, E, "", ""}, {kMaximumUnit, L, "", ""},
                {kLabelMinimum, S, "Minimum Position", ""}, {kMinimum, E, "", ""},
                {kVoltageLow, S, "", ""}, {kVoltageHigh, S, "", ""},
                {kLabelDeadBandPoint, S, "DeadBand Point", ""}, {kDeadBandPoint, E, "", ""},
                {kDeadBandPointUnit, L, "", ""},
                {kLabelDeadBandRange, S, "DeadBand Range +/-", ""}, {kDeadBandRange, E, "", ""},
                {kUseFilter, C, "Use a filter for the analogue reference input", ""},
                {kLabelFilter, S, "Filter bandwidth", ""}, {kFilter, E, "", ""}, {kFilterUnit, L, "", ""},
                {kTest, B, "&Test", ""},

                {kPulseDirection, R, "Pulse && Direction", ""}, {kIncrementalEncoder, R, "Incremental Encoder", ""},
                {kLabelGearRatio, S, "with gear ratio", ""},
                {kLabelMaster, S, "Master", ""}, {kLabelReference, S, "(reference)", ""}, {kGearMaster, E, "", ""},
                {kLabelSlave, S, "Slave", ""}, {kLabelYourMotor, S, "(your motor)", ""}, {kGearSlave, E, "", ""},

                {kLimitCheck, C, "Limit maximum speed at", ""},
                {kLimitValue, E, "", ""}, {kLimitUnit, L, "", ""},
                {kLimitAltValue, E, "", ""}, {kLimitAltUnit, L, "", ""},

                {kHelp, B, "Help", ""},
                {rurorade::IDOK, B, "OK", ""},
                {rurorade::IDCANCEL, B, "Cancel", ""},
            }};
}
