#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
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
namespace t = ::testing;
using Points = std::vector<std::vector<double>>;
using Edges = std::array<std::int64_t, 3>;  // ms after the start: axis on, STARTED 1, axis off again; -1 never

constexpr const char* kP = "Initial_Positioning_Test";
constexpr const char* kQ = "Ident_R_or_Rs";
constexpr const char* kW = "Ident_L_or_Tau_el";
constexpr const char* kVdc = "VDC_Detection_Test";
// The default motor on the default setup: bus counts, command units per volt, dead-time drop
// (DBT 0x4848 at 60 MHz, DBTPC 100 %) in volts.
const double kBusCounts = TG_Round(46.3 * 65520 / 111.8);
const double kKv = 65534 / (1.1 * 46.3);
const double kVdt = 46.3 * 20000 * 1.2e-6;

// 400 points, every control period.
rurorade::LoggerRequest Request(std::vector<std::string> variables) { return {std::move(variables), 400, 1, 1}; }

// The test dialogs' running mean of f(point): seeded with the first point, which the second then replaces.
template <class F>
double RunningMean(const Points& points, F f)
{
    double mean = f(points.front());
    for (std::size_t k = 1; k < points.size(); ++k) mean = ((k - 1) * mean + f(points[k])) / k;
    return mean;
}
double Iq(const std::vector<double>& p) { return p[1]; }
double Id(const std::vector<double>& p) { return p[2]; }

