#pragma once
// The help window: a help context number of the module opens its page of docs/help.
#include <QString>
#include <QWidget>

class QLabel;
class QTextBrowser;

namespace zekqt {

class HelpBrowser : public QWidget {
    Q_OBJECT
public:
    explicit HelpBrowser(QWidget* parent = nullptr);

    // The page for a help context ("index.html" for one we do not know).
    static QString PageFor(int context);
    // The folder holding the pages: $ZEK_HELP_DIR, then help/ or ../share/zekhost/help beside the
    // executable, then the source tree's docs/help. Empty when none has index.html.
    static QString HelpDirectory();

    // Shows the page of `context`; says so in the window when the pages are missing.
    void ShowContext(int context);
    QString CurrentPage() const { return m_page; }

private:
    QTextBrowser* m_browser;
    QLabel* m_missing;
    QString m_page;
};

}  // namespace zekqt
