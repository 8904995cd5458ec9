// Template 110, "Advanced": controls with their kinds, texts and groups.
#include "editor/advanced_dlg.h"
#include "resources/templates.h"

namespace {

using rurorade::ControlKind;
using namespace advanced;

constexpr ControlKind S = ControlKind::Static, G = ControlKind::Group, E = ControlKind::Edit, B = ControlKind::Button,
                      C = ControlKind::Check, R = ControlKind::Radio, L = ControlKind::Combo, I = ControlKind::Image;

}  // namespace

rurorade::DialogTemplate AdvancedTemplate()
{
    const char* scheme = "Control scheme";
    const char* loop = "Execute position and/or speed control in";
    const char* speed = "Speed computation";
    const char* input = "Input data";
    const char* computed = "Computed parameters";
    const char* feedforward = "Apply speed feedforward to";
    const char* freeze = "Freeze control";
    return {kTemplateId,
            "Advanced",
            {
                {kPicture, I, "", ""},

                {kGroupScheme, G, scheme, ""},
                {kPositionOnly, R, "Close only position and current loop", scheme},
                {kPositionSpeed, R, "Close position, speed and current loop", scheme},

                {kGroupLoop, G, loop, ""},
                {kSlowLoop, R, "slow loop", loop}, {kFastLoop, R, "fast loop", loop},

                {kGroupSpeedComputation, G, speed, ""},
                {kSpeedEstimator, C, "Enable high resolution speed estimator", speed},

                {kGroupInput, G, input, ""},
                {kLabelClper, S, "Fast loop sampling frequency divider", input}, {kClper, E, "", input},
                {kLabelSlper, S, "Slow loop sampling frequency divider", input}, {kSlper, E, "", input},
                {kLabelPwmFreq, S, "PWM frequency", input}, {kPwmFreq, E, "", input}, {kPwmFreqUnit, L, "", input},

                {kGroupComputed, G, computed, ""},
                {kLabelTsC, S, "Fast loop sampling period", computed}, {kTsC, E, "", computed}, {kTsCUnit, L, "", computed},
                {kLabelTsS, S, "Slow loop sampling period", computed}, {kTsS, E, "", computed}, {kTsSUnit, L, "", computed},
                {kLabelPwmPeriod, S, "PWM period", computed}, {kPwmPeriod, E, "", computed},
                {kPwmPeriodUnit, L, "", computed},
                {kFastOutside, S, "OUTSIDE LIMITS ->", ""}, {kSlowOutside, S, "OUTSIDE LIMITS ->", ""},

                {kLabelFormulas, S, "Computation formulas:", ""},
                {kFormulaPwm, S, "PWM period  = 1 /  PWM frequency", ""},
                {kFormulaFast, S, "Current loop sampling period = PWM period  x  Current loop divider", ""},
                {kFormulaSlow, S, "Speed/position loop sampling period = PWM period  x  Speed/position loop divider", ""},

                {kGroupFeedforward, G, feedforward, ""},
                {kFeedforwardSpeedLoop, R, "speed loop", feedforward},
                {kFeedforwardCurrentLoop, R, "current loop", feedforward},

                {kGroupFreeze, G, freeze, ""},
                {kFreezeControl, C, "Set freeze control parameters", freeze},
                {kLabelErrband, S, "Position accepted error band", freeze}, {kErrband, E, "", freeze},
                {kErrbandUnit, L, "", freeze},
                {kLabelTriggerTime, S, "Trigger time", freeze}, {kTriggerTime, E, "", freeze},
                {kTriggerTimeUnit, L, "", freeze},

                {kHelp, B, "Help", ""}, {rurorade::IDOK, B, "OK", ""}, {rurorade::IDCANCEL, B, "Cancel", ""},
            }};
}
