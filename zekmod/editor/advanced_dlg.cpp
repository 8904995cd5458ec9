#include "editor/advanced_dlg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "engine/decode_drive_config.h"
#include "engine/derived_quantities.h"
#include "engine/encode_control_loops.h"
#include "engine/encode_drive_config.h"
#include "engine/parameter_access.h"

using namespace advanced;

namespace {

double QuietValue(CMC_Setup* setup, const char* name)
{
    CMC_Parameter* p = QuietFindParameter(setup, name);
    return p ? p->GetValueInBaseUnit() : 0.0;
}

// Whether a parameter's drive value depends on the slow-loop period, by the base unit of its
// unit family. Host types 5 and 6 are left alone, except for angular accelerations.
bool FollowsSlowLoop(const CMC_Parameter& p)
{
    const std::string_view base = p.GetUnit().baseName;
    if (base == "rad/s^2") return true;
    const bool ordinary = p.GetType() != 5 && p.GetType() != 6;
    return ordinary && (base == "s" || base == "rad/s" || base == "m/s" || base == "m/s^2" || base == "A/s");
}

bool HasRange(const CMC_Parameter& p) { return p.GetMinInBaseUnit() <= p.GetMaxInBaseUnit(); }

bool InRange(const CMC_Parameter& p, double v) { return v >= p.GetMinInBaseUnit() && v <= p.GetMaxInBaseUnit(); }

double Clamp(const CMC_Parameter& p, double v)
{
    if (!HasRange(p)) return v;
    return std::min(std::max(v, p.GetMinInBaseUnit()), p.GetMaxInBaseUnit());
}

const char* const kFastLoopMinimum =
    "The minimum value for Fast loop sampling period is %f ms!\nAdjust the PWM frequency and/or the X loop sampling "
    "frequency divider until this condition is fulfilled!";
const char* const kSlowLoopMinimum =
    "The minimum value for Slow loop sampling period is %f ms!\nAdjust the PWM frequency and/or the X loop sampling "
    "frequency divider until this condition is fulfilled!";

}  // namespace

CAdvancedDialog::CAdvancedDialog(CMC_Setup* setup, void* parent) : CMySetupDlg(setup, kTemplateId, 1, nullptr, parent)
{
    AddSwitchParameterControls("PositionControlType", kPositionOnly, kPositionSpeed);
    {
        QuietLookups quiet;
        AddSwitchParameterControls("PosSpd_in_FastLoop", kSlowLoop, kFastLoop);
    }
    if (HasSpeedEstimator(m_setup)) AddCheckParameterControls("isSpeedEstimator", kSpeedEstimator);
    AddParameterControls("CLPER", kClper, 0);
    AddParameterControls("SLPER", kSlper, 0);
    AddParameterControls("PWM_freq", kPwmFreq, kPwmFreqUnit);
    AddParameterControls("Ts_C", kTsC, kTsCUnit);
    AddParameterControls("Ts_S", kTsS, kTsSUnit);
    AddParameterControls("PWMperiod", kPwmPeriod, kPwmPeriodUnit);
    if (HasSpeedForward(m_setup)) AddSwitchParameterControls("SpeedForward", kFeedforwardSpeedLoop, kFeedforwardCurrentLoop);
    if (HasFreezeControl(m_setup)) {
        AddCheckParameterControls("isFreezeControl", kFreezeControl);
        AddParameterControls("FreezeControl_errband", kErrband, kErrbandUnit);
        AddParameterControls("FreezeControl_time", kTriggerTime, kTriggerTimeUnit);
    }
}

