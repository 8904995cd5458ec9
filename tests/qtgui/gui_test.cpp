// The desktop front end against the real module: windows drawn from the dialog view models,
// widget actions reaching the setup, the tuning graph, help pages.
#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QLineEdit>
#include <QRegularExpression>
#include <QtTest>

#include <memory>
#include <sstream>

#include "checking_driver.h"
#include "command_gui.h"
#include "commands.h"
#include "drivesim/simulated_drive.h"
#include "graph_view.h"
#include "module/engine_api.h"
#include "rurorade/host_errors.h"
#include "rurorade/script_driver.h"

using namespace zekqt;

namespace {

// The default setup and module, a virtual clock, the driver under test installed.
struct Bench {
    zekhost::HostSession session;
    rurorade::VirtualClock clock;
    std::unique_ptr<drivesim::SimulatedDrive> drive;
    CheckingDriver driver;

    explicit Bench(bool simulate)
    {
        zekhost::OpenSession(session, "default", {});
        if (simulate) drive = zekhost::AttachSimulatedDrive(session, {}, clock);
        rurorade::UiContext::Get().SetClock(&clock);
        rurorade::UiContext::Get().SetDriver(&driver);
    }
    ~Bench()
    {
        rurorade::UiContext::Get().SetDriver(nullptr);
        rurorade::UiContext::Get().SetClock(nullptr);
        session.setup->SetDriveLink(nullptr);
    }
    double Param(const char* name) const
    {
        const rurorade::QuietLookups quiet;
        CMC_Parameter* p = session.setup->FindParameter(name);
        return p ? p->GetValueInBaseUnit() : -12345.0;
    }
};

QString ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

void Type(DialogWindow& window, int id, const QString& text)
{
    auto* edit = qobject_cast<QLineEdit*>(window.ControlWidget(id));
    QVERIFY(edit != nullptr);
    edit->selectAll();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
}

void Press(DialogWindow& window, int id)
{
    auto* button = qobject_cast<QAbstractButton*>(window.ControlWidget(id));
    QVERIFY(button != nullptr);
    // On the indicator's side: a check or radio only takes clicks on its box and text.
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

// Drive Setup controls (template 106) and the Motor Setup dialog (108) that opens by itself.
constexpr int kDriveSetup = 106, kMotorSetup = 108;
constexpr int kVdcEdit = 3163, kSpeedModeRadio = 1060, kSpeedKpEdit = 3179, kPositionKpEdit = 3190;

}  // namespace

class GuiTest : public QObject {
    Q_OBJECT
private slots:
    void scriptedDialogsRenderAsTheModelSays_data();
    void scriptedDialogsRenderAsTheModelSays();
    void widgetEditReachesTheSetupAndCancelRestoresIt();
    void timersRunOnTheWallClockWhileThePersonThinks();
    void theDriveKeepsUpWhileNobodyCalls();
    void currentTuningRunPlotsTheLoggedCurves();
    void everyHelpContextHasItsPage();
    void okSavesAndAFailedSaveOrUnsavedChangesAsk();
};

void GuiTest::scriptedDialogsRenderAsTheModelSays_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("simulate");
    QTest::addColumn<QList<int>>("dialogs");
    QTest::addColumn<QString>("helpPage");
    QTest::newRow("every dialog") << "every_dialog.zek" << true << QList<int>{106, 108, 290, 110, 3018, 111, 105, 103} << "";
    // Every test dialog of the journey, running: frames, pages, graphs and diagrams as the model says.
    QTest::newRow("commission") << "commission.zek" << true << QList<int>{106, 108, 288, 290, 101, 103, 3041} << "";
    QTest::newRow("speed mode gain") << "speed_mode_gain.zek" << false << QList<int>{106, 108} << "";
    QTest::newRow("axis id and help") << "axis_id_and_help.zek" << false << QList<int>{106} << "drive_setup.html";
}

