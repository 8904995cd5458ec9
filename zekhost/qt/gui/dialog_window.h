#pragma once
// The window of one view-model dialog: its controls as widgets laid out by group, the tab pages
// of the tuning tests, the drawings where their controls are. The person's actions become
// view-model events; Sync() brings every widget in step with the model.
#include <deque>
#include <map>
#include <string>

#include <QDialog>
#include <QTimer>

#include "control_widgets.h"
#include "drawing_view.h"

class QBoxLayout;
class QGroupBox;
class QHBoxLayout;
class QTabBar;
class QVBoxLayout;

namespace zekqt {

class DialogWindow : public QDialog {
    Q_OBJECT
public:
    DialogWindow(CMC_EditSetupDlg& dialog, EventSink sink, QWidget* parent = nullptr);

    CMC_EditSetupDlg& Dialog() const { return m_dialog; }
    // Creates widgets for controls the model added since, then updates every widget and drawing.
    void Sync();
    // The widget showing control `id` (its drawing when it has one), or null.
    QWidget* ControlWidget(int id) const;
    // The drawing view on control `id`, or null.
    QWidget* DrawingWidget(int id) const;
    QTabBar* TabBar() const { return m_tabs; }
    // The closing the model allows: the window goes without asking again.
    void CloseForGood();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    struct Container {
        QVBoxLayout* rows = nullptr;
        QHBoxLayout* row = nullptr;  // the row being filled
        // Rows of choices without a text of their own, waiting for the labels that follow them.
        std::deque<QHBoxLayout*> waiting;
    };
    void Place(const CMC_Control& control);
    Container& GroupContainer(const std::string& title);
    void AddToRow(Container& container, QWidget* widget, bool newRow);
    void SyncDrawings();
    bool IsTabControl(const CMC_Control& control) const;

    CMC_EditSetupDlg& m_dialog;
    EventSink m_sink;
    bool m_closing = false;
    QVBoxLayout* m_body = nullptr;
    QHBoxLayout* m_statusRow = nullptr;
    QHBoxLayout* m_buttonRow = nullptr;
    QTabBar* m_tabs = nullptr;
    Container m_top;
    QWidget* m_groupGrid = nullptr;  // the grid the last groups went into
    int m_groupsInGrid = 0;
    std::map<std::string, Container> m_groups;
    std::map<std::string, QGroupBox*> m_groupBoxes;
    std::map<int, QWidget*> m_widgets;
    std::map<int, rurorade::ControlKind> m_kinds;
    std::map<int, DrawingView> m_drawings;
    std::map<int, const void*> m_drawingObjects;
    DrawingView m_filterResponse;
    QTimer m_runTimer;  // redraws while a test runs
};

}  // namespace zekqt