int CAdvancedDialog::OnInitDialog()
{
    CMySetupDlg::OnInitDialog();
    const double mode = Value("ControlMode");

    ShowIds({kPositionOnly, kPositionSpeed}, mode == 0.0);
    if (QuietFindParameter(m_setup, "PosSpd_in_FastLoop"))
        EnableIds({kGroupLoop, kSlowLoop, kFastLoop}, mode < 2);
    else
        ShowIds({kGroupLoop, kSlowLoop, kFastLoop}, false);
    EnableIds({kGroupSpeedComputation, kSpeedEstimator}, HasSpeedEstimator(m_setup) != 0);
    EnableIds({kGroupFreeze, kFreezeControl, kLabelErrband, kLabelTriggerTime, kErrband, kErrbandUnit, kTriggerTime,
               kTriggerTimeUnit},
              HasFreezeControl(m_setup) && mode == 0.0);

    m_rescalePeriod = m_keepSlow = Value("Ts_S");
    m_keepFast = Value("Ts_C");
    m_pwmFreq = Value("PWM_freq");
    ShowIds({kFastOutside, kSlowOutside}, false);
    DoDataExchange(false);
    return 1;
}

void CAdvancedDialog::DoDataExchange(bool saveAndValidate)
{
    CMySetupDlg::DoDataExchange(saveAndValidate);
    if (!saveAndValidate) ApplyRules();
}

void CAdvancedDialog::ApplyRules()
{
    const double mode = Value("ControlMode");
    const double pct = Value("PositionControlType");

    const char* bitmap = kBitmapTorque;
    if (mode == 0.0)
        bitmap = pct == 1.0 ? kBitmapPositionWithSpeedLoop : kBitmapPositionWithoutSpeedLoop;
    else if (mode == 1.0)
        bitmap = kBitmapSpeed;
    SetButtonImage(kPicture, bitmap);

    const bool feedforward = HasSpeedForward(m_setup) && mode != 2.0;
    EnableIds({kGroupFeedforward, kFeedforwardCurrentLoop}, feedforward);
    EnableIds({kFeedforwardSpeedLoop}, feedforward && mode == 0.0 && pct == 1.0);

    EnableIds({kLabelErrband, kLabelTriggerTime, kErrband, kErrbandUnit, kTriggerTime, kTriggerTimeUnit},
              HasFreezeControl(m_setup) && QuietValue(m_setup, "isFreezeControl") == 1.0 && mode == 0.0);
}

void CAdvancedDialog::EnableIds(std::initializer_list<int> ids, bool enable)
{
    for (int id : ids) EnableChild(id, enable ? 1 : 0, 0);
}

void CAdvancedDialog::ShowIds(std::initializer_list<int> ids, bool show)
{
    for (int id : ids) ShowChild(id, show ? 1 : 0);
}

int CAdvancedDialog::GetLabelColour(int id) const
{
    switch (id) {
    case kLabelClper:
    case kLabelTsC: return m_fastColour;
    case kLabelSlper:
    case kLabelTsS: return m_slowColour;
    case kFastOutside:
    case kSlowOutside: return kRed;
    default: return kBlack;
    }
}

// ---- PWM frequency ----

bool CAdvancedDialog::AcceptPwmFrequency()
{
    CMC_Parameter* pwmper = m_setup->FindParameter("PWMPER");
    if (pwmper == nullptr) return true;  // nothing to encode into
    const double frequency = Value("PWM_freq");
    // Half a PWM period in DSP clock cycles, as the PWMPER register holds it.
    const double cycles = Value("DSP_freq") * 0.5 / frequency;
    const double low = std::max(1.0, pwmper->GetMinInBaseUnit());
    const double high = pwmper->GetMaxInBaseUnit();
    if (std::isfinite(cycles) && cycles >= low && cycles <= high) {
        m_pwmFreq = frequency;
        return true;
    }
    char text[300];
    std::snprintf(text, sizeof text,
                  "The drive cannot work with a PWM frequency of %g Hz: its PWM period register would be %g (it can "
                  "take %g to %g). The PWM frequency stays %g Hz.",
                  frequency, cycles, low, high, m_pwmFreq);
    MessageBox(text, GetTitle(), rurorade::MB_OK);
    m_setup->SetParameterValueInBaseUnit("PWM_freq", m_pwmFreq);
    RefreshParameterControls("PWM_freq");
    return false;
}