void GuiTest::scriptedDialogsRenderAsTheModelSays()
{
    QFETCH(QString, script);
    QFETCH(bool, simulate);
    QFETCH(QList<int>, dialogs);
    QFETCH(QString, helpPage);
    Bench bench(simulate);
    std::ostringstream trace;
    rurorade::ScriptDriver player(trace);
    std::string error;
    QVERIFY2(player.LoadFile(std::string(ZEK_SCRIPTS_DIR "/") + script.toStdString(), error), error.c_str());
    bench.driver.PlayScript(&player);
    bench.session.module.EditSetup(bench.session.setup.get());
    QVERIFY2(player.Failure().empty(), (player.Failure() + "\n" + trace.str()).c_str());
    QVERIFY(player.RanToEnd());
    const auto& mismatches = bench.driver.Mismatches();
    QVERIFY2(mismatches.empty(), mismatches.empty() ? "" : mismatches.front().c_str());
    for (int id : dialogs) QVERIFY2(bench.driver.DialogsChecked().count(id), qPrintable(QString("dialog %1 not shown").arg(id)));
    QCOMPARE(bench.driver.LastHelpPage(), helpPage);
}

void GuiTest::widgetEditReachesTheSetupAndCancelRestoresIt()
{
    Bench bench(false);
    const double vdc = bench.Param("Vdc"), mode = bench.Param("ControlMode");
    QCOMPARE(vdc, 48.0);  // setups/default.json
    CheckingDriver& d = bench.driver;
    d.AddStep(kMotorSetup, [](DialogWindow& w) { Press(w, rurorade::IDOK); });
    d.AddStep(kDriveSetup, [](DialogWindow& w) { Type(w, kVdcEdit, "60"); });
    d.AddStep(kDriveSetup, [&](DialogWindow& w) {
        QCOMPARE(bench.Param("Vdc"), 60.0);
        Press(w, kSpeedModeRadio);
    });
    d.AddStep(kDriveSetup, [&](DialogWindow& w) {
        // Speed control: its gains open, the position loop's close (the model's rule, seen in the widgets).
        QCOMPARE(bench.Param("ControlMode"), 1.0);
        QVERIFY(w.ControlWidget(kSpeedKpEdit)->isEnabled());
        QVERIFY(!w.ControlWidget(kPositionKpEdit)->isEnabled());
        w.close();  // the X: Cancel
    });
    QCOMPARE(bench.session.module.EditSetup(bench.session.setup.get()), 0);  // not kept
    QVERIFY(d.StepsDone());
    QCOMPARE(bench.Param("Vdc"), vdc);
    QCOMPARE(bench.Param("ControlMode"), mode);

    // Opened again, the widget shows the restored value.
    CheckingDriver again;
    rurorade::UiContext::Get().SetDriver(&again);
    again.AddStep(kMotorSetup, [](DialogWindow& w) { Press(w, rurorade::IDOK); });
    again.AddStep(kDriveSetup, [](DialogWindow& w) {
        QCOMPARE(qobject_cast<QLineEdit*>(w.ControlWidget(kVdcEdit))->text(), QString("48"));
        // The labels after the external reference's two bare choices stand beside them, in turn.
        for (const auto& [radio, label] : {std::pair{3290, 3262}, {3291, 3318}}) {
            const QWidget* r = w.ControlWidget(radio);
            const QWidget* l = w.ControlWidget(label);
            QVERIFY(r && l && r->parentWidget() == l->parentWidget());
            QCOMPARE(r->geometry().center().y(), l->geometry().center().y());
            QVERIFY(r->geometry().right() < l->geometry().left());
        }
        w.close();
    });
    bench.session.module.EditSetup(bench.session.setup.get());
    QVERIFY(again.StepsDone());
    QVERIFY2(d.Mismatches().empty() && again.Mismatches().empty(),
             d.Mismatches().empty() ? "" : d.Mismatches().front().c_str());
}

