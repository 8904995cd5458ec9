#include "commissioning/position_tuning.h"

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

using T = CTestPositionTuning;

const CProfileTuningTest::Names kNames = {
    "TestPosition", T::kTestPositionEdit, T::kTestPositionUnit,
    "TaPP", "TPP", "TaNP", "TNP", "PositionTestReferenceType", "MultiCycleP", "OnlinePlotP",
    "Kp_P_scl", "Ki_P_scl", "IPSatP", "PB_P", "PositionTuningOscSettings", "PositionTuning",
    {"Target_Position", "Load_Position"}, {T::kReferenceValue, T::kMeasuredValue},
    T::kIdentifyId, T::kHelpTopic, ProfileKind::Position, LoadPositionScale,
    "1. Check/setup the test current limits and position profile below\r\n2. Go to the \"Test\" tab and press the "
    "\"Tune\" button\r\n3. Check/identify the total inertia, then set the desired passband and tune the "
    "controller\r\n4. Press the \"Start\" button\r\n5. Wait until the test begins and displays the results\r\n"
    "6. If needed, change the controller parameters during the test, until you get satisfactory results",
    {T::kPurposeText, T::kTestPositionLabel, T::kSpeedLimitGroup, T::kSpeedLimitLabel, T::kSpeedLimitEdit,
     T::kSpeedLimitUnit},
    {T::kKdLabel, T::kKdEdit, T::kKdSpinLow, T::kKdSlider, T::kKdSpinHigh, T::kFilterLabel, T::kFilterEdit,
     T::kReferenceLabel, T::kMeasuredLabel},
};

const char* const kProgramWithSpeedLoop = "Position_Controller_Tuning_Test_with_SpdCtrl";
const char* const kProgramWithoutSpeedLoop = "Position_Controller_Tuning_Test_without_SpdCtrl";

}  // namespace

CTestPositionTuning::CTestPositionTuning(CMC_Setup* setup, int flag, void* parent)
    : CProfileTuningTest(setup, kTemplateId, flag, parent, kNames)
{
    AddTunedSlider("Kd_P_scl", kKdSlider, kKdEdit, 0, kKdSpinLow, kKdSpinHigh);
    AddParameterControls("filter_D", kFilterEdit, 0);
    if (ThroughSpeedLoop()) AddParameterControls("Limit_Speed", kSpeedLimitEdit, kSpeedLimitUnit);
}

bool CTestPositionTuning::ThroughSpeedLoop() const { return Has("PositionControlType") && Base("PositionControlType") == 1; }

int CTestPositionTuning::OnInitDialog()
{
    m_program = ThroughSpeedLoop() ? kProgramWithSpeedLoop : kProgramWithoutSpeedLoop;
    return CProfileTuningTest::OnInitDialog();
}

std::array<const char*, 4> CTestPositionTuning::LoggedVariables() const
{
    if (ThroughSpeedLoop()) return {"Target_Position", "Load_Position", "Speed_Reference", "Load_Speed"};
    return {"Target_Position", "Load_Position", "Current_Reference", "Motor_Current"};
}

bool CTestPositionTuning::Tune()
{
    for (const char* name : {"Ki_P_scl", "Kp_P_scl", "Kd_P_scl", "PositionControlType", "Jt", "PB_P", "K", "Dump_P"})
        if (!Has(name)) return false;
    double ts = SpeedLoopPeriod(m_setup);
    if (Has("PosSpd_in_FastLoop") && Base("PosSpd_in_FastLoop") != 0) ts = CurrentLoopPeriod(m_setup);
    PidGains gains{};
    if (!PositionLoopGains(ThroughSpeedLoop(), ts, CurrentScale(m_setup), MotorSpeedScale(m_setup),
                           MotorPositionScale(m_setup), Base("PB_P"), Base("Dump_P"), Base("Jt"), Base("K"), gains))
        return false;
    m_setup->SetParameterValueInBaseUnit("Ki_P_scl", gains.ki);
    m_setup->SetParameterValueInBaseUnit("Kp_P_scl", gains.kp);
    m_setup->SetParameterValueInBaseUnit("Kd_P_scl", gains.kd);
    encode::SFTKPP(m_setup);
    encode::KPP(m_setup);
    encode::SFTKIP(m_setup);
    encode::KIP(m_setup);
    encode::SFTKDP(m_setup);
    encode::KDP(m_setup);
    decode::Ki_P_scl(m_setup);
    decode::Kp_P_scl(m_setup);
    decode::Kd_P_scl(m_setup);
    WriteRegisters({"SFTKPP", "KPP", "SFTKIP", "KIP", "SFTKDP", "KDP"});
    RefreshAllParameters(0);
    return true;
}

void CTestPositionTuning::OnGainChanged(const char* name)
{
    if (Is(name, "Kp_P_scl")) {
        encode::SFTKPP(m_setup);
        encode::KPP(m_setup);
    } else if (Is(name, "Ki_P_scl")) {
        encode::SFTKIP(m_setup);
        encode::KIP(m_setup);
    } else if (Is(name, "Kd_P_scl")) {
        encode::SFTKDP(m_setup);
        encode::KDP(m_setup);
    } else if (Is(name, "filter_D")) {
        encode::KDFP(m_setup);
    } else if (Is(name, "IPSatP")) {
        encode::IMAXP(m_setup);  // against Limit_Speed through the speed loop, else IlimPS
    } else if (Is(name, "KFFS_scl")) {
        encode::SFTSFFW(m_setup);
        encode::KFFS(m_setup);
        encode::KFFA(m_setup);
    } else if (Is(name, "KFFA_scl")) {
        encode::SFTAFFW(m_setup);
        encode::SFTKFF(m_setup);
        encode::KFFA(m_setup);
    }
}

