#include "dialog_window.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLabel>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTabBar>
#include <QVBoxLayout>

#include "rurorade/test_dlg.h"

namespace zekqt {
namespace {

// Asks for room for all it holds, so a dialog opens whole where the screen allows it and scrolls
// only where it does not.
class FittingScrollArea : public QScrollArea {
public:
    QSize sizeHint() const override
    {
        if (widget() == nullptr) return QScrollArea::sizeHint();
        const int frame = 2 * frameWidth();
        return widget()->sizeHint() + QSize(frame + verticalScrollBar()->sizeHint().width(), frame);
    }
};


using rurorade::ControlKind;
using rurorade::UiEvent;

constexpr int kGroupColumns = 3;
constexpr int kRunRefreshMs = 100;
constexpr int kFiltersTemplateId = 3072;  // the Filters dialog shows its response beside its controls

const void* ObjectOf(const CMC_EditSetupDlg::Drawing& drawing)
{
    return std::visit([](auto* object) { return static_cast<const void*>(object); }, drawing.object);
}

bool IsDialogButton(const CMC_Control& c)
{
    return c.kind == ControlKind::Button && (c.id == rurorade::IDOK || c.id == rurorade::IDCANCEL || c.text == "Help");
}

bool IsTestFrame(const CMC_EditSetupDlg& dialog, int id)
{
    return dynamic_cast<const CMC_TestDlg*>(&dialog) != nullptr && id >= CMC_TestDlg::kStartStopId &&
           id <= CMC_TestDlg::kDetailsId;
}

}  // namespace

DialogWindow::DialogWindow(CMC_EditSetupDlg& dialog, EventSink sink, QWidget* parent)
    : QDialog(parent), m_dialog(dialog), m_sink(std::move(sink))
{
    setObjectName(QStringLiteral("dialog%1").arg(dialog.GetTemplateId()));
    setWindowTitle(QString::fromStdString(dialog.GetTitle()));
    setModal(true);
    auto* main = new QVBoxLayout(this);
    setMinimumWidth(480);
    auto* middle = new QHBoxLayout;
    m_body = new QVBoxLayout;
    m_top.rows = m_body;
    auto* content = new QWidget;
    content->setLayout(m_body);
    auto* scroll = new FittingScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(content);
    middle->addWidget(scroll, 1);
    main->addLayout(middle, 1);
    m_statusRow = new QHBoxLayout;
    m_buttonRow = new QHBoxLayout;
    m_buttonRow->addStretch(1);
    main->addLayout(m_statusRow);
    main->addLayout(m_buttonRow);
    if (dialog.GetTemplateId() == kFiltersTemplateId) {
        m_filterResponse = CreateFilterResponseView(dialog.GetSetup(), this);
        if (m_filterResponse.widget) {
            m_filterResponse.widget->setMinimumSize(480, 420);
            middle->addWidget(m_filterResponse.widget, 1);
        }
    }
    // The hidden chord that unlocks an intelligent motor's data and the drive's fields.
    auto* chord = new QShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::Key_E), this);
    connect(chord, &QShortcut::activated, this, [this] { m_sink(UiEvent::Of(UiEvent::Chord)); });
    m_runTimer.setInterval(kRunRefreshMs);
    connect(&m_runTimer, &QTimer::timeout, this, [this] {
        const auto* test = dynamic_cast<const CMC_TestDlg*>(&m_dialog);
        if (test && test->m_bTestRunning) Sync();
    });
    m_runTimer.start();
}

bool DialogWindow::IsTabControl(const CMC_Control& control) const
{
    return control.id == CMC_TestDlg::kTabId && control.kind == ControlKind::Combo &&
           dynamic_cast<const CMC_TestDlg*>(&m_dialog) != nullptr;
}

