#include "command_gui.h"

#include <iostream>
#include <memory>

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QSaveFile>

#include "drivesim/simulated_drive.h"
#include "plot_picture.h"
#include "qt_ui_driver.h"
#include "rurorade/script_driver.h"
#include "rurorade/setup_document.h"

namespace zekqt {
namespace {

using zekhost::CommandError;

// The picture of what is on top, written whole or not at all.
bool WriteScreenshot(QWidget* widget, const std::string& path, std::string& error)
{
    if (widget == nullptr) {
        error = "no window is open to take a picture of";
        return false;
    }
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly) || !widget->grab().save(&file, "PNG") || !file.commit()) {
        error = "cannot write " + path + ": " + file.errorString().toStdString();
        return false;
    }
    return true;
}

int RunScripted(zekhost::HostSession& session, const GuiOptions& options, QtUiDriver& driver)
{
    rurorade::ScriptDriver script(std::cout);
    std::string error;
    if (!script.LoadFile(options.scriptPath, error)) throw CommandError{zekhost::kUsage, error};
    bool pictured = false;
    std::string pictureError;
    driver.PlayScript(&script, [&] {
        if (options.screenshotPath.empty()) return;
        QApplication::processEvents();  // lets the windows lay out before the picture
        pictured = WriteScreenshot(driver.TopmostWidget(), options.screenshotPath, pictureError);
    });
    const int result = session.module.EditSetup(session.setup.get());
    const int code = zekhost::EndScriptedEdit(session, result, script, options.scriptPath, options.out);
    if (code != zekhost::kOk) return code;
    if (!options.screenshotPath.empty() && !pictured) {
        std::cerr << "zekhost: --screenshot: " << (pictureError.empty() ? "the script did not run to its end" : pictureError)
                  << "\n";
        return zekhost::kFailure;
    }
    return zekhost::kOk;
}

int RunInteractive(zekhost::HostSession& session, const GuiOptions& options, QtUiDriver& driver)
{
    CMC_Setup& setup = *session.setup;
    std::string saved = rurorade::SaveSetupText(setup);
    driver.SetCloseGuard([&] {
        if (rurorade::SaveSetupText(setup) == saved) return true;
        return QMessageBox::question(driver.TopWindow(), QStringLiteral("zekhost"),
                                     QStringLiteral("The setup has changes that are not saved. Discard them?"),
                                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    });
    std::string path = !options.out.empty() ? options.out : session.inputPath;
    for (;;) {
        if (session.module.EditSetup(&setup) != rurorade::IDOK) return zekhost::kOk;
        if (path.empty()) {
            path = QFileDialog::getSaveFileName(nullptr, QStringLiteral("Save the setup"), QString(),
                                                QStringLiteral("Setup documents (*.json);;All files (*)"))
                       .toStdString();
            if (path.empty()) continue;  // no file chosen: back to the editor, changes kept
        }
        try {
            zekhost::WriteSetup(setup, path, session.inputPath);
            saved = rurorade::SaveSetupText(setup);
            std::cout << "saved " << path << "\n";
            return zekhost::kOk;
        } catch (const CommandError& e) {
            QMessageBox::critical(nullptr, QStringLiteral("zekhost"),
                                  QStringLiteral("The setup was not saved; the file keeps what it had.\n\n%1")
                                      .arg(QString::fromStdString(e.message)));
            if (options.out.empty() && session.inputPath.empty()) path.clear();
        }
    }
}

}  // namespace

int RunGui(zekhost::HostSession& session, const GuiOptions& options)
{
    if (!options.screenshotPath.empty() && options.scriptPath.empty())
        throw CommandError{zekhost::kUsage, "--screenshot needs --script"};
    // A script plays without a screen.
    if (!options.scriptPath.empty() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    EnsureGuiApplication();
    QApplication::setQuitOnLastWindowClosed(false);
    InstallPlotRenderer();

    // A script runs on virtual time, as `zekhost edit --script` does; a person on the wall clock.
    rurorade::VirtualClock virtualClock;
    rurorade::RealTimeClock realClock(options.speed);
    rurorade::Clock& clock = options.scriptPath.empty() ? static_cast<rurorade::Clock&>(realClock) : virtualClock;
    std::unique_ptr<drivesim::SimulatedDrive> drive;
    if (options.simulate || options.simulation.Requested()) drive = AttachSimulatedDrive(session, options.simulation, clock);

    QtUiDriver driver;
    rurorade::UiContext& ui = rurorade::UiContext::Get();
    ui.SetClock(&clock);
    ui.SetDriver(&driver);
    struct Restore {
        ~Restore()
        {
            rurorade::UiContext::Get().SetDriver(nullptr);
            rurorade::UiContext::Get().SetClock(nullptr);
        }
    } restore;
    std::unique_ptr<QTimer> pacer;
    if (drive && options.scriptPath.empty()) pacer = PaceDrive(*drive);
    const int code = options.scriptPath.empty() ? RunInteractive(session, options, driver) : RunScripted(session, options, driver);
    session.setup->SetDriveLink(nullptr);
    return code;
}

std::unique_ptr<QTimer> PaceDrive(drivesim::SimulatedDrive& drive, int ms)
{
    auto timer = std::make_unique<QTimer>();
    QObject::connect(timer.get(), &QTimer::timeout, [&drive] { drive.CatchUp(); });
    timer->start(ms);
    return timer;
}

}  // namespace zekqt
