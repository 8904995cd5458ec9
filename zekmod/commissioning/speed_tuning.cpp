#include "commissioning/speed_tuning.h"

#include <cmath>
#include <cstring>

#include "commissioning/tuning_rules.h"
#include "engine/decode_control_loops.h"
#include "engine/encode_control_loops.h"
#include "engine/parameter_access.h"
#include "engine/unit_scaling.h"
#include "rurorade/numeric.h"

namespace {

bool Is(const char* a, const char* b) { return a && std::strcmp(a, b) == 0; }

const CProfileTuningTest::Names kNames = {
    "TestSpeed", CTestSpeedTuning::kTestSpeedEdit, CTestSpeedTuning::kTestSpeedUnit,
    "TaPS", "TPS", "TaNS", "TNS", "SpeedTestReferenceType", "MultiCycleS", "OnlinePlotS",
    "Kp_S_scl", "Ki_S_scl", "IPSatS", "PB_S", "SpeedTuningOscSettings", "SpeedTuning",
    {"Speed_Reference", "Load_Speed"}, {CTestSpeedTuning::kReferenceValue, CTestSpeedTuning::kMeasuredValue},
    CTestSpeedTuning::kIdentifyId, CTestSpeedTuning::kHelpTopic, ProfileKind::Speed, LoadSpeedScale,
    "1. Check/setup the test current limits and speed profile below\r\n2. Go to the \"Test\" tab and press the "
    "\"Tune\" button\r\n3. Check/identify the total inertia, then set the desired passband and tune the "
    "controller\r\n4. Press the \"Start\" button\r\n5. Wait until the test begins and displays the results\r\n"
    "6. If needed, change the controller parameters during the test, until you get satisfactory results",
    {},
    {CTestSpeedTuning::kReferenceLabel, CTestSpeedTuning::kMeasuredLabel},
};

}  // namespace

CTestSpeedTuning::CTestSpeedTuning(CMC_Setup* setup, int flag, void* parent)
    : CProfileTuningTest(setup, kTemplateId, flag, parent, kNames)
{
}

bool CTestSpeedTuning::Tune()
{
    for (const char* name : {"Ki_S_scl", "Kp_S_scl", "Jt", "K", "PB_S", "Dump_S"})
        if (!Has(name)) return false;
    double ts = SpeedLoopPeriod(m_setup);
    if (Has("PosSpd_in_FastLoop") && Base("PosSpd_in_FastLoop") != 0) ts = CurrentLoopPeriod(m_setup);
    PiGains gains{};
    if (!SpeedLoopGains(ts, CurrentScale(m_setup), MotorSpeedScale(m_setup), Base("PB_S"), Base("Dump_S"), Base("Jt"),
                        Base("K"), gains))
        return false;
    m_setup->SetParameterValueInBaseUnit("Ki_S_scl", gains.ki);
    m_setup->SetParameterValueInBaseUnit("Kp_S_scl", gains.kp);
    encode::KPS(m_setup);
    encode::KIS(m_setup);
    encode::SFTKPS(m_setup);
    encode::SFTKIS(m_setup);
    decode::Ki_S_scl(m_setup);
    decode::Kp_S_scl(m_setup);
    WriteRegisters({"SFTKPS", "KPS", "SFTKIS", "KIS"});
    RefreshAllParameters(0);
    return true;
}

void CTestSpeedTuning::OnGainChanged(const char* name)
{
    if (Is(name, "Kp_S_scl")) {
        encode::SFTKPS(m_setup);
        encode::KPS(m_setup);
    } else if (Is(name, "Ki_S_scl")) {
        encode::SFTKIS(m_setup);
        encode::KIS(m_setup);
    } else if (Is(name, "IPSatS")) {
        encode::IMAXS(m_setup);
    } else if (Is(name, "KFFS_scl")) {
        encode::SFTSFFW(m_setup);
        encode::KFFS(m_setup);
        encode::KFFA(m_setup);
    } else if (Is(name, "KFFA_scl") && Base("isMotorInertiaUnknown") == 0) {
        encode::SFTAFFW(m_setup);
        encode::SFTKFF(m_setup);
        encode::KFFA(m_setup);
    }
}

void CTestSpeedTuning::WriteGainLive(const char* name)
{
    if (Is(name, "Kp_S_scl")) WriteRegisters({"SFTKPS", "KPS"});
    if (Is(name, "Ki_S_scl")) WriteRegisters({"SFTKIS", "KIS"});
    if (Is(name, "IPSatS")) WriteRegisters({"IMAXS"});
    if (Is(name, "KFFS_scl")) WriteRegisters({"SFTSFFW", "KFFS", "KFFA"});
    if (Is(name, "KFFA_scl")) WriteRegisters({"SFTAFFW", "SFTKFF", "KFFA"});
}

bool CTestSpeedTuning::WriteInputsBeforeProfile()
{
    return WriteInput("IlimPS_Test", m_setup->GetParameterValueInInternalUnit("TestLimitCurrent")) &&
           WriteInput("Imax_Prot_Test", m_setup->GetParameterValueInInternalUnit("TestProtectionCurrent"));
}

void CTestSpeedTuning::RescaleScopeChannels(const char* name)
{
    const bool all = name == nullptr;
    if (all || Is(name, "TestSpeed") || Is(name, "SpeedTestReferenceType")) {
        CMC_Parameter* speed = QuietFindParameter(m_setup, "TestSpeed");
        if (speed) {
            const double shown = speed->GetValueInDisplayUnit();
            RescaleChannels({"Speed_Reference", "Load_Speed"}, "TestSpeed", std::fabs(shown * 0.25), shown >= 0 ? 0 : -4);
        }
    }
    if (all || Is(name, "TestLimitCurrent")) {
        CMC_Parameter* limit = QuietFindParameter(m_setup, "TestLimitCurrent");
        if (limit) RescaleChannels({"Current_Reference", "Motor_Current"}, "TestLimitCurrent", limit->GetValueInDisplayUnit() / 3, 2);
    }
    if (!Is(name, "TestLimitCurrent")) ComputeScopeTrigger();
}

void CTestSpeedTuning::ApplyTestRules()
{
    const bool page1 = GetTabPage() == 1;
    const int feedforward[] = {kFeedforwardGroup, kFfsSlider, kFfsEdit, kFfsSpinLow, kFfsSpinHigh, kFfaSlider, kFfaEdit,
                               kFfaSpinLow, kFfaSpinHigh};
    if (HasSpeedForward(m_setup)) {
        const bool fastLoop = Has("PosSpd_in_FastLoop") && Base("PosSpd_in_FastLoop") != 0;
        for (int id : feedforward) EnableChild(id, Base("ControlMode") == 1 && !fastLoop);
        ShowChild(kFiltersId, page1);
    } else {
        for (int id : feedforward) ShowChild(id, page1);
        for (int id : {kFfsSlider, kFfsEdit, kFfsSpinLow, kFfsSpinHigh}) EnableChild(id, !page1);
    }
}
