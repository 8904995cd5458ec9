// The Qt drawings: pictures of a graph document, the graph view's lines, the filter response.
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <complex>
#include <fstream>
#include <sstream>
#include <string>

#include "filter_response_view.h"
#include "graph_view.h"
#include "plot_picture.h"
#include "rurorade/setup_document.h"

namespace {

// Two curves: palette 9 (0x0000FF) on the left axis, palette 12 (0xFF0000) on the right one, both
// flat for most of the time so that their lines cross the picture.
CGraphDocument TwoCurves()
{
    CGraphDocument doc;
    doc.channelNames = {"t", "Speed_Reference", "Motor_Current"};
    for (int i = 0; i < 50; ++i) doc.points.push_back({i * 1e-3, i < 5 ? 0.0 : 1.0, i < 5 ? 0.0 : -2.0});
    doc.GetAt(0)->Add({0, 1, 1, 9, 2});
    doc.GetAt(0)->Add({0, 2, 2, 12, 2});
    return doc;
}

std::string Slurp(const QString& path)
{
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void ExpectLinesHoldRows(zekqt::GraphChart* chart, const CGraphDocument& doc)
{
    QCOMPARE(chart->Lines().size(), doc.GetAt(0)->Curves().size());
    for (std::size_t c = 0; c < chart->Lines().size(); ++c) {
        const CXYCurve& curve = doc.GetAt(0)->Curves()[c];
        const QList<QPointF> points = chart->Lines()[c]->points();
        QCOMPARE(points.size(), static_cast<qsizetype>(doc.points.size()));
        for (std::size_t r = 0; r < doc.points.size(); ++r) {
            QCOMPARE(points[static_cast<qsizetype>(r)].x(), doc.points[r][static_cast<std::size_t>(curve.xChannel)]);
            QCOMPARE(points[static_cast<qsizetype>(r)].y(), doc.points[r][static_cast<std::size_t>(curve.yChannel)]);
        }
    }
}

// A second-order low pass at 100 Hz, Q 0.7071, in the speed loop at 125 us: the drive's registers are
// B0..A2 = 1568001, 3136004, 1568002, -2028332802, 960862985 with SF 2, i.e. units of 2 / 2^31.
std::complex<double> DriveSection(double hz)
{
    const double unit = 2.0 / 2147483648.0;
    const double b0 = 1568001 * unit, b1 = 3136004 * unit, b2 = 1568002 * unit;
    const double a1 = -2028332802 * unit, a2 = 960862985 * unit;
    const std::complex<double> z1 = std::polar(1.0, -2 * 3.141592653589793 * hz * 125e-6);
    return (b0 + b1 * z1 + b2 * z1 * z1) / (1.0 + a1 * z1 + a2 * z1 * z1);
}

// Filter 2 on (by default a second-order low pass at 100 Hz, Q 0.7071), in the speed loop at 125 us.
std::unique_ptr<CMC_Setup> FilterSetup(const std::string& type = "1", const std::string& q = "0.7071",
                                       const std::string& f1 = "100")
{
    std::string parameters = R"("Ts_S": {"value": 125e-6})";
    for (int n = 1; n <= 3; ++n) {
        const std::string i = std::to_string(n);
        parameters += ",\"BQFilter" + i + "\": {\"value\": " + (n == 2 ? "1" : "0") + "}, \"BQFilterType" + i +
                      "\": {\"value\": " + type + "}, \"BQFilterQ" + i + "\": {\"value\": " + q +
                      "}, \"BQFilterF1" + i + "\": {\"value\": " + f1 + "}, \"BQFilterF2" + i + "\": {\"value\": 200}";
    }
    std::string error;
    auto setup = rurorade::LoadSetupText(R"({"schema":"zeksetup-1","parameters":{)" + parameters + "}}", "filters", error);
    if (!setup) qWarning() << error.c_str();
    return setup;
}

}  // namespace

class QtPlotTest : public QObject {
    Q_OBJECT

private slots:
    void PicturesShowBothCurvesInTheirColours()
    {
        QTemporaryDir dir;
        const CGraphDocument doc = TwoCurves();
        const QString png = dir.filePath("plot.png"), svg = dir.filePath("plot.svg");
        std::string error;
        QVERIFY(zekqt::RenderGraphPicture(doc, png.toStdString(), &error));
        QImage image(png);
        QCOMPARE(image.size(), QSize(900, 500));
        int blue = 0, red = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QRgb p = image.pixel(x, y) & 0xFFFFFF;
                blue += p == 0x0000FF;
                red += p == 0xFF0000;
            }
        // Lines across the picture, not just the legend's markers.
        QVERIFY2(blue > 400 && red > 400, qPrintable(QString("%1 blue, %2 red").arg(blue).arg(red)));

        QVERIFY(zekqt::RenderGraphPicture(doc, svg.toStdString(), &error));
        const QString text = QString::fromStdString(Slurp(svg)).toLower();
        QVERIFY(text.startsWith("<?xml") && text.contains("</svg>"));
        QVERIFY(text.contains("#0000ff") && text.contains("#ff0000"));
    }

