#include "plot_picture.h"

#include <QApplication>
#include <QBuffer>
#include <QByteArray>
#include <QGraphicsScene>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <cctype>

#include "filter_response_view.h"
#include "graph_chart.h"
#include "rurorade/plot_renderer.h"

namespace zekqt {

namespace {

std::string Extension(const std::string& path)
{
    const std::size_t dot = path.find_last_of('.');
    const std::size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

bool Fail(std::string* error, const std::string& message)
{
    if (error != nullptr) *error = message;
    return false;
}

// Drops the offscreen platform's notes that say nothing to a person (no runtime folder, no window
// manager hints); everything else goes where Qt sends it.
QtMessageHandler previous = nullptr;

void QuietOffscreenNotes(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")) ||
        message.startsWith(QLatin1String("This plugin does not support")))
        return;
    if (previous != nullptr) return previous(type, context, message);
    const QByteArray text = message.toLocal8Bit();
    std::fprintf(stderr, "%s\n", text.constData());
}

}  // namespace

void EnsureGuiApplication()
{
    if (QCoreApplication::instance() != nullptr) return;
    previous = qInstallMessageHandler(QuietOffscreenNotes);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "zekhost";
    static char* argv[] = {name, nullptr};
    static QApplication* application = new QApplication(argc, argv);  // lives as long as the process
    (void)application;
}

namespace {

// "" when `path` names a picture this component writes at that size; else why not.
std::string PictureProblem(const std::string& path, int width, int height)
{
    const std::string ext = Extension(path);
    if (ext != ".png" && ext != ".svg") return "cannot write " + path + ": a picture is .png or .svg";
    if (width <= 0 || height <= 0) return "cannot write " + path + ": empty picture size";
    return "";
}

// Paints a width x height picture as PNG (on white) or SVG, by the path's extension, and writes it
// whole or not at all. "" when written; else why not.
std::string WritePicture(const std::string& path, int width, int height, const std::function<void(QPainter&)>& paint)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (Extension(path) == ".png") {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        paint(painter);
        painter.end();
        if (!image.save(&buffer, "PNG")) return "cannot encode " + path;
    } else {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(QSize(width, height));
        svg.setViewBox(QRect(0, 0, width, height));
        QPainter painter(&svg);
        paint(painter);
        painter.end();
    }
    if (!rurorade::WriteFileAtomically(path, std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()))))
        return "cannot write " + path;
    return "";
}

}  // namespace

bool RenderGraphPicture(const CGraphDocument& doc, const std::string& path, std::string* error, int width, int height)
{
    if (const std::string problem = PictureProblem(path, width, height); !problem.empty()) return Fail(error, problem);
    EnsureGuiApplication();
    QGraphicsScene scene;
    auto* chart = new GraphChart;  // owned by the scene
    scene.addItem(chart);
    chart->setGeometry(0, 0, width, height);
    chart->Show(&doc);
    QCoreApplication::processEvents();  // lets the chart lay out its axes and legend
    const QRectF area(0, 0, width, height);
    const std::string written = WritePicture(path, width, height, [&](QPainter& p) { scene.render(&p, area, area); });
    return written.empty() || Fail(error, written);
}

std::string RenderFilterResponsePicture(CMC_Setup* setup, const std::string& path, int width, int height)
{
    if (std::string problem = PictureProblem(path, width, height); !problem.empty()) return problem;
    EnsureGuiApplication();
    FilterResponseModel model;
    model.Update(setup);
    if (model.Curves().empty()) return model.Message().empty() ? "no filter is on" : model.Message();

    FilterResponseView view(setup);
    view.setAttribute(Qt::WA_DontShowOnScreen);
    view.resize(width, height);
    view.Refresh();
    view.show();
    QCoreApplication::processEvents();  // lets the charts lay out their axes and legends
    return WritePicture(path, width, height, [&](QPainter& p) { view.render(&p); });
}

void InstallPlotRenderer()
{
    rurorade::SetPlotRenderer([](const CGraphDocument& doc, const std::string& path, std::string* error) {
        return RenderGraphPicture(doc, path, error);
    });
}

}  // namespace zekqt
