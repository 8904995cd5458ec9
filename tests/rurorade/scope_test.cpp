// The scope channel: frames from the drive link to the scope logger, the trigger, the layout and
// the channel scales, and the graph exports.
#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "drivesim/motor_model.h"
#include "drivesim/simulated_drive.h"
#include "rurorade/drive_comm.h"
#include "rurorade/plot_renderer.h"
#include "rurorade/test_dlg.h"
#include "zekmod/engine_fixture.h"

namespace {

namespace fs = std::filesystem;
using Words = std::vector<std::uint16_t>;

// A link that takes any scope request and hands out the messages the test queues.
class FrameLink : public rurorade::DriveLink {
public:
    bool WriteParameter(const CMC_Parameter&) override { return true; }
    bool ReadVariable(CMC_Variable&) override { return true; }
    bool WriteVariable(const CMC_Variable&) override { return true; }
    bool SetUserVariable(const std::string&, const std::string&, double) override { return true; }
    bool GetUserVariable(const std::string&, const std::string&, double&) override { return true; }
    bool StartProgram(const std::string&, const std::string&, const rurorade::LoggerRequest*) override { return true; }
    bool GetAxisOn(bool& on) override { return on = false, true; }
    bool UploadLog(std::vector<std::vector<double>>&) override { return false; }
    bool ExecuteString(const std::string&) override { return true; }
    bool StopProgram() override { return true; }
    std::string GetLastErrorText() const override { return ""; }
    bool StartScope(const rurorade::ScopeRequest& r) override { return request = r, true; }
    bool StopScope() override { return true; }
    bool PollUnsolicited(Words& message) override
    {
        if (queue.empty()) return false;
        message = queue.front();
        queue.pop_front();
        return true;
    }
    rurorade::ScopeRequest request;
    std::deque<Words> queue;
};

// What the module's handler does: scope frames to the logger, everything else refused.
CMC_ScopeLogger* g_scope = nullptr;
std::vector<rurorade::ScopeFrame> g_frames;
int Handler(const std::uint16_t* words, int count)
{
    if (count < 3 || words[2] != rurorade::kScopeFrameKind || g_scope == nullptr) return rurorade::kScopeFrameKind;
    rurorade::ScopeFrame frame;
    if (rurorade::ParseScopeFrame(words + 3, 2 * words[0], frame)) g_frames.push_back(frame);
    const int result = g_scope->OnFrameReceive(words + 3, 2 * words[0]);
    return result < 1 ? result : 0;
}

std::string Slurp(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class ScopeTest : public zektest::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        setup = zektest::SampleSetup("default.json");
        ASSERT_TRUE(setup);
        setup->SetDriveLink(&link);
        scope = std::make_unique<CMC_ScopeLogger>(setup.get(), nullptr);
        g_scope = scope.get();
        g_frames.clear();
        previous = CMC_Comm::RegisterReceiveUnsolicitedMsgHandler(&Handler);
        dir = fs::temp_directory_path() / ("scope_test_" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override
    {
        CMC_Comm::RegisterReceiveUnsolicitedMsgHandler(previous);
        g_scope = nullptr;
        fs::remove_all(dir);
        EngineTest::TearDown();
    }
    // Payload of `message` in a buffer of exactly `bytes` bytes, so a read past it is caught.
    int Feed(const Words& message, int bytes)
    {
        std::vector<std::uint16_t> payload(message.begin() + 3, message.begin() + 3 + (bytes + 1) / 2);
        return scope->OnFrameReceive(payload.data(), bytes);
    }

    FrameLink link;
    std::unique_ptr<CMC_Setup> setup;
    std::unique_ptr<CMC_ScopeLogger> scope;
    CMC_Comm::UnsolicitedMsgHandler previous = nullptr;
    fs::path dir;
};

// The drive's loop period is 2 * PWMPER / DSP_freq = 50 us: a screen holds up to 2000 points,
// sampled as often as that allows.
TEST_F(ScopeTest, SamplingFollowsTheSpan)
{
    ASSERT_EQ(scope->AddVariable("IQ", 1), 1);
    for (const auto& [span, points, sampling] : {std::tuple{0.05, 1000, 1}, {0.1, 2000, 1}, {1.0, 2000, 10}, {1e-5, 2, 1}}) {
        ASSERT_EQ(scope->ChangeSettings(span, 1, 1, nullptr, 0, 0), 1);
        ASSERT_EQ(scope->LocateItems(), 1);
        EXPECT_EQ(scope->GetPointsNo(), points) << span;
        EXPECT_EQ(scope->Sampling(), sampling) << span;
    }
    EXPECT_EQ(scope->ChangeSettings(-1, 1, 1, nullptr, 0, 0), 0);
    EXPECT_EQ(scope->ChangeSettings(1, 3, 1, nullptr, 0, 0), 0);
    EXPECT_EQ(scope->ChangeSettings(1, 1, 1, nullptr, 0, 101), 0);
}

TEST_F(ScopeTest, ShortForeignAndMalformedFramesAreIgnored)
{
    ASSERT_EQ(scope->AddVariable("IQ", 1), 1);
    ASSERT_EQ(scope->AddVariable("ID", 1), 1);
    ASSERT_EQ(scope->ChangeSettings(0.05, 1, 1, nullptr, 0, 0), 1);
    const Words good = rurorade::MakeScopeFrameMessage(0, 2, {1, -2, 70000, -70000});
    const int bytes = 2 * good[0];
    EXPECT_EQ(Feed(good, bytes), 0);  // no upload runs yet
    ASSERT_EQ(scope->BeginOrContinueUploadData(), 1);
    Words oversize = good, foreign = rurorade::MakeScopeFrameMessage(0, 3, {1, 2, 3});
    oversize[3 + 3] = 3;  // three samples claimed, two sent
    for (const auto& [message, size] : {std::pair{good, bytes - 2}, {good, 7}, {good, 0}, {oversize, bytes}, {foreign, 2 * foreign[0]}})
        EXPECT_EQ(Feed(message, size), 0);
    EXPECT_TRUE(scope->GetDocument().points.empty());
    ASSERT_EQ(Feed(good, bytes), 1);
    const auto& points = scope->GetDocument().points;
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[1], (std::vector<double>{50e-6, 70000, -70000}));

    // A message whose length word claims more than it holds never reaches the handler.
    Words lying = rurorade::MakeScopeFrameMessage(1, 2, {5, 6});
    lying[0] += 100;
    link.queue = {lying, {0}, rurorade::MakeScopeFrameMessage(1, 2, {5, 6})};
    const auto dropped = CMC_Comm::DroppedMessages();
    EXPECT_EQ(CMC_Comm::CheckForUnrequestedMessages(setup.get()), 1);
    EXPECT_EQ(CMC_Comm::DroppedMessages(), dropped + 2);
    EXPECT_EQ(points.size(), 3u);
}

// A single shot on "Voltage_Reference" (dimensionless: base = internal) rising through 50 with
// 10 % of a 20-point screen before the trigger: the screen holds 48 ... 67.
TEST_F(ScopeTest, SingleShotStartsAtTheTrigger)
{
    ASSERT_EQ(scope->AddVariable("Voltage_Reference", 1), 1);
    ASSERT_EQ(scope->ChangeSettings(20 * 50e-6, CMC_ScopeLogger::kSingle, 1, "Voltage_Reference", 50, 10), 1);
    ASSERT_EQ(scope->BeginOrContinueUploadData(), 1);
    for (std::uint32_t frame = 0; frame < 15; ++frame) {
        std::vector<std::int32_t> ramp;
        for (int k = 0; k < 7; ++k) ramp.push_back(static_cast<std::int32_t>(frame * 7 + k));
        link.queue.push_back(rurorade::MakeScopeFrameMessage(frame, 1, ramp));
    }
    EXPECT_EQ(CMC_Comm::CheckForUnrequestedMessages(setup.get()), 15);
    EXPECT_TRUE(scope->DoGracefulStop());
    const auto& points = scope->GetDocument().points;
    ASSERT_EQ(points.size(), 20u);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(points[i][1], 48 + i);
        EXPECT_DOUBLE_EQ(points[i][0], i * 50e-6);
    }
}

