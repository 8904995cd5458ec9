#include "help_browser.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace zekqt {
namespace {

struct HelpTopic {
    int context;
    const char* page;
};

// Every help context the module asks for, and its page.
constexpr HelpTopic kTopics[] = {
    {0x40101, "external_reference.html"},   {0x40102, "speed_tuning.html"},
    {0x40103, "position_tuning.html"},      {0x40104, "analogue_reference_test.html"},
    {0x40105, "vdc_detection.html"},        {0x40106, "drive_setup.html"},
    {0x40107, "motor_setup.html"},          {0x40108, "current_tuning.html"},
    {0x4010A, "pole_pairs.html"},           {0x4010B, "phase_connections.html"},
    {0x4010C, "resistance_inductance.html"}, {0x4010D, "encoder_connections.html"},
    {0x4010E, "encoder_resolution.html"},   {0x4010F, "hall_signals.html"},
    {0x40110, "hall_configuration.html"},   {0x40111, "inertia.html"},
    {0x40112, "angle_tuning.html"},         {0x40113, "advanced.html"},
};

bool HasIndex(const QString& dir) { return !dir.isEmpty() && QFileInfo::exists(dir + QStringLiteral("/index.html")); }

}  // namespace

HelpBrowser::HelpBrowser(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("helpBrowser"));
    setWindowTitle(tr("zekhost help"));
    auto* layout = new QVBoxLayout(this);
    m_missing = new QLabel(this);
    m_missing->setWordWrap(true);
    m_missing->hide();
    m_browser = new QTextBrowser(this);
    m_browser->setOpenLinks(true);
    layout->addWidget(m_missing);
    layout->addWidget(m_browser);
    resize(640, 520);
}

QString HelpBrowser::PageFor(int context)
{
    for (const HelpTopic& t : kTopics)
        if (t.context == context) return QString::fromLatin1(t.page);
    return QStringLiteral("index.html");
}

QString HelpBrowser::HelpDirectory()
{
    const QString env = qEnvironmentVariable("ZEK_HELP_DIR");
    if (HasIndex(env)) return env;
    const QString exe = QCoreApplication::applicationDirPath();
    for (const QString& rel : {QStringLiteral("/help"), QStringLiteral("/../share/zekhost/help")})
        if (HasIndex(exe + rel)) return QDir::cleanPath(exe + rel);
    const QString source = QStringLiteral(ZEK_HELP_SOURCE_DIR);
    return HasIndex(source) ? source : QString();
}

void HelpBrowser::ShowContext(int context)
{
    m_page = PageFor(context);
    const QString dir = HelpDirectory();
    if (dir.isEmpty()) {
        m_missing->setText(tr("The help pages were not found (looked in $ZEK_HELP_DIR, beside the program and in %1).")
                               .arg(QStringLiteral(ZEK_HELP_SOURCE_DIR)));
        m_missing->show();
        m_browser->clear();
    } else {
        m_missing->hide();
        m_browser->setSearchPaths({dir});
        m_browser->setSource(QUrl::fromLocalFile(dir + QLatin1Char('/') + m_page));
    }
    show();
    raise();
}

}  // namespace zekqt
