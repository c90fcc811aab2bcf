#include "window/log_menu.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QKeySequence>
#include <QMenu>
#include <QShortcut>

#include "window/modem_test_app.h"

namespace karvex {

namespace {

QString Text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QString AskForFile(QWidget& window, const QString& suggested) {
    return QFileDialog::getSaveFileName(&window, Text(kLogSaveTitle), suggested,
                                        Text(kLogFileType) + QStringLiteral(" (*.log);;") +
                                            Text(kAllFileTypes) + QStringLiteral(" (*)"));
}

}  // namespace

LogMenu::LogMenu(TrafficLog& log, LogWidget& edit, QWidget& window,
                 std::function<QString()> portName)
    : QObject(&window),
      edit_(&edit),
      window_(window),
      choose_(AskForFile),
      saver_(
          log, [portName = std::move(portName)] { return portName().toStdString(); },
          QFile::encodeName(QDir::homePath()).toStdString()) {
    edit.setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&edit, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu* menu = CreateMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(edit_->viewport()->mapToGlobal(at));
    });
    auto* shortcut = new QShortcut(QKeySequence::Save, &window, [this] { Save(); });
    shortcut->setContext(Qt::WindowShortcut);
}

QMenu* LogMenu::CreateMenu() {
    auto* menu = new QMenu(edit_);
    QAction* copy = menu->addAction(Text(kLogMenuCopy), edit_.data(), &LogWidget::Copy);
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(edit_->HasSelection());
    QAction* all =
        menu->addAction(Text(kLogMenuSelectAll), edit_.data(), &LogWidget::SelectAll);
    all->setShortcut(QKeySequence::SelectAll);
    all->setEnabled(!edit_->IsEmpty());
    menu->addSeparator();
    QAction* save = menu->addAction(Text(kLogMenuSave), this, [this] { Save(); });
    save->setShortcut(QKeySequence::Save);
    return menu;
}

void LogMenu::Save() {
    const QString path = choose_(window_, QFile::decodeName(saver_.SuggestedPath().c_str()));
    const std::string message = saver_.Save(QFile::encodeName(path).toStdString());
    if (!message.empty()) {
        OpenMessageBox(window_, QString::fromStdString(message));
    }
}

}  // namespace karvex