void CTestPositionTuning::WriteGainLive(const char* name)
{
    if (Is(name, "Kp_P_scl")) WriteRegisters({"SFTKPP", "KPP"});
    if (Is(name, "Ki_P_scl")) WriteRegisters({"SFTKIP", "KIP"});
    if (Is(name, "Kd_P_scl")) WriteRegisters({"SFTKDP", "KDP"});
    if (Is(name, "filter_D")) WriteRegisters({"KDFP"});
    if (Is(name, "IPSatP")) WriteRegisters({"IMAXP"});
    if (Is(name, "KFFS_scl")) WriteRegisters({"SFTSFFW", "KFFS", "KFFA"});
    if (Is(name, "KFFA_scl")) WriteRegisters({"SFTAFFW", "SFTKFF", "KFFA"});
}

bool CTestPositionTuning::WriteInputsBeforeProfile()
{
    if (ThroughSpeedLoop()) {
        // The drive's current limits follow the test's for this run.
        m_setup->SetParameterValueInBaseUnit("IlimPS", Base("TestLimitCurrent"));
        encode::IMAXS(m_setup);
        encode::SATS(m_setup);
        encode::SATP(m_setup);
        return WriteInput("LimitSpeed_Test", TruncToInt32(m_setup->GetParameterValueInInternalUnit("Limit_Speed")));
    }
    const double limit = m_setup->GetParameterValueInInternalUnit("TestLimitCurrent");  // current counts
    m_setup->SetParameterValueInInternalUnit("IlimPS", limit);
    return WriteInput("IlimPS_Test", limit);
}

bool CTestPositionTuning::WriteInputsAfterProfile()
{
    return WriteInput("Imax_Prot_Test", m_setup->GetParameterValueInInternalUnit("TestProtectionCurrent"));
}

void CTestPositionTuning::RescaleScopeChannels(const char* name)
{
    const bool all = name == nullptr, speedLoop = ThroughSpeedLoop();
    const bool position = all || Is(name, "TestPosition") || Is(name, "PositionTestReferenceType");
    CMC_Parameter* target = QuietFindParameter(m_setup, "TestPosition");
    if (position && target) {
        const double shown = target->GetValueInDisplayUnit();
        RescaleChannels({"Target_Position", "Load_Position"}, "TestPosition", std::fabs(shown * 0.25),
                        shown >= 0 ? 0 : -4);
    }
    CMC_Parameter* speed = QuietFindParameter(m_setup, "TestSpeed");
    if (speedLoop && speed && target && (all || Is(name, "TestPosition") || Is(name, "TaPP") || Is(name, "TaNP"))) {
        // The peak speed of the profile, shown in the test speed's unit: TestSpeed lends its unit
        // for the conversion and gets its value back.
        const double saved = speed->GetValueInInternalUnit();
        speed->SetValueInBaseUnit(target->GetValueInBaseUnit() / std::fmin(Base("TaPP"), Base("TaNP")));
        const double peak = speed->GetValueInDisplayUnit();
        speed->SetValueInInternalUnit(saved);
        RescaleChannels({"Speed_Reference", "Load_Speed"}, "TestSpeed", std::fabs(peak * 0.5), 2);
    }
    CMC_Parameter* limit = QuietFindParameter(m_setup, "TestLimitCurrent");
    if (!speedLoop && limit && (all || Is(name, "TestLimitCurrent")))
        RescaleChannels({"Current_Reference", "Motor_Current"}, "TestLimitCurrent", limit->GetValueInDisplayUnit() / 3, 2);
    if (!Is(name, "TestLimitCurrent")) ComputeScopeTrigger();
}

void CTestPositionTuning::ApplyTestRules()
{
    const bool page1 = GetTabPage() == 1, speedLoop = ThroughSpeedLoop();
    const bool positionMode = Base("ControlMode") == 0;
    const bool fastLoop = Has("PosSpd_in_FastLoop") && Base("PosSpd_in_FastLoop") != 0;
    for (int id : {kSpeedLimitGroup, kSpeedLimitLabel, kSpeedLimitEdit, kSpeedLimitUnit})
        EnableChild(id, positionMode && speedLoop);
    // The gains a running test may change (as Kp and Ki in the base rules).
    const bool live = !m_bTestRunning || OnlinePlot();
    for (int id : {kKdSlider, kKdEdit, kKdSpinLow, kKdSpinHigh, kFilterEdit}) EnableChild(id, live);

    const int speedGain[] = {kFfsSlider, kFfsEdit, kFfsSpinLow, kFfsSpinHigh};
    const int accelerationGain[] = {kFfaSlider, kFfaEdit, kFfaSpinLow, kFfaSpinHigh};
    bool speedOn = false, accelerationOn = false;
    if (HasSpeedForward(m_setup)) {
        speedOn = accelerationOn = !fastLoop && positionMode && Base("PositionControlType") != 0;
        ShowChild(kFiltersId, page1);
    } else {
        speedOn = positionMode && speedLoop;
        accelerationOn = !positionMode || speedLoop || !(Has("PosSpd_in_FastLoop") && Base("PosSpd_in_FastLoop") == 1);
        for (int id : {kFeedforwardGroup, kFfsSlider, kFfsEdit, kFfsSpinLow, kFfsSpinHigh, kFfaSlider, kFfaEdit,
                       kFfaSpinLow, kFfaSpinHigh})
            ShowChild(id, page1);
    }
    EnableChild(kFeedforwardGroup, speedOn || accelerationOn);
    for (int id : speedGain) EnableChild(id, speedOn);
    for (int id : accelerationGain) EnableChild(id, accelerationOn && live);
}
