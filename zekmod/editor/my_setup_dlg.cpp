#include "editor/my_setup_dlg.h"

#include "engine/decode_control_loops.h"
#include "engine/decode_drive_config.h"
#include "engine/encode_control_loops.h"
#include "engine/encode_drive_config.h"
#include "engine/parameter_access.h"

bool SameName(const char* a, const char* b)
{
    if (a == nullptr || b == nullptr) return false;
    for (; *a && *b; ++a, ++b) {
        const char x = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a - 'A' + 'a') : *a;
        const char y = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b - 'A' + 'a') : *b;
        if (x != y) return false;
    }
    return *a == *b;
}

namespace {

using Step = int (*)(CMC_Setup*);

// Registers written again for a changed gain, in order, and the decoding that reads it back.
struct GainRequantisation {
    const char* gain;
    Step encode[3];
    Step decode;
};

const GainRequantisation kGains[] = {
    {"Kp_C_scl", {encode::KPI, encode::SFTKPI, nullptr}, decode::Kp_C_scl},
    {"Ki_C_scl", {encode::KII, encode::SFTKII, nullptr}, decode::Ki_C_scl},
    {"Kp_S_scl", {encode::SFTKPS, encode::KPS, nullptr}, decode::Kp_S_scl},
    {"Ki_S_scl", {encode::SFTKIS, encode::KIS, nullptr}, decode::Ki_S_scl},
    {"Kp_P_scl", {encode::SFTKPP, encode::KPP, nullptr}, decode::Kp_P_scl},
    {"Ki_P_scl", {encode::SFTKIP, encode::KIP, nullptr}, decode::Ki_P_scl},
    {"Kd_P_scl", {encode::SFTKDP, encode::KDP, nullptr}, decode::Kd_P_scl},
    {"KFFA_scl", {encode::SFTKFF, encode::KFFA, encode::SFTAFFW}, decode::KFFA_scl},
    {"KFFS_scl", {encode::SFTSFFW, encode::KFFS, nullptr}, decode::KFFS_scl},
};

}  // namespace

void CMySetupDlg::OnChangedParameterValue(const char* name)
{
    bool handled = false;
    for (const GainRequantisation& g : kGains) {
        if (!SameName(name, g.gain)) continue;
        for (Step step : g.encode)
            if (step) step(m_setup);
        g.decode(m_setup);
        handled = true;
        break;
    }
    if (!handled && (SameName(name, "In") || SameName(name, "InPS")) && HasAngleController(m_setup)) {
        if (CMC_Parameter* maxCurrent = m_setup->FindParameter("MAX_CURRENT")) {
            const double in = m_setup->GetParameterValueInBaseUnit("In");
            const double inPS = m_setup->GetParameterValueInBaseUnit("InPS");
            SetParameterLimits(maxCurrent, 0.0, in < inPS ? in : inPS);
            RefreshParameterControls("MAX_CURRENT");
        }
    }
    CMC_EditSetupDlg::OnChangedParameterValue(name);
}

int CMySetupDlg::RunChildDialog(const std::function<int()>& showModal, const std::function<void()>& beforeOpen,
                                const std::function<void()>& onOk)
{
    EncodeRegisters(m_setup);
    DecodeRegisters(m_setup);
    if (beforeOpen) beforeOpen();
    const int result = showModal();
    if (result != rurorade::IDOK) return result;
    if (onOk) {
        onOk();
    } else {
        EncodeRegisters(m_setup);
        DecodeRegisters(m_setup);
        RefreshAllParameters(0);
        ApplyShowEnableRules();
    }
    return result;
}
