#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "drivesim/motor_model.h"
#include "drivesim/simulated_drive.h"
#include "engine/unit_scaling.h"
#include "rurorade/numeric.h"
#include "rurorade/units.h"
#include "zekmod/engine_fixture.h"

namespace {

using drivesim::Fault;
using drivesim::MotorModel;
using drivesim::SimulatedDrive;

constexpr const char* kP = "Initial_Positioning_Test";
constexpr const char* kQ = "Ident_R_or_Rs";
constexpr const char* kW = "Ident_L_or_Tau_el";
constexpr const char* kVdc = "VDC_Detection_Test";

// The default setup with a simulated drive on a virtual clock, and the drive variables the
// identification tests read (the sample setup does not list them all).
class SimulatedDriveTest : public zektest::EngineTest {
protected:
    void SetUp() override
    {
        zektest::EngineTest::SetUp();
        setup = zektest::SampleSetup("default.json");
        ASSERT_TRUE(setup);
        for (const char* name : {"var_u2", "var_i1", "REFTST_V", "RINCTST_V", "TINCTST", "IQ", "ID", "Unknown_Var"})
            if (!setup->FindVariable(name, 0)) setup->AddVariable(name, &rurorade::Dimensionless());
        Attach(drivesim::DefaultMotor());
    }
    void TearDown() override
    {
        drive.reset();
        zektest::EngineTest::TearDown();
    }

public:
    void Attach(const MotorModel& motor)
    {
        drive.reset();
        drive = std::make_unique<SimulatedDrive>(setup.get(), motor, clock);
    }

    double Var(const char* name)
    {
        CMC_Variable* v = setup->FindVariable(name, 1);
        EXPECT_NE(v, nullptr) << name;
        if (!v) return 0;
        EXPECT_EQ(v->ReadFromChip(), 1) << drive->GetLastErrorText();
        return v->GetValueInInternalUnit();
    }
    double Started(const char* program)
    {
        double value = -1;
        EXPECT_TRUE(drive->GetUserVariable(program, "STARTED", value)) << drive->GetLastErrorText();
        return value;
    }
    bool Axis()
    {
        bool on = false;
        EXPECT_TRUE(drive->GetAxisOn(on));
        return on;
    }
    // Polls like a test dialog every 20 ms until the program has started and the axis is off.
    // Returns the virtual ms it took, or -1 when it never ended within 10 s.
    std::int64_t WaitForEnd(const char* program)
    {
        const std::int64_t start = clock.NowMs();
        while (clock.NowMs() - start < 10000) {
            clock.Advance(20);
            if (Started(program) != 0 && !Axis()) return clock.NowMs() - start;
        }
        return -1;
    }
    std::vector<std::vector<double>> Upload()
    {
        std::vector<std::vector<double>> points;
        EXPECT_TRUE(drive->UploadLog(points)) << drive->GetLastErrorText();
        return points;
    }