    void PictureFailuresLeaveNoFile()
    {
        QTemporaryDir dir;
        const CGraphDocument doc = TwoCurves();
        for (const QString& path : {dir.filePath("plot.bmp"), dir.filePath("plot"), dir.filePath("missing/plot.png")}) {
            std::string error;
            QVERIFY(!zekqt::RenderGraphPicture(doc, path.toStdString(), &error));
            QVERIFY(error.find(path.toStdString()) != std::string::npos);
        }
        QVERIFY(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    }

    void GraphViewLinesFollowTheDocument()
    {
        CGraphDocument doc = TwoCurves();
        CGraphWindow window(2, 0);
        zekqt::GraphView view(&window);
        QVERIFY(view.Chart()->Lines().empty());  // no document yet
        view.resize(640, 400);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        window.SetDocument(&doc);
        view.Refresh();
        ExpectLinesHoldRows(view.Chart(), doc);
        const std::vector<QLineSeries*> lines = view.Chart()->Lines();

        auto* x = qobject_cast<QValueAxis*>(view.Chart()->axes(Qt::Horizontal).value(0));
        QVERIFY(x != nullptr);
        QCOMPARE(x->max(), 0.049);

        // Live drawing: points arrive, the same lines grow, the axes take them in.
        for (int i = 50; i < 3000; ++i) doc.points.push_back({i * 1e-3, 3.0, -7.0});
        view.Refresh();
        ExpectLinesHoldRows(view.Chart(), doc);
        QVERIFY(view.Chart()->Lines() == lines);
        QVERIFY(x->min() <= 0 && x->max() >= 2.999);

        // A new run with fewer points, rewritten in place, and a zoom that stays until zoomed out.
        doc.points.resize(10);
        doc.points[3][1] = 42;
        view.Refresh();
        ExpectLinesHoldRows(view.Chart(), doc);
        QCOMPARE(x->max(), 0.009);
        view.Chart()->zoomIn(QRectF(100, 100, 50, 50));
        QVERIFY(view.Chart()->IsZoomedByUser());
        const double zoomedMax = x->max();
        doc.points.push_back({5.0, 1.0, 1.0});
        view.Refresh();
        QCOMPARE(x->max(), zoomedMax);
        view.ZoomOut();
        QVERIFY(!view.Chart()->IsZoomedByUser());
        QCOMPARE(x->max(), 5.0);

        window.SetDocument(nullptr);
        view.Refresh();
        QVERIFY(view.Chart()->Lines().empty());
    }

    void FilterResponseShowsTheDrivesQuantisedSection()
    {
        auto setup = FilterSetup();
        QVERIFY(setup);
        zekqt::FilterResponseView view(setup.get());
        QVERIFY(view.Curve(1, true).empty() && view.Curve(3, false).empty());  // filters that are off
        const std::vector<zekqt::ResponsePoint> drive = view.Curve(2, true), design = view.Curve(2, false);
        QVERIFY(drive.size() > 100 && drive.size() == design.size());
        QVERIFY(drive.back().hz < 4000.0 && drive.back().hz > 3900.0);  // up to Nyquist at 125 us
        for (std::size_t i = 0; i < drive.size(); i += 37) {
            const std::complex<double> h = DriveSection(drive[i].hz);
            QVERIFY(std::fabs(drive[i].db - 20 * std::log10(std::abs(h))) < 1e-9);
            QVERIFY(std::fabs(drive[i].deg - std::arg(h) * 180 / 3.141592653589793) < 1e-9);
            // The design is the same low pass but for the rounding.
            QVERIFY(std::fabs(design[i].db - drive[i].db) < 0.01);
        }
        // The rounded registers keep the gain at low frequencies.
        QVERIFY(std::fabs(drive.front().db) < 1e-3);
        setup->SetParameterValueInBaseUnit("BQFilter2", 0);
        view.Refresh();
        QVERIFY(view.Curve(2, true).empty());
    }

    // A notch of Q 10 at 300 Hz has no gain at all at 300 Hz, a few per cent from the nearest point
    // of the logarithmic grid: its curve must still reach down there.
    void FilterResponseShowsANotchsDepth()
    {
        auto setup = FilterSetup("2", "10", "300");
        QVERIFY(setup);
        zekqt::FilterResponseView view(setup.get());
        for (bool quantised : {false, true}) {
            const std::vector<zekqt::ResponsePoint> curve = view.Curve(2, quantised);
            QVERIFY(!curve.empty());
            const auto deepest = std::min_element(curve.begin(), curve.end(), [](auto& a, auto& b) { return a.db < b.db; });
            QVERIFY2(deepest->db < -40, qPrintable(QString::number(deepest->db)));
            QVERIFY2(std::fabs(deepest->hz / 300 - 1) < 1e-3, qPrintable(QString::number(deepest->hz)));
        }
    }
};

int main(int argc, char** argv)
{
    zekqt::EnsureGuiApplication();
    QtPlotTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "qtplot_test.moc"