// The default setup, with the drive variables the tests read that it does not list, and a
// simulated drive on a virtual clock.
class SimulatedDriveTest : public zektest::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        setup = zektest::SampleSetup("default.json");
        ASSERT_TRUE(setup);
        for (const char* name : {"var_u2", "var_i1", "REFTST_V", "RINCTST_V", "TINCTST", "IQ", "ID", "Unknown_Var"})
            if (!setup->FindVariable(name, 0)) setup->AddVariable(name, &rurorade::Dimensionless());
        Attach(drivesim::DefaultMotor());
    }
    void Attach(const MotorModel& motor) { drive = std::make_unique<drivesim::SimulatedDrive>(setup.get(), motor, clock); }
    double Var(const char* name)
    {
        CMC_Variable* v = setup->FindVariable(name, 1);
        EXPECT_TRUE(v && v->ReadFromChip() == 1) << name << ": " << drive->GetLastErrorText();
        return v ? v->GetValueInInternalUnit() : 0;
    }
    double User(const char* program, const char* name)
    {
        double value = -1;
        EXPECT_TRUE(drive->GetUserVariable(program, name, value)) << drive->GetLastErrorText();
        return value;
    }
    void Set(const char* program, std::initializer_list<std::pair<const char*, double>> values)
    {
        for (const auto& [name, value] : values) EXPECT_TRUE(drive->SetUserVariable(program, name, value));
    }
    bool Axis()
    {
        bool on = false;
        EXPECT_TRUE(drive->GetAxisOn(on));
        return on;
    }
    Points Upload()
    {
        Points points;
        EXPECT_TRUE(drive->UploadLog(points)) << drive->GetLastErrorText();
        return points;
    }
    // Starts `program` and steps the clock 1 ms at a time until it has started and the axis is off
    // again, 10 s at most; each(ms) runs at every step before that.
    Edges Run(const char* program, const rurorade::LoggerRequest* log = nullptr,
              const std::function<void(std::int64_t)>& each = {})
    {
        EXPECT_TRUE(drive->StartProgram(program, program, log)) << drive->GetLastErrorText();
        Edges e{-1, -1, -1};
        for (std::int64_t ms = 0; ms <= 10000; ++ms, clock.Advance(1)) {
            const bool on = Axis(), started = User(program, "STARTED") != 0;
            if (on && e[0] < 0) e[0] = ms;
            if (started && e[1] < 0) e[1] = ms;
            if (started && !on) return {e[0], e[1], ms};
            if (each) each(ms);
        }
        return e;
    }

    struct Identified {
        double vdc, r, l;
        double lag, amps;  // of the current in the inductance run, against its rotating voltage
    };
    // Runs the programs in the order and with the inputs of the resistance and inductance test and
    // evaluates what the drive reports with that test's formulas.
    Identified Identify()
    {
        CMC_Setup* s = setup.get();
        g_bKufSinusoidalMode = 1;
        const std::int32_t in1 = TruncToInt32(s->GetParameterValueInInternalUnit("TestCurrent"));
        const auto iq = Request({"IQ"}), iqid = Request({"IQ", "ID"});
        double u[2] = {0, 0}, i[2] = {0, 0};
        for (int run = 0; run < 2; ++run) {
            const std::int32_t current = run == 0 ? in1 : in1 / 2;
            Set(kP, {{"In1", current}});
            EXPECT_GT(Run(kP)[2], 0);
            EXPECT_GT(User(kP, "In1"), 0);
            Set(kQ, {{"RefTest", Var("REFTST_V")}, {"RIncTest", Var("RINCTST_V")}, {"In1", current}});
            EXPECT_GT(Run(kQ, &iq)[2], 0);
            u[run] = Var("var_i1");
            i[run] = RunningMean(Upload(), Iq);
        }
        s->SetParameterValueInBaseUnit("Vdc", s->GetParameterValueInBaseUnit("VdcMaxMeasurable") * Var("var_u2") / ADCmax(s));
        const double cs = CurrentScale(s), kv = VoltageCommandScale(s);
        Set(kW, {{"In1", in1}});
        EXPECT_GT(Run(kW, &iqid)[2], 0);
        const auto points = Upload();
        const double mQ = RunningMean(points, Iq), mD = RunningMean(points, Id);
        const double mS = RunningMean(points, [](const std::vector<double>& p) { return p[1] * p[1] + p[2] * p[2]; });
        const double theta = Var("TINCTST"), command = Var("var_i1");
        EXPECT_EQ(theta, 655);  // 200 Hz x 65535 x 50 us, rounded
        if (command < 32767) {  // unsaturated, the command aims at In1
            EXPECT_NEAR(std::hypot(mQ, mD), in1, 0.01 * in1);
        }
        const double omega = theta * 2 * kPi / (65535 * CurrentLoopPeriod(s));
        g_bKufSinusoidalMode = 0;
        return {s->GetParameterValueInBaseUnit("Vdc"), (u[0] - u[1]) / (i[0] - i[1]) / kv * cs,
                mD * command * cs / (omega * mS * kv), std::atan2(mD, mQ), std::hypot(mQ, mD) / cs};
    }
    Identified ExpectRecovered(const MotorModel& m, const char* label)
    {
        Attach(m);
        const Identified id = Identify();
        EXPECT_LE(std::fabs(id.vdc - m.vdc), 0.5 / VoltageScale(setup.get()) + 1e-12) << label;
        EXPECT_NEAR(id.r, m.resistance, 0.01 * m.resistance) << label;
        EXPECT_NEAR(id.l, m.inductance, 0.02 * m.inductance) << label;
        // The current lags by the angle of R + Vdt/|I| + jwL, Vdt the dead-time drop (DBT 0x4848, DBTPC 100 %).
        const double omega = 655 * 2 * kPi / (65535 * 50e-6);
        EXPECT_NEAR(id.lag, std::atan2(omega * m.inductance, m.resistance + m.vdc * 20000 * 1.2e-6 / id.amps), 1e-3)
            << label;
        return id;
    }

    rurorade::VirtualClock clock;
    std::unique_ptr<CMC_Setup> setup;
    std::unique_ptr<drivesim::SimulatedDrive> drive;  // after `setup`: destroyed first
};

using SimulatedDriveTimeline = SimulatedDriveTest;
using SimulatedDriveFaults = SimulatedDriveTest;
using SimulatedDriveLink = SimulatedDriveTest;
using SimulatedDrivePhysics = SimulatedDriveTest;