    rurorade::VirtualClock clock;
    std::unique_ptr<CMC_Setup> setup;
    std::unique_ptr<SimulatedDrive> drive;
};

// The test dialogs' running mean: seeded with the first point, which the second then replaces.
double RunningMean(const std::vector<std::vector<double>>& points, int channel)
{
    double mean = points.front()[channel];
    for (std::size_t k = 1; k < points.size(); ++k) mean = ((k - 1) * mean + points[k][channel]) / k;
    return mean;
}

rurorade::LoggerRequest Request(std::vector<std::string> variables, int points = 400)
{
    rurorade::LoggerRequest r;
    r.variables = std::move(variables);
    r.points = points;
    r.logType = 1;
    r.sampling = 1;
    return r;
}

// ---- timelines ----

using SimulatedDriveTimeline = SimulatedDriveTest;

TEST_F(SimulatedDriveTimeline, VdcDetectionStartsRunsAndLeavesTheBusCounts)
{
    clock.Advance(1000);
    EXPECT_EQ(Var("var_u2"), 0);
    ASSERT_TRUE(drive->StartProgram(kVdc, kVdc, nullptr));
    EXPECT_EQ(Started(kVdc), 0);
    clock.Advance(19);
    EXPECT_EQ(Started(kVdc), 0);
    EXPECT_FALSE(Axis());
    clock.Advance(1);  // 20 ms
    EXPECT_EQ(Started(kVdc), 1);
    EXPECT_TRUE(Axis());
    clock.Advance(199);  // 219 ms
    EXPECT_TRUE(Axis());
    EXPECT_EQ(Var("var_u2"), 0);  // written only at the end
    clock.Advance(1);    // 220 ms
    EXPECT_FALSE(Axis());
    EXPECT_EQ(Started(kVdc), 1);
    EXPECT_EQ(Var("var_u2"), TG_Round(46.3 * 65520 / 111.8));
    EXPECT_EQ(Var("MER"), 0);
}

TEST_F(SimulatedDriveTimeline, ResistanceRunSwitchesTheAxisAndLogsOnlyWhatHasBeenRecorded)
{
    ASSERT_TRUE(drive->SetUserVariable(kQ, "RefTest", 1400));
    ASSERT_TRUE(drive->SetUserVariable(kQ, "RIncTest", 36));
    ASSERT_TRUE(drive->SetUserVariable(kQ, "In1", 4095));
    const auto request = Request({"IQ"});
    ASSERT_TRUE(drive->StartProgram(kQ, kQ, &request));
    clock.Advance(29);
    EXPECT_FALSE(Axis());
    clock.Advance(1);  // 30 ms: power stage on
    EXPECT_TRUE(Axis());
    EXPECT_EQ(Started(kQ), 0);
    clock.Advance(10);  // 40 ms: running
    EXPECT_EQ(Started(kQ), 1);
    EXPECT_GT(Var("IQ"), 4090);  // steady current while the axis is on
    EXPECT_TRUE(Upload().empty());

    const std::int64_t took = WaitForEnd(kQ) + 40;
    EXPECT_GE(took, 200);
    EXPECT_LE(took, 500);
    EXPECT_EQ(Var("IQ"), 0);
    const auto points = Upload();
    ASSERT_EQ(points.size(), 400u);
    const double ts = CurrentLoopPeriod(setup.get());
    EXPECT_DOUBLE_EQ(points[0][0], 0.0);
    EXPECT_DOUBLE_EQ(points[399][0], 399 * ts);
    for (const auto& p : points) {
        ASSERT_EQ(p.size(), 2u);
        EXPECT_NEAR(p[1], 4095, 2.5);
        EXPECT_EQ(p[1], std::round(p[1]));  // whole counts
    }
    EXPECT_NE(Var("var_i1"), 0);
    EXPECT_EQ(Var("var_u2"), TG_Round(46.3 * 65520 / 111.8));
}

TEST_F(SimulatedDriveTimeline, PositioningReturnsItsCurrentAndTheVoltageRamp)
{
    ASSERT_TRUE(drive->SetUserVariable(kP, "In1", 4095));
    ASSERT_TRUE(drive->StartProgram(kP, kP, nullptr));
    const std::int64_t took = WaitForEnd(kP);
    EXPECT_GE(took, 200);
    EXPECT_LE(took, 500);
    double in1 = 0;
    ASSERT_TRUE(drive->GetUserVariable(kP, "In1", in1));
    EXPECT_EQ(in1, 4095);
    const double kv = 65534 / (1.1 * 46.3);
    const double vdt = 46.3 * 20000 * 1.2e-6;  // DBT 0x4848 at 60 MHz, DBTPC 100 %
    EXPECT_EQ(Var("REFTST_V"), TG_Round(kv * vdt));
    EXPECT_EQ(Var("RINCTST_V"), TG_Round(kv * 1.12 * 2.5 / 100));
}

TEST_F(SimulatedDriveTimeline, ANewStartAbortsTheRunningProgramWithoutResults)
{
    ASSERT_TRUE(drive->SetUserVariable(kP, "In1", 100));
    ASSERT_TRUE(drive->StartProgram(kP, kP, nullptr));
    clock.Advance(100);
    ASSERT_TRUE(drive->StartProgram(kVdc, kVdc, nullptr));
    EXPECT_EQ(WaitForEnd(kVdc), 220);
    EXPECT_EQ(Var("REFTST_V"), 0);
    EXPECT_EQ(Started(kVdc), 1);
}

// ---- faults ----

using SimulatedDriveFaults = SimulatedDriveTest;

TEST_F(SimulatedDriveFaults, ShortCircuitEndsAStartedProgramAtOnce)
{
    drive->SetFault(Fault::ShortCircuit);
    EXPECT_EQ(Var("MER"), 0);  // trips only when the power stage comes on
    ASSERT_TRUE(drive->StartProgram(kVdc, kVdc, nullptr));
    EXPECT_EQ(Var("MER"), 0x0002);
    EXPECT_FALSE(Axis());
    for (int i = 0; i < 50; ++i) {
        clock.Advance(20);
        EXPECT_EQ(Started(kVdc), 0);
        EXPECT_FALSE(Axis());
    }
    EXPECT_EQ(Var("MER"), 0x0002);  // latched
    EXPECT_EQ(Var("var_u2"), 0);
    CMC_Variable* mer = setup->FindVariable("MER", 1);
    mer->SetValueInBaseUnit(0);
    ASSERT_EQ(mer->WriteToChip(), 1);
    EXPECT_EQ(Var("MER"), 0);
}

TEST_F(SimulatedDriveFaults, EnableOffNeverStartsAProgram)
{
    drive->SetFault(Fault::EnableOff);
    EXPECT_EQ(Var("MER"), 0x8000);
    const auto request = Request({"IQ"});
    ASSERT_TRUE(drive->SetUserVariable(kQ, "In1", 4095));
    ASSERT_TRUE(drive->StartProgram(kQ, kQ, &request));
    EXPECT_EQ(WaitForEnd(kQ), -1);
    EXPECT_EQ(Started(kQ), 0);
    EXPECT_FALSE(Axis());
    EXPECT_EQ(Var("MER"), 0x8000);
    EXPECT_TRUE(Upload().empty());
}

TEST_F(SimulatedDriveFaults, OpenPhaseLetsNoCurrentFlow)
{
    drive->SetFault(Fault::OpenPhase);
    ASSERT_TRUE(drive->SetUserVariable(kP, "In1", 4095));
    ASSERT_TRUE(drive->StartProgram(kP, kP, nullptr));
    ASSERT_GT(WaitForEnd(kP), 0);
    double in1 = -1;
    ASSERT_TRUE(drive->GetUserVariable(kP, "In1", in1));
    EXPECT_EQ(in1, 0);

    ASSERT_TRUE(drive->SetUserVariable(kQ, "In1", 4095));
    const auto request = Request({"IQ"});
    ASSERT_TRUE(drive->StartProgram(kQ, kQ, &request));
    ASSERT_GT(WaitForEnd(kQ), 0);
    const auto points = Upload();
    ASSERT_EQ(points.size(), 400u);
    EXPECT_LT(std::fabs(RunningMean(points, 1)), 0.2);
    for (const auto& p : points) EXPECT_LE(std::fabs(p[1]), 1);
    EXPECT_EQ(Var("var_i1"), 32767);  // the loop winds up to the command limit
    EXPECT_EQ(Var("MER"), 0);
}

TEST_F(SimulatedDriveFaults, DeadLinkFailsEveryCall)
{
    drive->SetFault(Fault::DeadLink);
    const std::string text = "The drive does not answer.";
    double value = 0;
    bool on = false;
    std::vector<std::vector<double>> points;
    CMC_Variable* mer = setup->FindVariable("MER", 1);
    EXPECT_EQ(mer->ReadFromChip(), 0);
    EXPECT_EQ(drive->GetLastErrorText(), text);
    EXPECT_EQ(mer->WriteToChip(), 0);
    EXPECT_EQ(setup->FindParameter("PWMPER")->WriteToChip(), 0);
    EXPECT_FALSE(drive->SetUserVariable(kP, "In1", 1));
    EXPECT_FALSE(drive->GetUserVariable(kP, "STARTED", value));
    EXPECT_FALSE(drive->StartProgram(kVdc, kVdc, nullptr));
    EXPECT_FALSE(drive->GetAxisOn(on));
    EXPECT_FALSE(drive->UploadLog(points));
    EXPECT_FALSE(drive->ExecuteString("!CAP;ENCAPI1;"));
    EXPECT_EQ(drive->GetLastErrorText(), text);
}

TEST(SimulatedDriveFaultNames, ParseAndNameRoundTrip)
{
    for (Fault f : {Fault::None, Fault::ShortCircuit, Fault::EnableOff, Fault::OpenPhase, Fault::DeadLink})
        EXPECT_EQ(drivesim::ParseFault(drivesim::FaultName(f)), f);
    EXPECT_EQ(drivesim::ParseFault("short-circuit"), Fault::ShortCircuit);
    EXPECT_EQ(drivesim::ParseFault("enable-off"), Fault::EnableOff);
    EXPECT_EQ(drivesim::ParseFault("open-phase"), Fault::OpenPhase);
    EXPECT_EQ(drivesim::ParseFault("dead-link"), Fault::DeadLink);
    EXPECT_FALSE(drivesim::ParseFault("Short-Circuit"));
    EXPECT_FALSE(drivesim::ParseFault(""));
}

// ---- the rest of the link ----

using SimulatedDriveLink = SimulatedDriveTest;

TEST_F(SimulatedDriveLink, RefusesWhatTheDriveDoesNotHave)
{
    EXPECT_FALSE(drive->StartProgram("Pole_Pairs_Detection", "Pole_Pairs_Detection", nullptr));
    EXPECT_EQ(drive->GetLastErrorText(), "The drive has no program \"Pole_Pairs_Detection\".");

    CMC_Variable* unknown = setup->FindVariable("Unknown_Var", 1);
    EXPECT_EQ(unknown->ReadFromChip(), 0);
    EXPECT_EQ(drive->GetLastErrorText(), "The drive has no variable \"Unknown_Var\".");

    double value = 0;
    EXPECT_FALSE(drive->GetUserVariable(kQ, "RefTest", value));
    EXPECT_EQ(drive->GetLastErrorText(), "The program \"Ident_R_or_Rs\" has no user variable \"RefTest\".");
    EXPECT_TRUE(drive->GetUserVariable(kQ, "STARTED", value));  // a fresh program image holds 0
    EXPECT_EQ(value, 0);

    std::vector<std::vector<double>> points;
    EXPECT_FALSE(drive->UploadLog(points));
    EXPECT_EQ(drive->GetLastErrorText(), "No data has been logged.");

    const auto request = Request({"IQ", "Nothing"});
    EXPECT_FALSE(drive->StartProgram(kQ, kQ, &request));
    EXPECT_EQ(drive->GetLastErrorText(), "The drive cannot log \"Nothing\": it has no such variable.");
}

TEST_F(SimulatedDriveLink, StoresWritesAndCommands)
{
    EXPECT_TRUE(drive->ExecuteString("!CAP;ENCAPI1;"));
    ASSERT_EQ(drive->Commands().size(), 1u);
    EXPECT_EQ(drive->Commands()[0], "!CAP;ENCAPI1;");

    CMC_Parameter* pwm = setup->FindParameter("PWMPER");
    ASSERT_EQ(pwm->WriteToChip(), 1);
    EXPECT_EQ(drive->WrittenParameter("PWMPER"), 1500);
    EXPECT_FALSE(drive->WrittenParameter("SLPER"));

    CMC_Variable* u = setup->FindVariable("var_i1", 1);
    u->SetValueInBaseUnit(1234);
    ASSERT_EQ(u->WriteToChip(), 1);
    EXPECT_EQ(Var("var_i1"), 1234);

    ASSERT_TRUE(drive->SetUserVariable(kQ, "RefTest", 77));
    double value = 0;
    ASSERT_TRUE(drive->GetUserVariable(kQ, "RefTest", value));
    EXPECT_EQ(value, 77);
}

TEST_F(SimulatedDriveLink, AttachesToItsSetupAndDetaches)
{
    EXPECT_EQ(setup->GetDriveLink(), drive.get());
    drive.reset();
    EXPECT_EQ(setup->GetDriveLink(), nullptr);
}

TEST_F(SimulatedDriveLink, NeedsTheHardwareConstantsOfItsSetup)
{
    auto bare = zektest::SetupFromJson(zektest::Doc(R"("ImaxPS":{"value":20,"unit":"A"})"));
    ASSERT_TRUE(bare);
    SimulatedDrive lone(bare.get(), drivesim::DefaultMotor(), clock);
    EXPECT_FALSE(lone.StartProgram(kVdc, kVdc, nullptr));
    EXPECT_EQ(lone.GetLastErrorText(), "The drive configuration lacks \"VdcMaxMeasurable\".");
}

// ---- physics: the module's formulas applied to what the drive reports ----

struct Identified {
    double vdc, r, l;
};

using SimulatedDrivePhysics = SimulatedDriveTest;

// Runs the programs in the order and with the inputs of the resistance and inductance test and
// evaluates them with its formulas.
Identified Identify(SimulatedDriveTest& t)
{
    CMC_Setup* s = t.setup.get();
    SimulatedDrive& d = *t.drive;
    const int savedMode = g_bKufSinusoidalMode;
    g_bKufSinusoidalMode = 1;
    const std::int32_t in1 = TruncToInt32(s->GetParameterValueInInternalUnit("TestCurrent"));
    const auto iq = Request({"IQ"});
    const auto iqid = Request({"IQ", "ID"});
    double u[2] = {0, 0}, i[2] = {0, 0};
    for (int run = 0; run < 2; ++run) {
        const std::int32_t current = run == 0 ? in1 : in1 / 2;
        EXPECT_TRUE(d.SetUserVariable(kP, "In1", current));
        EXPECT_TRUE(d.StartProgram(kP, kP, nullptr));
        EXPECT_GT(t.WaitForEnd(kP), 0);
        double result = 0;
        EXPECT_TRUE(d.GetUserVariable(kP, "In1", result));
        EXPECT_GT(result, 0);
        EXPECT_TRUE(d.SetUserVariable(kQ, "RefTest", t.Var("REFTST_V")));
        EXPECT_TRUE(d.SetUserVariable(kQ, "RIncTest", t.Var("RINCTST_V")));
        EXPECT_TRUE(d.SetUserVariable(kQ, "In1", current));
        EXPECT_TRUE(d.StartProgram(kQ, kQ, &iq));
        EXPECT_GT(t.WaitForEnd(kQ), 0);
        u[run] = t.Var("var_i1");
        i[run] = RunningMean(t.Upload(), 1);
    }
    Identified id{};
    s->SetParameterValueInBaseUnit("Vdc", s->GetParameterValueInBaseUnit("VdcMaxMeasurable") * t.Var("var_u2") / ADCmax(s));
    id.vdc = s->GetParameterValueInBaseUnit("Vdc");
    const double cs = CurrentScale(s);
    const double kv = VoltageCommandScale(s);
    id.r = (u[0] - u[1]) / (i[0] - i[1]) / kv * cs;

    EXPECT_TRUE(d.SetUserVariable(kW, "In1", in1));
    EXPECT_TRUE(d.StartProgram(kW, kW, &iqid));
    EXPECT_GT(t.WaitForEnd(kW), 0);
    const double uw = t.Var("var_i1");
    const double theta = t.Var("TINCTST");
    const auto points = t.Upload();
    double mD = points.front()[2];
    double mS = points.front()[1] * points.front()[1] + points.front()[2] * points.front()[2];
    for (std::size_t k = 1; k < points.size(); ++k) {
        const double iqk = points[k][1], idk = points[k][2];
        mD = ((k - 1) * mD + idk) / k;
        mS = ((k - 1) * mS + (iqk * iqk + idk * idk)) / k;
    }
    const double omega = theta * 2 * kPi / (65535 * CurrentLoopPeriod(s));
    id.l = mD * uw * cs / (omega * mS * kv);
    g_bKufSinusoidalMode = savedMode;
    return id;
}

void ExpectRecovered(SimulatedDriveTest& t, const MotorModel& m, const char* label)
{
    const Identified id = Identify(t);
    const double vdcResolution = 1 / VoltageScale(t.setup.get());
    EXPECT_LE(std::fabs(id.vdc - m.vdc), 0.5 * vdcResolution + 1e-12) << label;
    EXPECT_NEAR(id.r, m.resistance, 0.01 * m.resistance) << label;
    EXPECT_NEAR(id.l, m.inductance, 0.02 * m.inductance) << label;
    std::printf("[ accuracy ] %-10s Vdc %.6g V (%+.2e)  R %.6g Ohm (%+.2e)  L %.6g H (%+.2e)\n", label, id.vdc,
                id.vdc / m.vdc - 1, id.r, id.r / m.resistance - 1, id.l, id.l / m.inductance - 1);
}

TEST_F(SimulatedDrivePhysics, DefaultMotorIsRecovered)
{
    ExpectRecovered(*this, drivesim::DefaultMotor(), "default");
}

TEST_F(SimulatedDrivePhysics, HighResistanceMotorOnALowBusIsRecovered)
{
    // The inductance run's command saturates here; the current follows the command actually applied.
    MotorModel m = drivesim::DefaultMotor();
    m.resistance = 3.3;
    m.inductance = 8e-3;
    m.vdc = 30;
    Attach(m);
    ExpectRecovered(*this, m, "high-R");
    EXPECT_EQ(Var("var_i1"), 32767);
}

TEST_F(SimulatedDrivePhysics, LowInductanceMotorOnAHighBusIsRecovered)
{
    MotorModel m = drivesim::DefaultMotor();
    m.resistance = 0.35;
    m.inductance = 0.4e-3;
    m.vdc = 72;
    Attach(m);
    ExpectRecovered(*this, m, "low-L");
}

TEST_F(SimulatedDrivePhysics, SmallTestCurrentOnATwelveBitConverter)
{
    setup->Info().adcMax = 4095;
    setup->SetParameterValueInBaseUnit("TestCurrent", 0.8);
    ExpectRecovered(*this, drivesim::DefaultMotor(), "12-bit");
}

TEST_F(SimulatedDrivePhysics, VdcDetectionIsExactToTheConverterResolution)
{
    for (double vdc : {12.0, 46.3, 48.0, 99.99}) {
        MotorModel m = drivesim::DefaultMotor();
        m.vdc = vdc;
        Attach(m);
        ASSERT_TRUE(drive->StartProgram(kVdc, kVdc, nullptr));
        ASSERT_GT(WaitForEnd(kVdc), 0);
        const double measured = Var("var_u2") / VoltageScale(setup.get());
        EXPECT_LE(std::fabs(measured - vdc), 0.5 / VoltageScale(setup.get()) + 1e-12) << vdc;
    }
}

TEST_F(SimulatedDrivePhysics, InductanceRunRotatesAtAboutTwoHundredHertzWithTheCurrentLagging)
{
    ASSERT_TRUE(drive->SetUserVariable(kW, "In1", 4095));
    const auto request = Request({"IQ", "ID"});
    ASSERT_TRUE(drive->StartProgram(kW, kW, &request));
    ASSERT_GT(WaitForEnd(kW), 0);
    const double theta = Var("TINCTST");
    EXPECT_NEAR(theta, 655, 1e-9);  // 200 Hz x 65535 x 50 us, rounded
    const auto points = Upload();
    const double iq = RunningMean(points, 1), id = RunningMean(points, 2);
    EXPECT_GT(id, 0);
    EXPECT_NEAR(std::hypot(iq, id), 4095, 4095 * 0.01);  // the command aims at In1
    // The phase lag is that of R + Vdt/|I| + jwL.
    const double omega = theta * 2 * kPi / (65535 * 50e-6);
    const double amps = std::hypot(iq, id) / 1638;
    const double vdt = 46.3 * 20000 * 1.2e-6;
    EXPECT_NEAR(std::atan2(id, iq), std::atan2(omega * 1.45e-3, 1.12 + vdt / amps), 1e-3);
}

TEST_F(SimulatedDrivePhysics, RunsRepeatExactly)
{
    const Identified a = Identify(*this);
    Attach(drivesim::DefaultMotor());
    const Identified b = Identify(*this);
    EXPECT_EQ(a.r, b.r);
    EXPECT_EQ(a.l, b.l);
}

// ---- motor documents ----

TEST(SimulatedDriveMotor, DefaultsDifferFromTheDefaultSetup)
{
    const MotorModel m = drivesim::DefaultMotor();
    EXPECT_EQ(m.resistance, 1.12);
    EXPECT_EQ(m.inductance, 1.45e-3);
    EXPECT_EQ(m.vdc, 46.3);
    EXPECT_EQ(m.polePairs, 4);
    EXPECT_EQ(m.encoderLines, 2500);
    EXPECT_EQ(m.torqueConstant, 0.1);
    EXPECT_EQ(m.inertia, 6e-5);
}

TEST(SimulatedDriveMotor, JsonOverridesSomeFields)
{
    std::string error;
    const auto m = drivesim::MotorFromJson(R"({"resistance": 2.5, "polePairs": 5, "encoderDirection": -1})", "m.json",
                                           error);
    ASSERT_TRUE(m) << error;
    EXPECT_EQ(m->resistance, 2.5);
    EXPECT_EQ(m->polePairs, 5);
    EXPECT_EQ(m->encoderDirection, -1);
    EXPECT_EQ(m->inductance, 1.45e-3);
    EXPECT_TRUE(drivesim::MotorFromJson("{}", "m.json", error));
}

TEST(SimulatedDriveMotor, JsonRefusesWithTheFileAndField)
{
    const std::pair<const char*, const char*> cases[] = {
        {R"({"resistanse": 1})", "m.json: field \"resistanse\" is not a motor field"},
        {R"({"inductance": "1m"})", "m.json: field \"inductance\" must be a number"},
        {R"({"polePairs": 2.5})", "m.json: field \"polePairs\" must be a whole number"},
        {R"({"resistance": -1})", "m.json: field \"resistance\" must be positive"},
        {R"({"encoderDirection": 0})", "m.json: field \"encoderDirection\" must be 1 or -1"},
        {R"({"viscousFriction": -0.1})", "m.json: field \"viscousFriction\" must not be negative"},
        {R"([1, 2])", "m.json: must be a JSON object of motor fields"},
    };
    for (const auto& [text, message] : cases) {
        std::string error;
        EXPECT_FALSE(drivesim::MotorFromJson(text, "m.json", error)) << text;
        EXPECT_EQ(error, message);
    }
    std::string error;
    EXPECT_FALSE(drivesim::MotorFromJson("{", "m.json", error));
    EXPECT_EQ(error.rfind("m.json: not valid JSON", 0), 0u) << error;
}

TEST(SimulatedDriveMotor, LoadsAFile)
{
    const std::string path = ::testing::TempDir() + "drivesim_motor.json";
    {
        std::ofstream out(path);
        out << R"({"vdc": 24, "inductance": 0.002})";
    }
    std::string error;
    const auto m = drivesim::LoadMotor(path, error);
    ASSERT_TRUE(m) << error;
    EXPECT_EQ(m->vdc, 24);
    EXPECT_EQ(m->inductance, 0.002);
    std::remove(path.c_str());
    EXPECT_FALSE(drivesim::LoadMotor(path, error));
    EXPECT_EQ(error, path + ": cannot open the file");
}

}  // namespace
