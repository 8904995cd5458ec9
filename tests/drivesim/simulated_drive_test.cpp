// The simulated drive as the host sees it through the drive link: programs, user and drive
// variables, logging, faults, the bench, and motor documents.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "drivesim/motor_model.h"
#include "drivesim/simulated_drive.h"
#include "rurorade/units.h"
#include "zekmod/engine_fixture.h"

namespace {

using drivesim::Fault;
namespace t = ::testing;
using Points = std::vector<std::vector<double>>;

constexpr const char* kP = "Initial_Positioning_Test";
constexpr const char* kQ = "Ident_R_or_Rs";
constexpr const char* kVdc = "VDC_Detection_Test";

class SimulatedDriveTest : public zektest::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        setup = zektest::SampleSetup("default.json");
        ASSERT_TRUE(setup);
        for (const char* name : {"HALL", "CAPPOS", "AD5", "Unknown_Var"})
            if (!setup->FindVariable(name, 0)) setup->AddVariable(name, &rurorade::Dimensionless());
        Attach(drivesim::DefaultMotor());
    }
    void Attach(const drivesim::MotorModel& motor)
    {
        drive.reset();
        drive = std::make_unique<drivesim::SimulatedDrive>(setup.get(), motor, clock);
    }
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
    bool Axis()
    {
        bool on = false;
        EXPECT_TRUE(drive->GetAxisOn(on));
        return on;
    }
    // Starts `program` and lets 1 ms pass at a time until it has started and its power stage is
    // off again (10 s at most); returns the ms that took, or -1.
    int Run(const char* program, std::initializer_list<std::pair<const char*, double>> inputs,
            const rurorade::LoggerRequest* log = nullptr)
    {
        for (const auto& [name, value] : inputs) EXPECT_TRUE(drive->SetUserVariable(program, name, value));
        EXPECT_TRUE(drive->StartProgram(program, program, log)) << drive->GetLastErrorText();
        for (int ms = 0; ms <= 10000; ++ms, clock.Advance(1))
            if (User(program, "STARTED") != 0 && !Axis()) return ms;
        return -1;
    }

    rurorade::VirtualClock clock;
    std::unique_ptr<CMC_Setup> setup;
    std::unique_ptr<drivesim::SimulatedDrive> drive;  // after `setup`: destroyed first
};

// Results appear when a program ends, never from a run that another start aborted.
TEST_F(SimulatedDriveTest, ResultsComeOnlyFromRunsThatEnd)
{
    ASSERT_TRUE(drive->SetUserVariable(kP, "In1", 4095));
    ASSERT_TRUE(drive->StartProgram(kP, kP, nullptr));
    clock.Advance(100);
    EXPECT_TRUE(Axis());
    EXPECT_GT(Run(kVdc, {}), 0);
    EXPECT_EQ(Var("REFTST_V"), 0);  // the aborted positioning left nothing
    EXPECT_GT(Var("var_u2"), 0);

    // A positioning run that reaches its current reports it and a ramp for the resistance run.
    EXPECT_GT(Run(kP, {{"In1", 4095}}), 300);
    EXPECT_NEAR(User(kP, "In1"), 4095, 0.1 * 4095);
    EXPECT_GT(Var("REFTST_V"), 0);
    EXPECT_GE(Var("RINCTST_V"), 1);
    EXPECT_EQ(Var("MER"), 0);
}

// The positioning brings the rotor's d axis onto phase A (electrical angle 0) wherever a hand left
// it, also exactly opposite, where the current along phase A gives no torque.
TEST_F(SimulatedDriveTest, PositioningAlignsTheRotorFromAnyAngle)
{
    drivesim::MotorModel motor = drivesim::DefaultMotor();
    motor.polePairs = 2;
    for (const double handDegrees : {0.0, 45.0, 90.0, 135.0, 450.0}) {  // 0, 90, 180, 270, 180 electrical
        Attach(motor);
        drive->TurnShaft(handDegrees, 500);
        clock.Advance(600);
        drive->ReleaseShaft();
        ASSERT_GT(Run(kP, {{"In1", 4095}}), 0);
        const double turns = drive->Core().GetPlant().ElectricalAngle() / (2 * drivesim::kPi);
        EXPECT_NEAR(turns - std::round(turns), 0, 3.0 / 360) << handDegrees;  // friction leaves about 1 degree
    }
}

