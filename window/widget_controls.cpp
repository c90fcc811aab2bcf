#include "window/widget_controls.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "window/log_widget.h"
#include "window/modem_test_app.h"

namespace karvex {

QWidget* WidgetControls::Control(int id) const {
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

void WidgetControls::SetText(int id, const std::string& text) {
    const QString t = QString::fromStdString(text);
    QWidget* w = Control(id);
    if (auto* line = qobject_cast<QLineEdit*>(w)) {
        line->setText(t);
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(t);
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        button->setText(t);
    }
}

std::string WidgetControls::Text(int id) const {
    QWidget* w = Control(id);
    if (auto* line = qobject_cast<QLineEdit*>(w)) {
        return line->text().toStdString();
    }
    if (auto* label = qobject_cast<QLabel*>(w)) {
        return label->text().toStdString();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        return button->text().toStdString();
    }
    return {};
}

void WidgetControls::Enable(int id, bool enable) {
    Control(id)->setEnabled(enable);
}

void WidgetControls::Show(int id, bool show) {
    Control(id)->setVisible(show);
}

void WidgetControls::Place(int id, const res::DialogRect& rect) {
    Control(id)->setGeometry(MapDialogRect(rect, units_));
}

bool WidgetControls::IsChecked(int id) const {
    return static_cast<QAbstractButton*>(Control(id))->isChecked();
}

void WidgetControls::Check(int id) {
    static_cast<QAbstractButton*>(Control(id))->setChecked(true);
}

void WidgetControls::AddEntry(int id, const std::string& text) {
    static_cast<QComboBox*>(Control(id))->addItem(QString::fromStdString(text));
}

int WidgetControls::Selection(int id) const {
    return static_cast<QComboBox*>(Control(id))->currentIndex();
}

void WidgetControls::Select(int id, int index) {
    static_cast<QComboBox*>(Control(id))->setCurrentIndex(index);
}

void WidgetControls::Focus(int id) {
    Control(id)->setFocus();
}

void WidgetControls::ShowMessage(const std::string& text) {
    OpenMessageBox(dialog_, QString::fromStdString(text));
}

void WidgetControls::RefreshLog() {
    if (logView_ != nullptr) {
        logView_->Refresh();
    }
}

void WidgetControls::EndDialog(int result) {
    dialog_.done(result);
}

}  // namespace karvex