// Nobody drains the link: the drive keeps its newest 256 frames, and the first one left tells how
// many went before it.
TEST_F(ScopeTest, FullSendQueueDropsTheOldestFrames)
{
    rurorade::VirtualClock clock;
    drivesim::SimulatedDrive drive(setup.get(), drivesim::DefaultMotor(), clock);
    const char* program = "Ident_R_or_Rs";
    ASSERT_TRUE(drive.SetUserVariable(program, "In1", 2047) && drive.StartProgram(program, program, nullptr));
    ASSERT_TRUE(drive.StartScope({{"IQ"}, 1, 1}));  // a frame every 50 us period
    clock.Advance(50);
    Words message;
    std::vector<std::uint32_t> counters;
    while (drive.PollUnsolicited(message)) counters.push_back(message[3]);
    ASSERT_EQ(counters.size(), 256u);
    EXPECT_GT(drive.DroppedMessages(), 0u);
    EXPECT_EQ(counters.front(), drive.DroppedMessages());
    EXPECT_EQ(counters.back(), counters.front() + 255);
}

TEST_F(ScopeTest, ResetStopsTheDriveAndClearsMer)
{
    rurorade::VirtualClock clock;
    drivesim::SimulatedDrive drive(setup.get(), drivesim::DefaultMotor(), clock);
    const char* program = "Ident_R_or_Rs";
    ASSERT_TRUE(drive.SetUserVariable(program, "In1", 2047) && drive.StartProgram(program, program, nullptr));
    drive.Core().LatchMer(0x0008);
    clock.Advance(50);
    ASSERT_EQ(CMC_Comm::ResetActiveBoard(setup.get()), 1);
    bool on = true;
    ASSERT_TRUE(drive.GetAxisOn(on));
    EXPECT_FALSE(on);
    EXPECT_EQ(drive.Core().Mer(), 0);
}