// Logged points come every `sampling` current-loop periods in whole counts, only once the program
// logs, and the log ends with the program.
TEST_F(SimulatedDriveTest, LogsWhatTheProgramMeasures)
{
    const rurorade::LoggerRequest request{{"IQ", "UQ"}, 400, 2, 2};
    EXPECT_GT(Run(kQ, {{"In1", 2047}, {"RefTest", 1000}, {"RIncTest", 2}}, &request), 0);
    Points points;
    ASSERT_TRUE(drive->UploadLog(points));
    ASSERT_EQ(points.size(), 400u);
    const double ts = 2 * 50e-6;
    for (std::size_t k = 0; k < points.size(); ++k) {
        ASSERT_EQ(points[k].size(), 3u);
        EXPECT_NEAR(points[k][0], k * ts, 1e-12);
        EXPECT_EQ(points[k][1], std::round(points[k][1]));
        EXPECT_NEAR(points[k][1], 2047, 0.1 * 2047);  // the held current, settled
        EXPECT_EQ(points[k][2], Var("var_i1"));       // the held command
    }
}

// ENABLE off: the program waits for ever. A short circuit trips as the power stage comes on and
// latches its bit until MER is written. Neither starts or logs.
TEST_F(SimulatedDriveTest, ShortCircuitAndEnableOffNeverStartAProgram)
{
    const rurorade::LoggerRequest request{{"IQ"}, 400, 1, 1};
    for (const auto& [fault, running, cleared] :
         {std::tuple{Fault::ShortCircuit, 0x0002, 0x0000}, {Fault::EnableOff, 0x8000, 0x8000}}) {
        Attach(drivesim::DefaultMotor());
        drive->SetFault(fault);
        ASSERT_TRUE(drive->StartProgram(kQ, kQ, &request));
        clock.Advance(500);
        EXPECT_EQ(User(kQ, "STARTED"), 0);
        EXPECT_FALSE(Axis());
        EXPECT_EQ(Var("MER"), running);
        Points points;
        EXPECT_TRUE(drive->UploadLog(points) && points.empty());
        CMC_Variable* mer = setup->FindVariable("MER", 1);
        mer->SetValueInBaseUnit(0);
        ASSERT_EQ(mer->WriteToChip(), 1);
        EXPECT_EQ(Var("MER"), cleared);
    }
}

TEST_F(SimulatedDriveTest, DeadLinkFailsEveryCall)
{
    drive->SetFault(Fault::DeadLink);
    double value = 0;
    bool on = false;
    Points points;
    CMC_Variable* mer = setup->FindVariable("MER", 1);
    EXPECT_EQ(mer->ReadFromChip(), 0);
    EXPECT_FALSE(mer->WriteToChip() == 1 || setup->FindParameter("PWMPER")->WriteToChip() == 1 ||
                 drive->SetUserVariable(kP, "In1", 1) || drive->GetUserVariable(kP, "STARTED", value) ||
                 drive->StartProgram(kVdc, kVdc, nullptr) || drive->GetAxisOn(on) || drive->UploadLog(points) ||
                 drive->ExecuteString("!CAP;ENCAPI1;") || drive->StopProgram());
    EXPECT_EQ(drive->GetLastErrorText(), "The drive does not answer.");
}

TEST_F(SimulatedDriveTest, StopHaltsTheProgramWithoutResults)
{
    ASSERT_TRUE(drive->SetUserVariable(kP, "In1", 4095));
    ASSERT_TRUE(drive->StartProgram(kP, kP, nullptr));
    clock.Advance(100);
    EXPECT_TRUE(Axis());
    EXPECT_TRUE(drive->StopProgram());
    EXPECT_FALSE(Axis());
    clock.Advance(1000);
    EXPECT_EQ(Var("REFTST_V"), 0);
    EXPECT_EQ(User(kP, "In1"), 4095);  // still the input
}