void GuiTest::timersRunOnTheWallClockWhileThePersonThinks()
{
    Bench bench(false);
    rurorade::RealTimeClock wall(20);  // 20 dialog ms per wall ms
    rurorade::UiContext::Get().SetClock(&wall);
    const std::int64_t start = wall.NowMs();
    std::int64_t opened = -1;
    // Nobody acts in the Drive Setup dialog: its timer opens the Motor Setup dialog after 100 ms.
    bench.driver.AddStep(kMotorSetup, [&](DialogWindow& w) {
        opened = wall.NowMs() - start;
        Press(w, rurorade::IDOK);
    });
    bench.driver.AddStep(kDriveSetup, [](DialogWindow& w) { w.close(); });
    bench.session.module.EditSetup(bench.session.setup.get());
    QVERIFY(bench.driver.StepsDone());
    QVERIFY2(opened >= 100, qPrintable(QString::number(opened)));
}

void GuiTest::theDriveKeepsUpWhileNobodyCalls()
{
    zekhost::HostSession session;
    zekhost::OpenSession(session, "default", {});
    rurorade::RealTimeClock wall(20);
    auto drive = zekhost::AttachSimulatedDrive(session, {}, wall);
    const double attached = drive->SteppedSeconds();
    QTest::qWait(100);
    QCOMPARE(drive->SteppedSeconds(), attached);  // nobody asked
    const auto pacer = PaceDrive(*drive, 10);
    QTest::qWait(200);
    QVERIFY2(drive->SteppedSeconds() > attached + 5.0, qPrintable(QString::number(drive->SteppedSeconds())));
    session.setup->SetDriveLink(nullptr);
}

void GuiTest::currentTuningRunPlotsTheLoggedCurves()
{
    Bench bench(true);
    using GetApi = const zekmod::EngineApi* (*)();
    auto get = reinterpret_cast<GetApi>(bench.session.module.FindSymbol(zekmod::kEngineApiSymbol));
    QVERIFY(get != nullptr);
    std::ostringstream trace;
    rurorade::ScriptDriver player(trace);
    std::string error;
    // The "Test" page, Tune, Start, and the run's end.
    QVERIFY(player.LoadText("select 1300 1\nclick 3149\nclick 10000\nwait 5000\nexpect-text 10001 \"Test succeeded\"\n",
                            "current", error));
    int curvesChecked = 0;
    std::size_t rows = 0;
    bench.driver.PlayScript(&player, [&] {
        CMC_EditSetupDlg* dlg = rurorade::UiContext::Get().Topmost();
        DialogWindow* window = bench.driver.Window(*dlg);
        QVERIFY(window != nullptr);
        window->Sync();
        for (const CMC_EditSetupDlg::Drawing& drawing : dlg->Drawings()) {
            auto* graph = std::get_if<CGraphWindow*>(&drawing.object);
            if (graph == nullptr) continue;
            auto* view = dynamic_cast<GraphView*>(window->DrawingWidget(drawing.controlId));
            QVERIFY(view != nullptr);
            CGraphDocument* doc = (*graph)->GetDocument();
            rows = doc->points.size();
            const auto& curves = doc->GetAt(0)->Curves();
            const auto& lines = view->Chart()->Lines();
            QCOMPARE(lines.size(), curves.size());
            for (std::size_t i = 0; i < curves.size(); ++i) {
                const QList<QPointF> points = lines[i]->points();
                QCOMPARE(static_cast<std::size_t>(points.size()), doc->points.size());
                for (std::size_t r = 0; r < doc->points.size(); ++r) {
                    QCOMPARE(points[static_cast<qsizetype>(r)].x(), doc->points[r][static_cast<std::size_t>(curves[i].xChannel)]);
                    QCOMPARE(points[static_cast<qsizetype>(r)].y(), doc->points[r][static_cast<std::size_t>(curves[i].yChannel)]);
                }
                ++curvesChecked;
            }
        }
    });
    get()->RunCommissioningTest(bench.session.setup.get(), "current");
    QVERIFY2(player.Failure().empty(), (player.Failure() + "\n" + trace.str()).c_str());
    QCOMPARE(curvesChecked, 3);  // reference, measured current, voltage
    QVERIFY(rows > 10);
}