TEST_F(ScopeTest, ChannelScalesStepAlongOneTwoFive)
{
    for (const auto& [x, scale] : {std::pair{0.2, 0.2}, {0.21, 0.5}, {7.0, 10.0}, {10.0, 10.0}, {0.0, 1.0}, {-3.0, 1.0}})
        EXPECT_DOUBLE_EQ(CMC_ScopeLogger::ScaleAtLeast(x), scale) << x;
    ASSERT_EQ(scope->AddVariable("IQ", 1), 1);
    struct Step {
        double from;
        int step;
        double to;
    };
    for (const Step& s : {Step{1, 1, 2}, {2, 1, 5}, {5, 1, 10}, {1, -1, 0.5}, {0.5, -1, 0.2}, {0.2, -1, 0.1}, {3, 1, 5}, {3, -1, 2}}) {
        ASSERT_EQ(scope->RescaleVariable("IQ", nullptr, s.from, 2 * s.from), 1);
        ASSERT_EQ(scope->ChangeChannelScale(1, s.step), 1);
        EXPECT_DOUBLE_EQ(scope->Channels()[0].scale, s.to) << s.from << " " << s.step;
        EXPECT_DOUBLE_EQ(scope->Channels()[0].offset, 2 * s.to);  // still two divisions
    }
    EXPECT_EQ(scope->ChangeChannelScale(1, 0), 0);
    EXPECT_EQ(scope->ChangeChannelScale(2, 1), 0);
    EXPECT_EQ(scope->ChangeChannelScale(0, 1), 0);
}

TEST_F(ScopeTest, GraphExportsAreWrittenAndReadBack)
{
    CGraphDocument doc;
    doc.channelNames = {"t", "Speed_Reference", "Motor_Current"};
    doc.points = {{0, 0.1 + 0.2, -2}, {5e-5, 1.0 / 3.0, 1e21}, {1e-4, 40, 1638}};
    doc.GetAt(0)->Add({0, 1, 1, 2, 2});
    doc.GetAt(0)->Add({0, 2, 2, 9, 2});
    const std::string base = (dir / "SpeedTuning").string();
    ASSERT_EQ(doc.GetAt(0)->ExportToASCII(base.c_str()), 1);
    const std::string csv = Slurp(base + ".csv");
    EXPECT_EQ(csv, "t,Speed_Reference,Motor_Current\n0,0.30000000000000004,-2\n5e-05,0.3333333333333333,1e+21\n1e-04,40,1638\n");

    // The picture goes through the installed renderer, asked for `base`.svg with this document.
    CGraphWindow window(2, 0);
    window.SetDocument(&doc);
    EXPECT_EQ(window.CreateWMF(base.c_str()), 0);  // no renderer: no picture
    std::vector<std::pair<const CGraphDocument*, std::string>> asked;
    rurorade::SetPlotRenderer([&](const CGraphDocument& d, const std::string& path, std::string*) {
        asked.emplace_back(&d, path);
        return path.find("missing") == std::string::npos;
    });
    EXPECT_EQ(window.CreateWMF(base.c_str()), 1);
    const std::string unwritable = (dir / "missing" / "x").string();
    EXPECT_EQ(window.CreateWMF(unwritable.c_str()), 0);
    rurorade::SetPlotRenderer(nullptr);
    const std::vector<std::pair<const CGraphDocument*, std::string>> expected = {{&doc, base + ".svg"},
                                                                               {&doc, unwritable + ".svg"}};
    EXPECT_EQ(asked, expected);
    EXPECT_EQ(doc.GetAt(0)->ExportToASCII(unwritable.c_str()), 0);
}

TEST_F(ScopeTest, OscilloscopeKeepsABoundedRingPerChannel)
{
    CMC_Oscilloscope plot;
    plot.Init(2);
    EXPECT_EQ(plot.SetChannel(1, 1.2 * -100, -0.2 * -100, 2), 1);
    EXPECT_EQ(plot.SetChannel(3, 0, 1, 5), 0);
    for (std::size_t i = 0; i < CMC_Oscilloscope::kMaxPoints + 5; ++i) plot.AddValue(1, static_cast<double>(i));
    EXPECT_EQ(plot.AddValue(0, 1), 0);
    const CMC_Oscilloscope::Channel* c = plot.GetChannel(1);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->values.size(), CMC_Oscilloscope::kMaxPoints);
    EXPECT_EQ(c->values.front(), 5);
    EXPECT_EQ(c->colour, 2);
    plot.Clear();
    EXPECT_TRUE(plot.GetChannel(1)->values.empty());
    EXPECT_EQ(plot.GetChannel(1)->min, -120);
}

}  // namespace