TEST_F(SimulatedDriveTest, RefusesWhatTheDriveDoesNotHave)
{
    EXPECT_FALSE(drive->StartProgram("Pole_Pairs_Detection", "Pole_Pairs_Detection", nullptr));
    EXPECT_EQ(drive->GetLastErrorText(), "The drive has no program \"Pole_Pairs_Detection\".");
    EXPECT_EQ(setup->FindVariable("Unknown_Var", 1)->ReadFromChip(), 0);
    EXPECT_EQ(drive->GetLastErrorText(), "The drive has no variable \"Unknown_Var\".");
    CMC_Variable* iq = setup->FindVariable("IQ", 1);
    EXPECT_EQ(iq->WriteToChip(), 0);
    EXPECT_EQ(drive->GetLastErrorText(), "The drive variable \"IQ\" is a measurement and cannot be written.");
    double value = 0;
    EXPECT_FALSE(drive->GetUserVariable(kQ, "RefTest", value));
    EXPECT_EQ(drive->GetLastErrorText(), "The program \"Ident_R_or_Rs\" has no user variable \"RefTest\".");
    EXPECT_EQ(User(kQ, "STARTED"), 0);  // a fresh program image holds 0
    Points points;
    EXPECT_FALSE(drive->UploadLog(points));
    EXPECT_EQ(drive->GetLastErrorText(), "No data has been logged.");
    const rurorade::LoggerRequest request{{"IQ", "Nothing"}, 400, 1, 1};
    EXPECT_FALSE(drive->StartProgram(kQ, kQ, &request));
    EXPECT_EQ(drive->GetLastErrorText(), "The drive cannot log \"Nothing\": it has no such variable.");
    auto bare = zektest::SetupFromJson(zektest::Doc(R"("ImaxPS":{"value":20,"unit":"A"})"));
    drivesim::SimulatedDrive lone(bare.get(), drivesim::DefaultMotor(), clock);
    EXPECT_FALSE(lone.StartProgram(kVdc, kVdc, nullptr));
    EXPECT_EQ(lone.GetLastErrorText(), "The drive configuration lacks \"VdcMaxMeasurable\".");
}

TEST_F(SimulatedDriveTest, WritesReachTheFirmwareAndTheLinkDetachesWhenDestroyed)
{
    EXPECT_TRUE(drive->ExecuteString("!CAP;ENCAPI1;"));
    EXPECT_EQ(drive->Commands(), std::vector<std::string>{"!CAP;ENCAPI1;"});
    CMC_Parameter* kpi = setup->FindParameter("KPI");
    kpi->SetValueInBaseUnit(12345.4);
    ASSERT_EQ(kpi->WriteToChip(), 1);
    EXPECT_EQ(drive->WrittenParameter("KPI"), 12345.4);
    EXPECT_EQ(drive->Core().Registers().kpi.mantissa, 12345);
    EXPECT_FALSE(drive->WrittenParameter("SLPER"));
    EXPECT_EQ(setup->GetDriveLink(), drive.get());
    drive.reset();
    EXPECT_EQ(setup->GetDriveLink(), nullptr);
}

// The bench: a hand turns the shaft and holds it, the Halls and the encoder follow, the index
// is captured once armed, and the analogue input reads as a 10-bit word in the upper bits.
TEST_F(SimulatedDriveTest, BenchTurnsTheShaftAndSetsTheAnalogueInput)
{
    rurorade::Bench* bench = drive->GetBench();
    ASSERT_NE(bench, nullptr);
    bench->TurnShaft(-90, 0);
    EXPECT_TRUE(drive->ExecuteString("!CAP;ENCAPI1;"));
    bench->TurnShaft(360, 500);
    clock.Advance(250);
    EXPECT_NEAR(bench->ShaftDegrees(), 90, 0.01);
    clock.Advance(1000);
    EXPECT_DOUBLE_EQ(bench->ShaftDegrees(), 270);  // held where the turn ended
    EXPECT_EQ(Var("APOS"), 7500);                  // 2500 lines, 4 counts each
    EXPECT_EQ(Var("CAPPOS"), 0);                   // the index at the shaft's zero
    bench->ReleaseShaft();
    for (const auto& [volts, word] : {std::pair{-1.0, 0.0}, {5.0, 512.0 * 64}, {10.0, 1023.0 * 64}, {12.0, 1023.0 * 64}}) {
        bench->SetAnalogueInput(volts);
        EXPECT_NEAR(Var("AD5"), word, 64) << volts;  // the default setup's 0..10 V input
    }
}

