#pragma once
// The Advanced dialog (template 110): PWM frequency, loop dividers and the structure of the
// control loops. When the slow-loop period changes, the setup is kept consistent with it.
#include <initializer_list>

#include "editor/my_setup_dlg.h"

// Control ids of template 110. Ids 37xx are labels and group boxes the template leaves unnumbered.
namespace advanced {

constexpr int kTemplateId = 110;
constexpr int kHelpContext = 262419;

constexpr int kPicture = 3280;
// Bitmap resources of the picture, by control scheme.
constexpr const char* kBitmapPositionWithSpeedLoop = "3016";
constexpr const char* kBitmapPositionWithoutSpeedLoop = "3017";
constexpr const char* kBitmapSpeed = "3060";
constexpr const char* kBitmapTorque = "3061";

constexpr int kGroupScheme = 3750, kPositionOnly = 3344, kPositionSpeed = 3345;
constexpr int kGroupLoop = 3751, kSlowLoop = 1146, kFastLoop = 1147;
constexpr int kGroupSpeedComputation = 3752, kSpeedEstimator = 3356;
constexpr int kGroupInput = 3753, kLabelClper = 1131, kClper = 1132, kLabelSlper = 1134, kSlper = 1135;
constexpr int kLabelPwmFreq = 3754, kPwmFreq = 1129, kPwmFreqUnit = 1130;
constexpr int kGroupComputed = 3755, kLabelTsC = 1140, kTsC = 1141, kTsCUnit = 1142;
constexpr int kLabelTsS = 1143, kTsS = 1144, kTsSUnit = 1145;
constexpr int kLabelPwmPeriod = 3756, kPwmPeriod = 1138, kPwmPeriodUnit = 1139;
constexpr int kFastOutside = 1148, kSlowOutside = 1149;
constexpr int kLabelFormulas = 3758, kFormulaPwm = 3759, kFormulaFast = 3760, kFormulaSlow = 3761;
constexpr int kGroupFeedforward = 3757, kFeedforwardSpeedLoop = 3374, kFeedforwardCurrentLoop = 3375;
constexpr int kGroupFreeze = 3377, kFreezeControl = 3378, kLabelErrband = 3379, kLabelTriggerTime = 3380;
constexpr int kErrband = 3381, kErrbandUnit = 3382, kTriggerTime = 3383, kTriggerTimeUnit = 3384;
constexpr int kHelp = 10024;

// Label text colours (RGB words).
constexpr int kBlack = 0;
constexpr int kRed = 255;

}  // namespace advanced

class CAdvancedDialog : public CMySetupDlg {
public:
    CAdvancedDialog(CMC_Setup* setup, void* parent);

    int OnInitDialog() override;
    void DoDataExchange(bool saveAndValidate) override;
    void OnOK() override;
    void OnChangedParameterValue(const char* name) override;
    void OnRefreshParameterValue(const char* name) override;
    void OnCommand(int id) override;

    // The colour request of a control: the text colour of the loop labels and the warnings.
    int GetLabelColour(int id) const;

    // What the Drive Setup dialog does first when this dialog returned OK (then it encodes, decodes
    // and runs its show/enable rules): position control without the speed loop has no speed
    // feedforward, nor an acceleration feedforward when it runs in the fast loop.
    static void ClearUnusedFeedforward(CMC_Setup* setup);

private:
    void ApplyRules();
    void KeepSlowLoopValues();
    void AdaptI2t(const char* current, const char* time, double keptTime);
    void UpdateLimitWarnings();
    bool AcceptPwmFrequency();
    void SetDivider(const char* name, double period);
    void EnableIds(std::initializer_list<int> ids, bool enable);
    void ShowIds(std::initializer_list<int> ids, bool show);
    double Value(const char* name) { return m_setup->GetParameterValueInBaseUnit(name); }

    double m_rescalePeriod = 0;  // Ts_S the values were last made consistent for (s)
    double m_keepFast = 0;       // Ts_C the dividers follow when the PWM frequency changes (s)
    double m_keepSlow = 0;       // Ts_S likewise (s)
    double m_pwmFreq = 0;        // last PWM frequency the drive could take (Hz)
    int m_fastColour = advanced::kBlack;
    int m_slowColour = advanced::kBlack;
};