// The divider that gives the loop period closest to `period` (s) at the present PWM period.
void CAdvancedDialog::SetDivider(const char* name, double period)
{
    CMC_Parameter* divider = m_setup->FindParameter(name);
    if (divider == nullptr) return;
    const double value = std::floor(Value("DSP_freq") * period * 0.5 / Value("PWMPER") + 0.5);
    if (!std::isfinite(value)) return;
    // A divider of 0 would give a loop period of 0: the drive's loops take at least 1.
    const double low = std::max(1.0, divider->GetMinInBaseUnit());
    const double high = divider->GetMaxInBaseUnit();
    divider->SetValueInBaseUnit(low <= high ? std::min(std::max(value, low), high) : std::max(value, 1.0));
}

void CAdvancedDialog::OnChangedParameterValue(const char* name)
{
    // Only the PWM frequency has consequences here; nothing is passed on.
    if (!SameName(name, "PWM_freq") || !AcceptPwmFrequency()) return;
    encode::PWMPER(m_setup);
    encode::SATPWM(m_setup);
    decode::PWMperiod(m_setup);
    SetDivider("CLPER", m_keepFast);
    SetDivider("SLPER", m_keepSlow);
    decode::Ts_S(m_setup);
    decode::Ts_C(m_setup);
    for (const char* shown : {"CLPER", "SLPER", "Ts_S", "Ts_C", "PWMperiod"}) RefreshParameterControls(shown);
    ApplyRules();
}

// ---- slow-loop period ----

void CAdvancedDialog::OnRefreshParameterValue(const char* name)
{
    // The slow loop is never faster than the fast loop.
    const bool raised = Value("CLPER") > Value("SLPER");
    if (raised) m_setup->SetParameterValueInBaseUnit("SLPER", Value("CLPER"));

    decode::Ts_S(m_setup);
    decode::Ts_C(m_setup);
    encode::PWMPER(m_setup);
    encode::SATPWM(m_setup);
    decode::PWMperiod(m_setup);
    if (HasSpeedForward(m_setup)) ForceSpeedFeedforward(m_setup);

    const bool clper = SameName(name, "CLPER");
    const bool pwm = SameName(name, "PWM_freq");
    const bool slper = SameName(name, "SLPER") || (clper && raised);
    if (slper || pwm) {
        const double period = Value("Ts_S");
        if (m_rescalePeriod > 0 && period > 0 && std::isfinite(period) && period != m_rescalePeriod) {
            m_rescalePeriod = period;
            KeepSlowLoopValues();
        }
        EncodeRegisters(m_setup);
        DecodeRegisters(m_setup);
    }
    if (clper || slper || pwm) UpdateLimitWarnings();
    if (clper) m_keepFast = Value("Ts_C");
    if (slper) m_keepSlow = Value("Ts_S");
    DoDataExchange(false);
}

// Values live in base units, so a new slow-loop period leaves every engineering value as it was
// and moves the drive values with it (times by r, speeds by 1/r, accelerations by 1/r^2, with r
// the old period over the new). What the new period can change is the range the drive can hold:
// a value that fitted the old range and not the new one is brought to its nearest limit, and the
// I2t currents are adapted to the I2t times the drive can take.
void CAdvancedDialog::KeepSlowLoopValues()
{
    struct Kept {
        CMC_Parameter* parameter;
        double value;
        bool fitted;
    };
    std::vector<Kept> kept;
    for (const auto& p : m_setup->Parameters())
        if (FollowsSlowLoop(*p)) kept.push_back({p.get(), p->GetValueInBaseUnit(), InRange(*p, p->GetValueInBaseUnit())});
    const double timeD = Value("t_I2t_D");
    const double timeM = Value("t_I2t_M");

    // The ranges for the new timing.
    EncodeRegisters(m_setup);
    DecodeRegisters(m_setup);
    ComputeParameterLimits(m_setup);
    for (const Kept& k : kept) k.parameter->SetValueInBaseUnit(k.fitted ? Clamp(*k.parameter, k.value) : k.value);

    AdaptI2t("I_I2t_D", "t_I2t_D", timeD);
    AdaptI2t("I_I2t_M", "t_I2t_M", timeM);
}