TEST(SimulatedDriveFaultNames, ParseAndName)
{
    EXPECT_EQ(drivesim::FaultNames(),
              "short-circuit, enable-off, open-phase, dead-link, hall-supply, hall-stuck, encoder-a-missing, "
              "encoder-b-missing, encoder-swapped, phases-swapped, locked-rotor, limit-positive, limit-negative");
    for (int f = 0; f <= static_cast<int>(Fault::LimitNegative); ++f) {
        const auto fault = static_cast<Fault>(f);
        EXPECT_EQ(drivesim::ParseFault(drivesim::FaultName(fault)), fault);
    }
    EXPECT_FALSE(drivesim::ParseFault("Short-Circuit"));
    EXPECT_FALSE(drivesim::ParseFault(""));
}

// Fields override the defaults; refusals name the document and the field.
TEST(SimulatedDriveMotor, Documents)
{
    std::string error;
    const auto m = drivesim::MotorFromJson(
        R"({"description": "a note", "resistance": 2.5, "polePairs": 5, "encoderDirection": -1, "lq": 3e-3,
            "hallCase": 9, "loadTorque": -0.2})",
        "m.json", error);
    ASSERT_TRUE(m) << error;
    EXPECT_EQ(std::vector<double>({m->resistance, 1.0 * m->polePairs, 1.0 * m->encoderDirection, m->Ld(), m->Lq(),
                                   1.0 * m->hallCase, m->loadTorque}),
              std::vector<double>({2.5, 5, -1, 1.45e-3, 3e-3, 9, -0.2}));
    const std::pair<const char*, const char*> refused[] = {
        {R"({"resistanse": 1})", "m.json: field \"resistanse\" is not a motor field"},
        {R"({"inductance": "1m"})", "m.json: field \"inductance\" must be a number"},
        {R"({"description": 1})", "m.json: field \"description\" must be text"},
        {R"({"polePairs": 2.5})", "m.json: field \"polePairs\" must be a whole number"},
        {R"({"resistance": -1})", "m.json: field \"resistance\" must be positive"},
        {R"({"encoderDirection": 0})", "m.json: field \"encoderDirection\" must be 1 or -1"},
        {R"({"encoderIndex": 2})", "m.json: field \"encoderIndex\" must be 0 or 1"},
        {R"({"hallCase": 14})", "m.json: field \"hallCase\" must be a Hall configuration from 2 to 13"},
        {R"({"noise": -0.1})", "m.json: field \"noise\" must not be negative"},
        {R"([1, 2])", "m.json: must be a JSON object of motor fields"},
    };
    for (const auto& [text, message] : refused) {
        EXPECT_FALSE(drivesim::MotorFromJson(text, "m.json", error)) << text;
        EXPECT_EQ(error, message);
    }
    for (const char* text : {"{", R"({"vdc": 1e400})"}) {
        EXPECT_FALSE(drivesim::MotorFromJson(text, "m.json", error));
        EXPECT_EQ(error.rfind("m.json: not valid JSON", 0), 0u) << error;  // then the parser's own words
    }
    const std::string path = ::testing::TempDir() + "no_such_motor.json";
    EXPECT_FALSE(drivesim::LoadMotor(path, error));
    EXPECT_EQ(error, path + ": cannot open the file");
}

