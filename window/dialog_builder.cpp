#include "window/dialog_builder.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QString>

#include <algorithm>

#include "window/log_widget.h"

namespace karvex {

namespace {

using res::ControlKind;
using res::ControlTemplate;

bool Has(const ControlTemplate& c, uint32_t bit) {
    return (c.style & bit) != 0;
}

QWidget* MakeEdit(const ControlTemplate& c, QWidget& parent) {
    const QString text = QString::fromUtf8(c.text);
    if (Has(c, res::kMultiLine)) {
        // The description's one multi-line edit is the read-only traffic log: a view of the log
        // model that draws only the lines in sight. Its lines never wrap; it scrolls across with
        // the caret (no horizontal scroll bar).
        auto* log = new LogWidget(&parent);
        log->setVerticalScrollBarPolicy(Has(c, res::kVScroll) ? Qt::ScrollBarAlwaysOn
                                                              : Qt::ScrollBarAlwaysOff);
        log->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        log->setFrameShape(Has(c, res::kBorder) ? QFrame::StyledPanel : QFrame::NoFrame);
        return log;
    }
    auto* line = new QLineEdit(text, &parent);
    line->setFrame(Has(c, res::kBorder));
    line->setReadOnly(Has(c, res::kReadOnly));
    return line;
}

QWidget* MakeCombo(const ControlTemplate& c, QWidget& parent, const QRect& area) {
    auto* combo = new QComboBox(&parent);
    combo->setEditable(!Has(c, res::kDropDownList));
    combo->setInsertPolicy(QComboBox::NoInsert);
    // The description's height covers the closed box and its list: as many rows as fit.
    const int closed = combo->sizeHint().height();
    const int row = std::max(1, QFontMetrics(parent.font()).height());
    combo->setMaxVisibleItems(std::max(1, (area.height() - closed) / row));
    return combo;
}

QWidget* MakeControl(const ControlTemplate& c, QWidget& parent, const QRect& area) {
    const QString text = QString::fromUtf8(c.text);
    switch (c.kind) {
        case ControlKind::Edit:
            return MakeEdit(c, parent);
        case ControlKind::ComboBox:
            return MakeCombo(c, parent, area);
        case ControlKind::Static: {
            auto* label = new QLabel(text, &parent);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setWordWrap(true);
            return label;
        }
        case ControlKind::PushButton: {
            auto* button = new QPushButton(text, &parent);
            // Enter is routed by the dialog itself: it clicks a focused button and otherwise
            // ends the window, so no button becomes the default.
            button->setAutoDefault(false);
            button->setDefault(false);
            return button;
        }
        case ControlKind::RadioButton: {
            auto* radio = new QRadioButton(text, &parent);
            radio->setAutoExclusive(Has(c, res::kAutoRadio));
            return radio;
        }
    }
    return nullptr;
}

}  // namespace

ControlMap BuildControls(QWidget& dialog, const res::DialogTemplate& tpl,
                         const DialogBaseUnits& units) {
    ControlMap controls;
    QWidget* previous = nullptr;
    for (const ControlTemplate& c : tpl.controls) {
        const QRect area = MapDialogRect(c.rect, units);
        QWidget* w = MakeControl(c, dialog, area);
        w->setObjectName(QString::number(c.id));
        w->setProperty(kControlIdProperty, c.id);
        if (c.kind == ControlKind::Static) {
            w->setFocusPolicy(Qt::NoFocus);
        } else if (!Has(c, res::kTabStop)) {
            w->setFocusPolicy(Qt::ClickFocus);
        }
        // A combo box is placed by its closed box; its list takes the rest of the height.
        const int height = c.kind == ControlKind::ComboBox
                               ? std::min(area.height(), w->sizeHint().height())
                               : area.height();
        w->setGeometry(area.x(), area.y(), area.width(), height);
        if (previous != nullptr) {
            QWidget::setTabOrder(previous, w);
        }
        previous = w;
        controls.emplace(c.id, w);
    }
    return controls;
}

}  // namespace karvex