// Keeps I^2 t when the I2t time could not be kept.
void CAdvancedDialog::AdaptI2t(const char* current, const char* time, double keptTime)
{
    CMC_Parameter* i = m_setup->FindParameter(current);
    CMC_Parameter* t = m_setup->FindParameter(time);
    if (i == nullptr || t == nullptr) return;
    const double now = t->GetValueInBaseUnit();
    if (now == keptTime || !(now > 0) || !(keptTime > 0) || !std::isfinite(now) || !std::isfinite(keptTime)) return;
    const double adapted = i->GetValueInBaseUnit() * std::sqrt(keptTime / now);
    const double taken = Clamp(*i, adapted);
    i->SetValueInBaseUnit(taken);
    if (taken == adapted) return;
    char text[300];
    std::snprintf(text, sizeof text,
                  "The I2t current %s would be %g A for the same I2t at the new slow loop period; it is set to %g A, "
                  "the nearest value the drive can take.",
                  current, adapted, taken);
    MessageBox(text, GetTitle(), rurorade::MB_OK);
}

void CAdvancedDialog::UpdateLimitWarnings()
{
    const double fastMin = MinCurrentLoopPeriod(m_setup);
    if (fastMin > 0) {
        const bool outside = fastMin > Value("Ts_C");
        m_fastColour = outside ? kRed : kBlack;
        ShowChild(kFastOutside, outside ? 1 : 0);
    }
    const double slowMin = MinSpeedLoopPeriod(m_setup);
    if (slowMin > 0) {
        const bool outside = slowMin > Value("Ts_S");
        m_slowColour = outside ? kRed : kBlack;
        ShowChild(kSlowOutside, outside ? 1 : 0);
    }
}

// ---- commands ----

void CAdvancedDialog::OnOK()
{
    const double fastMin = MinCurrentLoopPeriod(m_setup);
    const double slowMin = MinSpeedLoopPeriod(m_setup);
    bool refused = false;
    char text[300];
    if (fastMin > 0 && fastMin > Value("Ts_C")) {
        std::snprintf(text, sizeof text, kFastLoopMinimum, fastMin * 1000);
        MessageBox(text, GetTitle(), rurorade::MB_OK);
        refused = true;
    }
    if (slowMin > 0 && slowMin > Value("Ts_S")) {
        std::snprintf(text, sizeof text, kSlowLoopMinimum, slowMin * 1000);
        MessageBox(text, GetTitle(), rurorade::MB_OK);
        refused = true;
    }
    if (!refused) CMySetupDlg::OnOK();
}

void CAdvancedDialog::OnCommand(int id)
{
    if (id == kPositionOnly || id == kPositionSpeed) return ApplyRules();
    if (id == kHelp) {
        const std::string file = GetHelpFileOfGUI(m_setup);
        if (!file.empty()) rurorade::UiContext::Get().ShowHelp(GetGUIDirectory() + "/" + file, kHelpContext);
    }
}

void CAdvancedDialog::ClearUnusedFeedforward(CMC_Setup* setup)
{
    if (setup->GetParameterValueInBaseUnit("ControlMode") != 0.0 ||
        setup->GetParameterValueInBaseUnit("PositionControlType") != 0.0)
        return;
    setup->SetParameterValueInBaseUnit("KFFS_scl", 0);
    if (QuietValue(setup, "PosSpd_in_FastLoop") == 1.0) setup->SetParameterValueInBaseUnit("KFFA_scl", 0);
}