// The sample motors shipped with the project load.
TEST(SimulatedDriveMotor, SampleMotorsLoad)
{
    for (const char* name : {"small_servo.json", "large_servo.json", "salient_gravity.json"}) {
        std::string error;
        EXPECT_TRUE(drivesim::LoadMotor(std::string(ZEK_SETUPS_DIR) + "/motors/" + name, error)) << error;
    }
}

}  // namespace

namespace {

// Faults as the drive reports them in MER, with the power stage off where the drive stops.
TEST(SimulatedDriveFaults, ReportedInMer)
{
    struct Case {
        Fault fault;
        std::function<void(drivesim::DriveCore&)> run;
        std::uint16_t mer;
        bool axisOn;
    } cases[] = {
        {Fault::ShortCircuit, {}, 0x0002, false},
        {Fault::EnableOff, {}, 0x8000, false},
        {Fault::LimitPositive, {}, 0x0040, true},
        {Fault::LimitNegative, {}, 0x0080, true},
        {Fault::HallSupply, [](auto& c) { c.hallCommutation = true; }, 0x0020, false},
        {Fault::LockedRotor,
         [](auto& c) {
             c.Registers().serrmax = 5;
             c.Registers().tserrmax = 10;
             c.servo = drivesim::Servo::Speed;
             c.speedReference = 50;
         },
         0x0008, false},
        {Fault::None,  // the test's over-current protection: no MER bit, the program is told
         [](auto& c) {
             c.currentTrip = 500;
             c.vqCommand = 8000;
         },
         0x0000, false},
    };
    for (const Case& c : cases) {
        drivesim::DriveCore core(drivesim::DefaultMotor(), 1);
        core.SetFault(c.fault);
        core.Registers().kps = {20000, 4};
        core.Registers().sats = 20000;
        core.Registers().imaxs = 20000;
        core.PowerOn();
        if (c.run) c.run(core);
        for (int k = 0; k < 400; ++k) {
            core.Sense();
            ASSERT_TRUE(core.Act());
        }
        EXPECT_EQ(core.Mer(), c.mer) << drivesim::FaultName(c.fault);
        EXPECT_EQ(core.AxisOn(), c.axisOn) << drivesim::FaultName(c.fault);
        if (c.fault == Fault::None) {
            EXPECT_TRUE(core.tripped);
        }
    }
}

// A model driven beyond what it can integrate stops with a drive fault and says why; the next
// program starts afresh.
TEST(SimulatedDriveFaults, ModelThatCannotGoOnStopsWithAClearText)
{
    auto setup = zektest::SampleSetup("default.json");
    rurorade::VirtualClock clock;
    drivesim::SimulatedDrive drive(setup.get(), drivesim::DefaultMotor(), clock);
    drive.TurnShaft(1e7, 10);
    clock.Advance(5);
    bool on = true;
    EXPECT_FALSE(drive.GetAxisOn(on));
    EXPECT_EQ(drive.GetLastErrorText().rfind("The simulated drive stopped: the motor turns too fast for the model", 0), 0u)
        << drive.GetLastErrorText();
    EXPECT_TRUE(drive.StartProgram("VDC_Detection_Test", "VDC_Detection_Test", nullptr)) << drive.GetLastErrorText();
    clock.Advance(200);
    EXPECT_TRUE(drive.GetAxisOn(on));
}

}  // namespace

namespace {

// The over-current level a test gives its program ("Imax_Prot_Test", counts) stops the program
// and clears "test_flag"; without it the same run goes through.
TEST_F(SimulatedDriveTest, TheTestsOverCurrentLevelStopsTheProgram)
{
    EXPECT_GT(Run(kP, {{"In1", 4095}, {"Imax_Prot_Test", 2000}}), 0);
    EXPECT_EQ(User(kP, "test_flag"), 0);
    EXPECT_EQ(Var("REFTST_V"), 0);  // it did not finish
    EXPECT_GT(Run(kP, {{"In1", 4095}, {"Imax_Prot_Test", 6000}}), 0);
    EXPECT_EQ(User(kP, "test_flag"), 1);
    EXPECT_GT(Var("REFTST_V"), 0);
}

}  // namespace