// Results appear at the end only; times count from the start, not from the clock's zero.
TEST_F(SimulatedDriveTimeline, VdcDetectionAbortsAPositioningThenPositioningRuns)
{
    Set(kP, {{"In1", 4095}});
    ASSERT_TRUE(drive->StartProgram(kP, kP, nullptr));
    clock.Advance(100);
    EXPECT_EQ(Run(kVdc, nullptr, [&](std::int64_t) { EXPECT_EQ(Var("var_u2"), 0); }), (Edges{20, 20, 220}));
    EXPECT_EQ(Var("var_u2"), kBusCounts);
    EXPECT_EQ(Var("REFTST_V"), 0);  // the aborted run left no results
    EXPECT_EQ(Var("MER"), 0);

    EXPECT_EQ(Run(kP, nullptr, [&](std::int64_t) { EXPECT_EQ(Var("REFTST_V"), 0); }), (Edges{30, 40, 440}));
    EXPECT_EQ(User(kP, "In1"), 4095);
    EXPECT_EQ(Var("REFTST_V"), TG_Round(kKv * kVdt));
    EXPECT_EQ(Var("RINCTST_V"), TG_Round(kKv * 1.12 * 2.5 / 100));  // 4095 counts are 2.5 A
}

// Healthy, and with an open phase that lets no current flow while the loop winds up to the command limit.
TEST_F(SimulatedDriveTimeline, ResistanceRunLogsOnlyWhatHasBeenRecorded)
{
    const auto request = Request({"IQ"});
    for (const auto& [fault, current, command] :
         {std::tuple{Fault::None, 4095.0, TG_Round(kKv * (1.12 * 2.5 + kVdt))}, {Fault::OpenPhase, 0.0, 32767}}) {
        drive->SetFault(fault);
        Set(kP, {{"In1", 4095}});
        EXPECT_GT(Run(kP)[2], 0);
        EXPECT_EQ(User(kP, "In1"), current);
        Set(kQ, {{"RefTest", 1400}, {"RIncTest", 36}, {"In1", 4095}});
        const Edges e = Run(kQ, &request, [&](std::int64_t ms) {
            EXPECT_NEAR(Var("IQ"), Axis() ? current : 0, 5) << ms;  // the steady current, while the axis is on
            EXPECT_TRUE(ms != 40 || Upload().empty());  // not logging yet
        });
        EXPECT_THAT(e, t::ElementsAre(30, 40, t::AllOf(t::Ge(200), t::Le(500))));
        EXPECT_EQ(Var("IQ"), 0);
        const auto points = Upload();
        ASSERT_EQ(points.size(), 400u);
        for (std::size_t k = 0; k < points.size(); ++k) {
            ASSERT_EQ(points[k].size(), 2u);
            EXPECT_DOUBLE_EQ(points[k][0], k * CurrentLoopPeriod(setup.get()));
            EXPECT_NEAR(points[k][1], current, current > 0 ? 2.5 : 1);
            EXPECT_EQ(points[k][1], std::round(points[k][1]));  // whole counts
        }
        EXPECT_NEAR(RunningMean(points, Iq), current, current > 0 ? 2.5 : 0.2);
        EXPECT_EQ(Var("var_i1"), command);
        EXPECT_EQ(Var("var_u2"), kBusCounts);
        EXPECT_EQ(Var("MER"), 0);
    }
}

// A short circuit trips as the power stage comes on and latches its bit until MER is written;
// ENABLE off shows at once and only while it lasts. Neither program ever starts or logs.
TEST_F(SimulatedDriveFaults, ShortCircuitAndEnableOffNeverStartAProgram)
{
    const auto request = Request({"IQ"});
    for (const auto& [fault, before, running, cleared] :
         {std::tuple{Fault::ShortCircuit, 0x0000, 0x0002, 0x0000}, {Fault::EnableOff, 0x8000, 0x8000, 0x8000}}) {
        Attach(drivesim::DefaultMotor());
        drive->SetFault(fault);
        EXPECT_EQ(Var("MER"), before);
        Set(kQ, {{"In1", 4095}});
        EXPECT_EQ(Run(kQ, &request, [&](std::int64_t) { EXPECT_EQ(Var("MER"), running); }), (Edges{-1, -1, -1}));
        EXPECT_TRUE(Upload().empty());
        EXPECT_EQ(Var("var_i1"), 0);
        CMC_Variable* mer = setup->FindVariable("MER", 1);
        mer->SetValueInBaseUnit(0);
        ASSERT_EQ(mer->WriteToChip(), 1);
        EXPECT_EQ(Var("MER"), cleared);
    }
}