void GuiTest::everyHelpContextHasItsPage()
{
    const QString dir = HelpBrowser::HelpDirectory();
    QVERIFY(!dir.isEmpty());
    const QString index = ReadFile(dir + "/index.html");
    // The topics of the module's dialogs and tests, 0x40101..0x40113 (0x40109 is not used).
    QSet<QString> pages;
    for (int context = 0x40101; context <= 0x40113; ++context) {
        const QString page = HelpBrowser::PageFor(context);
        if (context == 0x40109) {
            QCOMPARE(page, QString("index.html"));
            continue;
        }
        QVERIFY2(page != "index.html", qPrintable(QString::number(context, 16)));
        QVERIFY2(!ReadFile(dir + "/" + page).isEmpty(), qPrintable(page));
        QVERIFY2(index.contains("href=\"" + page + "\""), qPrintable(page));
        pages.insert(page);
    }
    QCOMPARE(pages.size(), 18);
    QCOMPARE(HelpBrowser::PageFor(0), QString("index.html"));
}

namespace {

// A person at the real windows: on each look, acts on what is on top (a message box, else the
// topmost editor window) and notes the message boxes' texts.
struct Person {
    QStringList boxes;
    int editorVisits = 0;

    void Look()
    {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            if (!boxes.isEmpty() && boxes.back() == box->text()) return;  // answered, still closing
            boxes << box->text();
            box->button(box->text().contains("Discard") ? QMessageBox::Yes : QMessageBox::Ok)->click();
            return;
        }
        DialogWindow* top = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<DialogWindow*>(w); d != nullptr && d->isVisible())
                if (top == nullptr || d->Dialog().GetTemplateId() == kMotorSetup) top = d;
        if (top == nullptr) return;
        if (top->Dialog().GetTemplateId() == kMotorSetup) return Press(*top, rurorade::IDOK);
        if (++editorVisits == 1) {
            Type(*top, kVdcEdit, "50");
            return Press(*top, rurorade::IDOK);
        }
        top->close();  // the window's X, with the change not saved
    }
};

}  // namespace

// OK writes the setup to its file; a save that fails says so and goes back to the editor, and
// closing with the change unsaved asks before it is dropped.
void GuiTest::okSavesAndAFailedSaveOrUnsavedChangesAsk()
{
    QTemporaryDir dir;
    for (const bool writable : {false, true}) {
        zekhost::HostSession session;
        zekhost::OpenSession(session, "default", {});
        GuiOptions options;
        options.out = (writable ? dir.path() + "/saved.json" : dir.path() + "/missing/saved.json").toStdString();
        Person person;
        QTimer look;
        QObject::connect(&look, &QTimer::timeout, [&] { person.Look(); });
        look.start(20);
        QCOMPARE(RunGui(session, options), zekhost::kOk);
        look.stop();
        if (writable) {
            QVERIFY(person.boxes.isEmpty());
            QVERIFY(ReadFile(QString::fromStdString(options.out)).contains(QRegularExpression("\"Vdc\": \\{\\s*\"value\": 50")));
        } else {
            QCOMPARE(person.boxes.size(), 2);
            QVERIFY(person.boxes[0].contains("not saved"));
            QVERIFY(person.boxes[0].contains(QString::fromStdString(options.out)));
            QVERIFY(person.boxes[1].contains("Discard"));
            QVERIFY(!QFile::exists(QString::fromStdString(options.out)));
        }
    }
}

QTEST_MAIN(GuiTest)
#include "gui_test.moc"
