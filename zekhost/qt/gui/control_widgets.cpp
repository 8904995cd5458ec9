#include "control_widgets.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>

#include <algorithm>
#include <type_traits>

namespace zekqt {
namespace {

using rurorade::ControlKind;
using rurorade::UiEvent;

constexpr const char* kIdProperty = "zekControlId";
constexpr const char* kModelTextProperty = "zekModelText";

QString Text(const std::string& text) { return QString::fromStdString(text); }

QWidget* CreateEdit(const CMC_Control& control, const EventSink& sink, QWidget* parent)
{
    if (control.id == rurorade::kGuideTextId) {
        // The guideline step is read, not typed.
        auto* label = new QLabel(parent);
        label->setWordWrap(true);
        label->setFrameShape(QFrame::StyledPanel);
        label->setMinimumWidth(260);
        // Room for three lines: a wrapped label in a row is not always given the height it needs.
        label->setMinimumHeight(3 * label->fontMetrics().lineSpacing() + 2 * label->frameWidth() + 4);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return label;
    }
    auto* edit = new QLineEdit(parent);
    edit->setMinimumWidth(90);
    const int id = control.id;
    QObject::connect(edit, &QLineEdit::editingFinished, edit, [edit, id, sink] {
        // Focus leaving an untouched edit is no commit.
        if (edit->text() == edit->property(kModelTextProperty).toString()) return;
        sink(UiEvent{UiEvent::Commit, id, edit->text().toStdString()});
    });
    return edit;
}

QWidget* CreateCombo(const CMC_Control& control, const EventSink& sink, QWidget* parent)
{
    auto* combo = new QComboBox(parent);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    const int id = control.id;
    // activated: the person chose an item, even the one already shown.
    QObject::connect(combo, &QComboBox::activated, combo, [id, sink](int index) { sink(UiEvent{UiEvent::Select, id, {}, index}); });
    return combo;
}

QWidget* CreateSlider(const CMC_Control& control, const EventSink& sink, QWidget* parent)
{
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setRange(0, CMC_EditSetupDlg::kSliderSteps);
    slider->setMinimumWidth(140);
    const int id = control.id;
    auto select = [slider, id, sink] { sink(UiEvent{UiEvent::Select, id, {}, slider->value()}); };
    // One event when a drag ends, one per step otherwise (keys, page clicks).
    QObject::connect(slider, &QSlider::sliderReleased, slider, select);
    QObject::connect(slider, &QSlider::valueChanged, slider, [slider, select](int) {
        if (!slider->isSliderDown()) select();
    });
    return slider;
}

template <class Button>
QWidget* CreateButton(const CMC_Control& control, const EventSink& sink, QWidget* parent)
{
    auto* button = new Button(parent);
    const int id = control.id;
    QObject::connect(button, &QAbstractButton::clicked, button, [id, sink] { sink(UiEvent::Of(UiEvent::Click, id)); });
    if constexpr (std::is_same_v<Button, QPushButton>) {
        // Enter in an edit commits it; it must not press a button as well.
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    if constexpr (std::is_same_v<Button, QRadioButton>) button->setAutoExclusive(false);
    return button;
}

void UpdateImage(QLabel* label, const std::string& image)
{
    QStyle::StandardPixmap icon = QStyle::SP_CustomBase;
    if (image == "TEST_OK") icon = QStyle::SP_DialogApplyButton;
    if (image == "TEST_FAILED") icon = QStyle::SP_MessageBoxCritical;
    if (icon == QStyle::SP_CustomBase) {
        label->clear();
        label->setToolTip(Text(image));
        return;
    }
    label->setPixmap(label->style()->standardIcon(icon).pixmap(24, 24));
    label->setToolTip(image == "TEST_OK" ? QStringLiteral("Test succeeded") : QStringLiteral("Test failed"));
}

}  // namespace

QString LabelText(const std::string& text)
{
    QString out;
    const QString in = Text(text);
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == u'&') {
            if (i + 1 < in.size() && in[i + 1] == u'&') out += u'&', ++i;
            continue;
        }
        out += in[i];
    }
    return out;
}

int ControlIdOf(const QWidget* widget) { return widget ? widget->property(kIdProperty).toInt() : 0; }

QWidget* CreateControlWidget(const CMC_Control& control, const EventSink& sink, QWidget* parent)
{
    QWidget* widget = nullptr;
    switch (control.kind) {
    case ControlKind::Static: {
        auto* label = new QLabel(parent);
        label->setWordWrap(true);
        widget = label;
        break;
    }
    case ControlKind::Group: widget = new QGroupBox(parent); break;
    case ControlKind::Edit: widget = CreateEdit(control, sink, parent); break;
    case ControlKind::Button: widget = CreateButton<QPushButton>(control, sink, parent); break;
    case ControlKind::Check: widget = CreateButton<QCheckBox>(control, sink, parent); break;
    case ControlKind::Radio: widget = CreateButton<QRadioButton>(control, sink, parent); break;
    case ControlKind::Combo: widget = CreateCombo(control, sink, parent); break;
    case ControlKind::Slider: widget = CreateSlider(control, sink, parent); break;
    case ControlKind::Image: widget = new QLabel(parent); break;
    }
    widget->setProperty(kIdProperty, control.id);
    widget->setObjectName(QStringLiteral("control%1").arg(control.id));
    return widget;
}

void UpdateControlFrame(QWidget* widget, const CMC_Control& control)
{
    // A widget never shown or hidden by us shows with its window, whatever isHidden() says now.
    if (widget->isHidden() == control.visible || !widget->testAttribute(Qt::WA_WState_ExplicitShowHide))
        widget->setHidden(!control.visible);
    // The widget's own flag: a disabled group box also disables what it holds.
    if (widget->testAttribute(Qt::WA_ForceDisabled) == control.enabled) widget->setEnabled(control.enabled);
}

void UpdateControlWidget(QWidget* widget, const CMC_Control& control)
{
    const QSignalBlocker blocker(widget);
    const QString text = Text(control.text);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        // A person's half-typed text stays until they commit it or the model changes the value.
        if (edit->property(kModelTextProperty).toString() != text || !edit->hasFocus()) edit->setText(text);
        edit->setProperty(kModelTextProperty, text);
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        group->setTitle(LabelText(control.text));
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        if (button->text() != text) button->setText(text);
        if (button->isCheckable() && button->isChecked() != (control.checked != 0)) button->setChecked(control.checked != 0);
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        bool same = combo->count() == static_cast<int>(control.items.size());
        for (int i = 0; same && i < combo->count(); ++i)
            same = combo->itemText(i) == Text(control.items[static_cast<std::size_t>(i)].first);
        if (!same) {
            combo->clear();
            for (const auto& item : control.items) combo->addItem(Text(item.first));
        }
        if (combo->currentIndex() != control.selection) combo->setCurrentIndex(control.selection);
    } else if (auto* slider = qobject_cast<QSlider*>(widget)) {
        if (!slider->isSliderDown() && slider->value() != control.selection) slider->setValue(std::max(control.selection, 0));
        slider->setToolTip(QString::fromStdString(FormatDisplayValue(control.sliderMin) + " ... " + FormatDisplayValue(control.sliderMax)));
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        if (control.kind == rurorade::ControlKind::Image)
            UpdateImage(label, control.image);
        else if (label->text() != LabelText(control.text))
            label->setText(LabelText(control.text));
    }
    UpdateControlFrame(widget, control);
}

}  // namespace zekqt