DialogWindow::Container& DialogWindow::GroupContainer(const std::string& title)
{
    auto found = m_groups.find(title);
    if (found != m_groups.end()) return found->second;
    // Groups that follow each other share a grid, kGroupColumns wide.
    if (m_groupGrid == nullptr || m_body->indexOf(m_groupGrid) != m_body->count() - 1) {
        m_groupGrid = new QWidget(this);
        auto* grid = new QGridLayout(m_groupGrid);
        grid->setContentsMargins(0, 0, 0, 0);
        m_body->addWidget(m_groupGrid);
        m_groupsInGrid = 0;
        m_top.row = nullptr;
    }
    auto* box = new QGroupBox(LabelText(title), m_groupGrid);
    auto* grid = static_cast<QGridLayout*>(m_groupGrid->layout());
    grid->addWidget(box, m_groupsInGrid / kGroupColumns, m_groupsInGrid % kGroupColumns, Qt::AlignTop);
    ++m_groupsInGrid;
    Container& container = m_groups[title];
    container.rows = new QVBoxLayout(box);
    m_groupBoxes[title] = box;
    return container;
}

void DialogWindow::AddToRow(Container& container, QWidget* widget, bool newRow)
{
    if (newRow || container.row == nullptr) {
        container.row = new QHBoxLayout;
        container.rows->addLayout(container.row);
    }
    container.row->addWidget(widget);
}

void DialogWindow::Place(const CMC_Control& control)
{
    QWidget* old = ControlWidget(control.id);
    QWidget* widget = nullptr;
    if (IsTabControl(control)) {
        m_tabs = new QTabBar(this);
        m_tabs->setObjectName(QStringLiteral("control%1").arg(control.id));
        const int id = control.id;
        connect(m_tabs, &QTabBar::currentChanged, this, [this, id](int index) { m_sink(UiEvent{UiEvent::Select, id, {}, index}); });
        static_cast<QVBoxLayout*>(layout())->insertWidget(0, m_tabs);
        widget = m_tabs;
    } else if (control.kind == ControlKind::Group) {
        GroupContainer(control.text);
        widget = m_groupBoxes[control.text];
        widget->setObjectName(QStringLiteral("control%1").arg(control.id));
    } else {
        widget = CreateControlWidget(control, m_sink, this);
        if (old != nullptr && old->parentWidget() && old->parentWidget()->layout()) {
            delete old->parentWidget()->layout()->replaceWidget(old, widget, Qt::FindChildrenRecursively);  // ours to delete
        } else if (IsDialogButton(control)) {
            m_buttonRow->addWidget(widget);
        } else if (IsTestFrame(m_dialog, control.id)) {
            m_statusRow->addWidget(widget, control.id == CMC_TestDlg::kStatusId ? 1 : 0);
        } else {
            Container& container = control.group.empty() ? m_top : GroupContainer(control.group);
            const bool bare = (control.kind == ControlKind::Check || control.kind == ControlKind::Radio) && control.text.empty();
            if (control.kind == ControlKind::Static && !container.waiting.empty()) {
                // Labels after a run of bare choices name them in turn ("Analogue" and "Pulse &
                // Direction" after their two choices).
                container.row = container.waiting.front();
                container.waiting.pop_front();
                container.row->addWidget(widget, 1);
            } else {
                // A bare tick or choice belongs to the label that starts its row ("Enable" followed
                // by its active-high and active-low choices).
                const bool unlabelled = bare && container.row != nullptr && container.row->count() > 0 &&
                                        qobject_cast<QLabel*>(container.row->itemAt(0)->widget()) != nullptr;
                const bool newRow = !unlabelled &&
                                    (control.kind == ControlKind::Static || control.kind == ControlKind::Check ||
                                     control.kind == ControlKind::Radio || control.kind == ControlKind::Image ||
                                     control.id == rurorade::kGuideTextId || control.id == rurorade::kGuidePreviousId);
                AddToRow(container, widget, newRow);
                if (bare && !unlabelled && control.kind == ControlKind::Radio) container.waiting.push_back(container.row);
                else container.waiting.clear();
            }
        }
    }
    if (old != nullptr && old != widget) old->deleteLater();
    m_widgets[control.id] = widget;
    m_kinds[control.id] = control.kind;
}

