// `zekhost commission` end to end: the whole journey through the setup editor against the
// simulated drive must find each motor's true values, stop at the step that notices a fault, and
// write a setup whose registers follow its engineering values.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <unistd.h>

#include "commands.h"
#include "drivesim/motor_model.h"
#include "plot_picture.h"
#include "rurorade/plot_renderer.h"

namespace {

namespace fs = std::filesystem;
using zekhost::CommandError;

std::string Slurp(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

class Commission : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("commission_test_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        zekqt::InstallPlotRenderer();  // the report's pictures, as zekhost draws them
    }
    void TearDown() override
    {
        rurorade::SetPlotRenderer(nullptr);
        fs::remove_all(dir);
    }

    // Runs the journey on the default setup with the motor's nameplate data (`sets`) typed in.
    void Run(const zekhost::CommissionOptions& options, const std::vector<std::string>& sets)
    {
        zekhost::HostSession session;
        zekhost::CommonOptions common;
        common.sets = sets;
        zekhost::OpenSession(session, "default", common);
        ::testing::internal::CaptureStdout();
        try {
            zekhost::RunCommission(session, options);
        } catch (...) {
            printed = ::testing::internal::GetCapturedStdout();
            throw;
        }
        printed = ::testing::internal::GetCapturedStdout();
    }
    static double Param(zekhost::HostSession& session, const char* name)
    {
        return session.setup->GetParameterValueInBaseUnit(name);
    }

    fs::path dir;
    std::string printed;
};

// Three motors unlike the default (0.9 Ω, 1.2 mH, 4 pole pairs, 2500 lines); Halls ticked and the
// position loop through the speed loop, so every step of the journey runs.
TEST_F(Commission, FindsEachMotorsTrueValues)
{
    struct Case {
        const char* motor;
        const char* torqueConstant;
        const char* rotorInertia;
    } cases[] = {
        {"small_servo", "0.045", "1.2e-5"},
        {"compact_servo", "0.15", "8e-5"},
        {"medium_servo", "0.3", "0.00025"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.motor);
        zekhost::CommissionOptions options;
        options.simulation.motorPath = std::string(ZEK_SETUPS_DIR) + "/motors/" + c.motor + ".json";
        options.out = (dir / (std::string(c.motor) + ".json")).string();
        options.reportDir = (dir / c.motor).string();
        options.filterPicture = [](CMC_Setup& setup, const std::string& path) {
            return zekqt::RenderFilterResponsePicture(&setup, path);
        };
        Run(options, {std::string("K=") + c.torqueConstant, std::string("Jm=") + c.rotorInertia, "isHallsensors=1",
                      "PositionControlType=1"});
        const drivesim::MotorModel m = zekhost::MotorFromOption(options.simulation.motorPath);

        zekhost::HostSession out;
        zekhost::OpenSession(out, options.out, {});
        EXPECT_NEAR(Param(out, "R"), m.resistance, 0.01 * m.resistance);
        EXPECT_NEAR(Param(out, "L"), m.inductance, 0.02 * m.inductance);
        // The editor decodes pp back from the encoder registers: 2^-32 turn steps, not a whole number.
        EXPECT_NEAR(Param(out, "pp"), m.polePairs, 1e-9);
        EXPECT_EQ(Param(out, "No_encoder_lines"), m.encoderLines);
        EXPECT_EQ(Param(out, "HALLCASE"), m.hallCase);
        EXPECT_NEAR(Param(out, "HALL30"), m.hallShift, 1);
        EXPECT_NEAR(Param(out, "Vdc"), m.vdc, 0.002 * m.vdc);
        EXPECT_NEAR(Param(out, "Jt"), m.TotalInertia(), 0.01 * m.TotalInertia());

        // Every step in the page, every picture it names beside it, its numbers those of the setup.
        const std::string page = Slurp(fs::path(options.reportDir) / "index.html");
        for (const char* title : {"Motor phase connections", "Pole pairs", "Resistance and inductance",
                                  "Encoder connections", "Encoder resolution", "Hall signals", "Hall configuration",
                                  "DC bus voltage", "Current controller", "Total inertia", "Speed controller",
                                  "Position controller"})
            EXPECT_NE(page.find(std::string(">") + title + "<"), std::string::npos) << title;
        const std::regex image("<img src=\"([^\"]+)\"");
        int pictures = 0;
        for (auto it = std::sregex_iterator(page.begin(), page.end(), image); it != std::sregex_iterator(); ++it, ++pictures)
            EXPECT_TRUE(fs::exists(fs::path(options.reportDir) / (*it)[1].str())) << (*it)[1].str();
        EXPECT_EQ(pictures, 3);
        EXPECT_NE(page.find("<h2>Filters</h2>\n<p>No filter is on.</p>"), std::string::npos);  // none in this setup
        for (const char* name : {"R", "L", "Vdc", "Jt", "Kp_S_scl"})
            EXPECT_NE(page.find(">" + zekhost::FormatNumber(Param(out, name)) + "<"), std::string::npos) << name;

        // Registers are what the engine makes of the engineering values.
        const std::string encoded = (dir / "encoded.json").string();
        zekhost::RunEncode(out, encoded);
        EXPECT_EQ(Slurp(encoded), Slurp(options.out));
    }
}

// Each fault stops the journey at the first test that can notice it, with that test's text, and
// nothing is written.
TEST_F(Commission, AFaultStopsTheJourneyAtTheStepThatNoticesIt)
{
    struct Case {
        const char* fault;
        const char* step;
        const char* text;
    } cases[] = {
        {"short-circuit", "Motor phase connections", "shortcircuit protection triggered"},
        {"enable-off", "Motor phase connections", "ENABLE input is in DISABLED state"},
        {"open-phase", "Motor phase connections", "Check the motor connections"},
        {"dead-link", "Motor phase connections", "Cannot write the user variable"},
        {"hall-stuck", "Hall signals", "No transitions detected on one or more HALL signals"},
        {"encoder-a-missing", "Encoder connections", "No encoder pulses have been detected"},
        {"encoder-swapped", "Encoder resolution", "Change the Reverse encoder counting checkbox"},  // counts backwards
        {"limit-positive", "Total inertia", "positive limit switch input triggered"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        zekhost::CommissionOptions options;
        options.simulation.fault = c.fault;
        options.out = (dir / "never.json").string();
        options.reportDir = (dir / "never").string();
        try {
            Run(options, {"isHallsensors=1"});
            ADD_FAILURE() << "the journey did not stop";
        } catch (const CommandError& e) {
            EXPECT_EQ(e.exitCode, zekhost::kFailure);
            EXPECT_NE(e.message.find(std::string("\"") + c.step + "\""), std::string::npos) << e.message;
            EXPECT_NE(e.message.find(c.text), std::string::npos) << e.message;
        }
        EXPECT_FALSE(fs::exists(options.out));
        EXPECT_FALSE(fs::exists(options.reportDir));
    }
}

}  // namespace
