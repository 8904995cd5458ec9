// Drawings a dialog keeps for a front end, and the wall clock of the desktop front end.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>

#include "rurorade/bar_graph.h"
#include "rurorade/encoder_diagram.h"
#include "rurorade/setup_document.h"
#include "rurorade/test_dlg.h"

namespace {

constexpr int kTemplate = 9960;

std::unique_ptr<CMC_Setup> EmptySetup()
{
    std::string error;
    auto setup = rurorade::LoadSetupText(R"({"schema":"zeksetup-1","parameters":{}})", "test", error);
    EXPECT_TRUE(setup) << error;
    return setup;
}

// Closes the dialog at its first event, after `check` has looked at it.
struct OneLook : rurorade::UiDriver {
    std::function<void(CMC_EditSetupDlg&)> check;
    rurorade::UiEvent NextEvent(CMC_EditSetupDlg& top) override
    {
        if (check) check(top);
        return rurorade::UiEvent::Of(rurorade::UiEvent::Quit);
    }
    int AnswerMessageBox(const std::string&, const std::string&, int) override { return rurorade::IDOK; }
};

TEST(DrawingRegistry, KeepsOneDrawingPerControlUntilTheModalRunEnds)
{
    rurorade::RegisterDialogTemplate({kTemplate, "Drawings",
                                      {{20, rurorade::ControlKind::Static, "Graph", ""},
                                       {21, rurorade::ControlKind::Static, "", ""}}});
    auto setup = EmptySetup();
    CMC_EditSetupDlg dlg(setup.get(), kTemplate, 1, nullptr, nullptr);
    CGraphWindow graph(0, 0);
    rurorade::CBarGraph bar;
    CEncoderDiagram encoder;

    EXPECT_EQ(graph.SubclassDlgItem(20, &dlg), 1);
    EXPECT_EQ(bar.SubclassDlgItem(21, &dlg), 1);
    EXPECT_EQ(encoder.SubclassDlgItem(99, &dlg), 0);  // no such control: nothing to draw on
    ASSERT_EQ(dlg.Drawings().size(), 2u);
    EXPECT_EQ(std::get<CGraphWindow*>(dlg.Drawings()[0].object), &graph);

    // Another drawing on control 20 replaces the graph; the bar moved to 20 leaves 21.
    EXPECT_EQ(encoder.SubclassDlgItem(20, &dlg), 1);
    EXPECT_EQ(bar.SubclassDlgItem(20, &dlg), 1);
    ASSERT_EQ(dlg.Drawings().size(), 1u);
    EXPECT_EQ(dlg.Drawings()[0].controlId, 20);
    EXPECT_EQ(std::get<rurorade::CBarGraph*>(dlg.Drawings()[0].object), &bar);

    // Seen by the front end while the dialog is open, forgotten once it has closed.
    OneLook driver;
    std::size_t seen = 0;
    driver.check = [&](CMC_EditSetupDlg& top) { seen = top.Drawings().size(); };
    rurorade::UiContext::Get().SetDriver(&driver);
    dlg.DoModal();
    rurorade::UiContext::Get().SetDriver(nullptr);
    EXPECT_EQ(seen, 1u);
    EXPECT_TRUE(dlg.Drawings().empty());
}

TEST(RealTimeClock, AdvanceWaitsTheWallTimeTheSpeedGives)
{
    using std::chrono::steady_clock;
    struct Case {
        double speed;
        std::int64_t advanceMs;
    };
    for (const Case c : {Case{1, 30}, Case{10, 200}, Case{0, 20} /* not a speed: 1 */}) {
        rurorade::RealTimeClock clock(c.speed);
        const double speed = c.speed > 0 ? c.speed : 1;
        const auto wallStart = steady_clock::now();
        const std::int64_t start = clock.NowMs();
        clock.Advance(c.advanceMs);
        const double wallMs = std::chrono::duration<double, std::milli>(steady_clock::now() - wallStart).count();
        EXPECT_GE(clock.NowMs() - start, c.advanceMs) << "speed " << c.speed;
        EXPECT_GE(wallMs, c.advanceMs / speed - 1) << "speed " << c.speed;
    }
}

}  // namespace