QWidget* DialogWindow::ControlWidget(int id) const
{
    auto it = m_widgets.find(id);
    return it == m_widgets.end() ? nullptr : it->second;
}

QWidget* DialogWindow::DrawingWidget(int id) const
{
    auto it = m_drawings.find(id);
    return it == m_drawings.end() ? nullptr : it->second.widget;
}

void DialogWindow::Sync()
{
    setWindowTitle(QString::fromStdString(m_dialog.GetTitle()));
    for (const CMC_Control& c : m_dialog.Controls()) {
        auto kind = m_kinds.find(c.id);
        const bool drawn = m_drawings.count(c.id) != 0;
        if (kind == m_kinds.end() || (kind->second != c.kind && !drawn)) Place(c);
        QWidget* widget = m_widgets[c.id];
        if (widget == m_tabs && m_tabs != nullptr) {
            const QSignalBlocker blocker(m_tabs);
            while (m_tabs->count() > static_cast<int>(c.items.size())) m_tabs->removeTab(m_tabs->count() - 1);
            for (std::size_t i = 0; i < c.items.size(); ++i) {
                const QString title = LabelText(c.items[i].first);
                if (static_cast<int>(i) < m_tabs->count())
                    m_tabs->setTabText(static_cast<int>(i), title);
                else
                    m_tabs->addTab(title);
            }
            if (c.selection >= 0 && m_tabs->currentIndex() != c.selection) m_tabs->setCurrentIndex(c.selection);
            UpdateControlFrame(m_tabs, c);
        } else if (drawn) {
            UpdateControlFrame(widget, c);
        } else {
            UpdateControlWidget(widget, c);
        }
    }
    SyncDrawings();
    if (m_filterResponse.refresh) m_filterResponse.refresh();
    // The window grows with what the model added or wrote since it opened; it never shrinks under the person.
    QSize wanted = sizeHint().expandedTo(size());
    // On a real screen the window stays within it (the controls scroll); offscreen pictures show all.
    if (QGuiApplication::platformName() != QLatin1String("offscreen") && screen() != nullptr)
        wanted = wanted.boundedTo(screen()->availableGeometry().size() - QSize(32, 64));
    if (wanted != size()) resize(wanted);
}

void DialogWindow::SyncDrawings()
{
    for (const CMC_EditSetupDlg::Drawing& d : m_dialog.Drawings()) {
        const void* object = ObjectOf(d);
        auto known = m_drawingObjects.find(d.controlId);
        if (known == m_drawingObjects.end() || known->second != object) {
            QWidget* old = ControlWidget(d.controlId);
            DrawingView view = CreateDrawingView(d, this);
            if (old != nullptr && old->parentWidget() && old->parentWidget()->layout()) {
                delete old->parentWidget()->layout()->replaceWidget(old, view.widget, Qt::FindChildrenRecursively);
                old->deleteLater();
            } else {
                AddToRow(m_top, view.widget, true);
            }
            m_widgets[d.controlId] = view.widget;
            m_drawings[d.controlId] = view;
            m_drawingObjects[d.controlId] = object;
            if (const CMC_Control* c = m_dialog.GetControl(d.controlId)) UpdateControlFrame(view.widget, *c);
        }
        m_drawings[d.controlId].refresh();
    }
}

void DialogWindow::CloseForGood()
{
    m_closing = true;
    m_runTimer.stop();
    close();
}

void DialogWindow::closeEvent(QCloseEvent* event)
{
    if (m_closing) return QDialog::closeEvent(event);
    // The X button is Cancel: the view model decides whether the dialog closes.
    event->ignore();
    m_sink(UiEvent::Of(UiEvent::Close, rurorade::IDCANCEL));
}

void DialogWindow::reject()
{
    if (m_closing) return QDialog::reject();
    m_sink(UiEvent::Of(UiEvent::Close, rurorade::IDCANCEL));
}

}  // namespace zekqt
