#include <gtest/gtest.h>

#include "engine/parameter_access.h"
#include "engine_fixture.h"

namespace {

using zektest::Doc;
using zektest::SetupFromJson;

class ParameterAccess : public zektest::EngineTest {};

using Probe = int (*)(CMC_Setup*);
struct ProbeCase {
    const char* label;
    Probe probe;
    std::vector<const char*> names;  // parameters that together make the probe true
};

const std::vector<ProbeCase>& PresenceProbes()
{
    static const std::vector<ProbeCase> probes = {
        {"AngleController", HasAngleController, {"KPTHT"}},
        {"AcquisitionCount", HasAcquisitionCount, {"AquisitionsNo"}},
        {"SamplingRate", HasSamplingRate, {"SamplingRate"}},
        {"SoftwareLimitSwitches", HasSoftwareLimitSwitches, {"isSWLS"}},
        {"SpeedEstimator", HasSpeedEstimator, {"isSpeedEstimator"}},
        {"CanSettings", HasCanSettings, {"save_CAN_baudrate", "save_axis_id"}},
        {"MotorBrake", HasMotorBrake, {"BRAKECFG", "isMotorBrake"}},
        {"I2tWarningLimits", HasI2tWarningLimits, {"II2TWARLIM_D", "I2TWARLIM_M"}},
        {"FreezeControl", HasFreezeControl, {"POSOKLIM_FC", "TONPOSOK_FC"}},
        {"InputsPolarityType", HasInputsPolarityType, {"InputsPolarityType"}},
        {"TransmissionRegister", HasTransmissionRegister, {"TRANSMISSION"}},
        {"BiquadFilters", HasBiquadFilters, {"IQREF_BQ_INI"}},
        {"SpeedTestReferenceType", HasSpeedTestReferenceType, {"SpeedTestReferenceType"}},
        {"StartMinMove", HasStartMinMove, {"ABSTART_MINMOVE"}},
        {"SpeedForward", HasSpeedForward, {"SpeedForward"}},
        {"ReverseCounting", HasReverseCounting, {"ReverseCounting"}},
        {"EncoderFilter", HasEncoderFilter, {"isFilterEnc", "FilterEncValue"}},
    };
    return probes;
}

std::string ParamsJson(const std::vector<const char*>& names)
{
    std::string json;
    for (const char* n : names) json += std::string(json.empty() ? "" : ",") + "\"" + n + "\":{\"value\":1}";
    return json;
}

TEST_F(ParameterAccess, PresenceProbesNeedEveryNameAndStayQuiet)
{
    for (const ProbeCase& c : PresenceProbes()) {
        for (int showErrors : {0, 1, 5}) {
            g_bShowErrors = showErrors;
            auto full = SetupFromJson(Doc(ParamsJson(c.names)));
            EXPECT_EQ(c.probe(full.get()), 1) << c.label;
            for (std::size_t drop = 0; drop < c.names.size(); ++drop) {
                auto names = c.names;
                names.erase(names.begin() + static_cast<long>(drop));
                auto partial = SetupFromJson(Doc(ParamsJson(names)));
                EXPECT_EQ(c.probe(partial.get()), 0) << c.label << " without " << c.names[drop];
            }
            EXPECT_EQ(g_bShowErrors, showErrors) << c.label;
        }
    }
    EXPECT_TRUE(Reported().empty());
}

TEST_F(ParameterAccess, BothProbesLookUpBothNames)
{
    auto setup = SetupFromJson(Doc(R"("save_axis_id":{"value":1})"));
    std::vector<std::string> trace;
    setup->SetLookupTrace(&trace);
    EXPECT_EQ(HasCanSettings(setup.get()), 0);
    EXPECT_EQ(trace, (std::vector<std::string>{"save_CAN_baudrate", "save_axis_id"}));
}

TEST_F(ParameterAccess, AnalogueInputProbeNeedsTheVariableFirst)
{
    std::vector<std::string> trace;
    auto paramOnly = SetupFromJson(Doc(R"("CADIN":{"value":1})"));
    paramOnly->SetLookupTrace(&trace);
    EXPECT_EQ(HasAnalogueReferenceInput(paramOnly.get()), 0);
    EXPECT_EQ(trace, (std::vector<std::string>{"variable CADIN"}));

    auto both = SetupFromJson(Doc(R"("CADIN":{"value":1})", R"("CADIN":{})"));
    EXPECT_EQ(HasAnalogueReferenceInput(both.get()), 1);
    auto varOnly = SetupFromJson(Doc("", R"("CADIN":{})"));
    EXPECT_EQ(HasAnalogueReferenceInput(varOnly.get()), 0);
    EXPECT_TRUE(Reported().empty());
}

TEST_F(ParameterAccess, OptionProbesNeedExactlyOne)
{
    struct Case {
        Probe probe;
        const char* option;
    } cases[] = {{HasNegativeTransmission, "hasNegTransmission"}, {HideEnablePolarity, "hideEnablePolarity"},
                 {IsPmsmStartWithHalls, "PMSMStartwithHalls"}, {HasNewDeadBand, "NewDeadBand"},
                 {IsIntelligentMotor, "isIntelligentMotor"}};
    for (const Case& c : cases) {
        for (auto [text, expected] : {std::pair{"1", 1}, {"0", 0}, {"2", 0}, {"", 0}, {"yes", 0}}) {
            auto setup = SetupFromJson(Doc("", "", std::string("\"") + c.option + "\":\"" + text + "\""));
            EXPECT_EQ(c.probe(setup.get()), expected) << c.option << "=" << text;
        }
        auto absent = SetupFromJson(Doc(""));
        EXPECT_EQ(c.probe(absent.get()), 0) << c.option;
    }
    EXPECT_EQ(InputsTypeProgrammable(SetupFromJson(Doc("")).get()), -1);
    EXPECT_EQ(InputsTypeProgrammable(SetupFromJson(Doc("", "", R"("IsInputsTypeProgrammable":"")")).get()), -1);
    EXPECT_EQ(InputsTypeProgrammable(SetupFromJson(Doc("", "", R"("IsInputsTypeProgrammable":"0")")).get()), 0);
    EXPECT_EQ(InputsTypeProgrammable(SetupFromJson(Doc("", "", R"("IsInputsTypeProgrammable":"1")")).get()), 1);
}

TEST_F(ParameterAccess, LookupsWithDefault)
{
    auto empty = SetupFromJson(Doc(""));
    EXPECT_EQ(StartMinMovePercent(empty.get()), 60.0);
    EXPECT_EQ(MinCurrentLoopPeriod(empty.get()), 0.0);
    EXPECT_EQ(MinSpeedLoopPeriod(empty.get()), 0.0);
    auto full = SetupFromJson(Doc(R"("ABSTART_MINMOVE_PERCENT":{"value":35},"Ts_C_min":{"value":2.5e-5,"unit":"s"},
                                   "Ts_S_min":{"value":1e-4,"unit":"s"})"));
    EXPECT_EQ(StartMinMovePercent(full.get()), 35.0);
    EXPECT_EQ(MinCurrentLoopPeriod(full.get()), 2.5e-5);
    EXPECT_EQ(MinSpeedLoopPeriod(full.get()), 1e-4);
    EXPECT_TRUE(Reported().empty());
}

TEST_F(ParameterAccess, SetParameterLimitsKeepsMinBelowMaxAtEveryWrite)
{
    struct Case {
        double oldMin, oldMax, min, max;
        int result;
        double newMin, newMax;
    } cases[] = {
        {0, 10, 5, 3, 0, 0, 10},     // reversed range refused
        {0, 10, 20, 30, 1, 20, 30},  // above: maximum first
        {0, 10, -5, -1, 1, -5, -1},  // below: minimum first
        {8, 2, 3, 4, 1, 3, 4},       // stored reversed range repaired first
        {0, 10, 2, 2, 1, 2, 2},
    };
    for (const Case& c : cases) {
        CMC_Setup setup;
        CMC_Parameter& p = setup.AddParameter("P", nullptr);
        p.SetValueInBaseUnit(42);
        p.SetMinInBaseUnit(c.oldMin);
        p.SetMaxInBaseUnit(c.oldMax);
        EXPECT_EQ(SetParameterLimits(&p, c.min, c.max), c.result);
        EXPECT_EQ(p.GetMinInBaseUnit(), c.newMin);
        EXPECT_EQ(p.GetMaxInBaseUnit(), c.newMax);
        EXPECT_EQ(p.GetValueInBaseUnit(), 42);
    }
}

TEST_F(ParameterAccess, DeadTimeFromTheLargerByte)
{
    struct Case {
        const char* params;
        double expected;
    } cases[] = {
        {R"("DBT":{"value":2580},"DSP_freq":{"value":40e6})", 20 * 0.5 / 40e6},
        {R"("DBT":{"value":5130},"DSP_freq":{"value":40e6})", 20 * 0.5 / 40e6},  // 0x140A: high byte larger
        {R"("DBT":{"value":2580},"DBTPC":{"value":100},"DSP_freq":{"value":40e6})", 20 * 1.0 / 40e6},
        {R"("DBT":{"value":0},"DSP_freq":{"value":40e6})", 1e-6},
        {R"("DBT":{"value":0.7},"DSP_freq":{"value":1})", 1e-6},
        {R"("DSP_freq":{"value":40e6})", 0.0},
    };
    for (const Case& c : cases) EXPECT_DOUBLE_EQ(DeadTime(SetupFromJson(Doc(c.params)).get()), c.expected) << c.params;
    EXPECT_TRUE(Reported().empty());
}

TEST_F(ParameterAccess, ForceSpeedFeedforward)
{
    struct Case {
        double controlMode, positionControlType, acr, speedForward;
        double acrAfter, speedForwardAfter;
    } cases[] = {
        {1, 0, 0x0003, 0, 0x4003, 1},
        {1, 0, 0x4003, 1, 0x4003, 1},
        {0, 0, 0x0100, 0, 0x4100, 1},
        {0, 1, 0x0100, 0, 0x0100, 0},  // position through the speed loop: unchanged
        {2, 1, 0x0100, 0, 0x4100, 1},
    };
    for (const Case& c : cases) {
        char buf[256];
        std::snprintf(buf, sizeof buf,
                      R"("SpeedForward":{"value":%g},"ControlMode":{"value":%g},"PositionControlType":{"value":%g},"ACR":{"value":%g})",
                      c.speedForward, c.controlMode, c.positionControlType, c.acr);
        auto setup = SetupFromJson(Doc(buf));
        EXPECT_EQ(ForceSpeedFeedforward(setup.get()), 1);
        EXPECT_EQ(setup->GetParameterValueInBaseUnit("ACR"), c.acrAfter) << buf;
        EXPECT_EQ(setup->GetParameterValueInBaseUnit("SpeedForward"), c.speedForwardAfter) << buf;
    }
}

TEST_F(ParameterAccess, ForceSpeedFeedforwardStopsAtTheFirstMissingName)
{
    auto setup = SetupFromJson(Doc(R"("SpeedForward":{"value":0},"ACR":{"value":0})"));
    std::vector<std::string> trace;
    setup->SetLookupTrace(&trace);
    EXPECT_EQ(ForceSpeedFeedforward(setup.get()), 0);
    EXPECT_EQ(trace, (std::vector<std::string>{"SpeedForward", "ControlMode"}));
    ASSERT_EQ(Reported().size(), 1u);
    EXPECT_NE(Reported()[0].find("ControlMode"), std::string::npos);
    setup->SetLookupTrace(nullptr);
    EXPECT_EQ(setup->GetParameterValueInBaseUnit("ACR"), 0);
    EXPECT_EQ(setup->GetParameterValueInBaseUnit("SpeedForward"), 0);
}

}  // namespace