TEST_F(SimulatedDriveFaults, DeadLinkFailsEveryCall)
{
    drive->SetFault(Fault::DeadLink);
    const std::string text = "The drive does not answer.";
    double value = 0;
    bool on = false;
    Points points;
    CMC_Variable* mer = setup->FindVariable("MER", 1);
    EXPECT_EQ(mer->ReadFromChip(), 0);
    EXPECT_EQ(drive->GetLastErrorText(), text);
    EXPECT_FALSE(mer->WriteToChip() == 1 || setup->FindParameter("PWMPER")->WriteToChip() == 1 ||
                 drive->SetUserVariable(kP, "In1", 1) || drive->GetUserVariable(kP, "STARTED", value) ||
                 drive->StartProgram(kVdc, kVdc, nullptr) || drive->GetAxisOn(on) || drive->UploadLog(points) ||
                 drive->ExecuteString("!CAP;ENCAPI1;"));
    EXPECT_EQ(drive->GetLastErrorText(), text);
}

TEST(SimulatedDriveFaultNames, ParseAndName)
{
    const std::pair<Fault, const char*> names[] = {{Fault::None, "none"},           {Fault::ShortCircuit, "short-circuit"},
                                                   {Fault::EnableOff, "enable-off"}, {Fault::OpenPhase, "open-phase"},
                                                   {Fault::DeadLink, "dead-link"}};
    for (const auto& [fault, name] : names) {
        EXPECT_STREQ(drivesim::FaultName(fault), name);
        EXPECT_EQ(drivesim::ParseFault(name), fault);
    }
    EXPECT_FALSE(drivesim::ParseFault("Short-Circuit"));
    EXPECT_FALSE(drivesim::ParseFault(""));
}

TEST_F(SimulatedDriveLink, RefusesWhatTheDriveDoesNotHave)
{
    EXPECT_FALSE(drive->StartProgram("Pole_Pairs_Detection", "Pole_Pairs_Detection", nullptr));
    EXPECT_EQ(drive->GetLastErrorText(), "The drive has no program \"Pole_Pairs_Detection\".");
    EXPECT_EQ(setup->FindVariable("Unknown_Var", 1)->ReadFromChip(), 0);
    EXPECT_EQ(drive->GetLastErrorText(), "The drive has no variable \"Unknown_Var\".");
    double value = 0;
    EXPECT_FALSE(drive->GetUserVariable(kQ, "RefTest", value));
    EXPECT_EQ(drive->GetLastErrorText(), "The program \"Ident_R_or_Rs\" has no user variable \"RefTest\".");
    EXPECT_EQ(User(kQ, "STARTED"), 0);  // a fresh program image holds 0
    Points points;
    EXPECT_FALSE(drive->UploadLog(points));
    EXPECT_EQ(drive->GetLastErrorText(), "No data has been logged.");
    const auto request = Request({"IQ", "Nothing"});
    EXPECT_FALSE(drive->StartProgram(kQ, kQ, &request));
    EXPECT_EQ(drive->GetLastErrorText(), "The drive cannot log \"Nothing\": it has no such variable.");
    auto bare = zektest::SetupFromJson(zektest::Doc(R"("ImaxPS":{"value":20,"unit":"A"})"));
    drivesim::SimulatedDrive lone(bare.get(), drivesim::DefaultMotor(), clock);
    EXPECT_FALSE(lone.StartProgram(kVdc, kVdc, nullptr));
    EXPECT_EQ(lone.GetLastErrorText(), "The drive configuration lacks \"VdcMaxMeasurable\".");
}

TEST_F(SimulatedDriveLink, StoresWritesAndCommandsAndDetachesWhenDestroyed)
{
    EXPECT_TRUE(drive->ExecuteString("!CAP;ENCAPI1;"));
    EXPECT_EQ(drive->Commands(), std::vector<std::string>{"!CAP;ENCAPI1;"});
    ASSERT_EQ(setup->FindParameter("PWMPER")->WriteToChip(), 1);
    EXPECT_EQ(drive->WrittenParameter("PWMPER"), 1500);
    EXPECT_FALSE(drive->WrittenParameter("SLPER"));
    CMC_Variable* u = setup->FindVariable("var_i1", 1);
    u->SetValueInBaseUnit(1234);
    ASSERT_EQ(u->WriteToChip(), 1);
    EXPECT_EQ(Var("var_i1"), 1234);
    Set(kQ, {{"RefTest", 77}});
    EXPECT_EQ(User(kQ, "RefTest"), 77);

    EXPECT_EQ(setup->GetDriveLink(), drive.get());
    drive.reset();
    EXPECT_EQ(setup->GetDriveLink(), nullptr);
}

// The module's formulas applied to what the drive reports recover the motor; more motors run end
// to end through the test dialogs in commissioning_e2e_test.cpp.
TEST_F(SimulatedDrivePhysics, MotorsAreRecovered)
{
    const Identified a = ExpectRecovered({}, "default");
    const Identified b = ExpectRecovered({}, "again");  // a new drive repeats its runs exactly
    EXPECT_EQ(a.r, b.r);
    EXPECT_EQ(a.l, b.l);
    // The inductance run's command saturates here; the current follows the command actually applied.
    ExpectRecovered({.resistance = 3.3, .inductance = 8e-3, .vdc = 30}, "high-R");
    EXPECT_EQ(Var("var_i1"), 32767);
    setup->Info().adcMax = 4095;  // a small test current on a 12-bit converter
    setup->SetParameterValueInBaseUnit("TestCurrent", 0.8);
    ExpectRecovered({}, "12-bit");
}

// Fields override the defaults; refusals name the document and the field.
TEST(SimulatedDriveMotor, Documents)
{
    std::string error;
    const auto m = drivesim::MotorFromJson(R"({"resistance": 2.5, "polePairs": 5, "encoderDirection": -1})", "m.json", error);
    ASSERT_TRUE(m) << error;
    EXPECT_EQ(std::vector<double>({m->resistance, 1.0 * m->polePairs, 1.0 * m->encoderDirection, m->inductance}),
              std::vector<double>({2.5, 5, -1, 1.45e-3}));
    EXPECT_TRUE(drivesim::MotorFromJson("{}", "m.json", error));
    const std::pair<const char*, const char*> refused[] = {
        {R"({"resistanse": 1})", "m.json: field \"resistanse\" is not a motor field"},
        {R"({"inductance": "1m"})", "m.json: field \"inductance\" must be a number"},
        {R"({"polePairs": 2.5})", "m.json: field \"polePairs\" must be a whole number"},
        {R"({"resistance": -1})", "m.json: field \"resistance\" must be positive"},
        {R"({"encoderDirection": 0})", "m.json: field \"encoderDirection\" must be 1 or -1"},
        {R"({"viscousFriction": -0.1})", "m.json: field \"viscousFriction\" must not be negative"},
        {R"([1, 2])", "m.json: must be a JSON object of motor fields"},
    };
    for (const auto& [text, message] : refused) {
        EXPECT_FALSE(drivesim::MotorFromJson(text, "m.json", error)) << text;
        EXPECT_EQ(error, message);
    }
    EXPECT_FALSE(drivesim::MotorFromJson("{", "m.json", error));
    EXPECT_EQ(error.rfind("m.json: not valid JSON", 0), 0u) << error;  // then the parser's own words
    // Reading a file is covered by the command-line test (test-motor-file).
    const std::string path = ::testing::TempDir() + "no_such_motor.json";
    EXPECT_FALSE(drivesim::LoadMotor(path, error));
    EXPECT_EQ(error, path + ": cannot open the file");
}

}  // namespace
