#include "window/log_menu.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeySequence>
#include <QMenu>
#include <QShortcut>

#include <ctime>

#include "link/log_file.h"
#include "window/modem_test_app.h"

namespace karvex {

namespace {

QString AskForFile(QWidget& window, const QString& suggested) {
    return QFileDialog::getSaveFileName(
        &window, QStringLiteral("ログを保存"), suggested,
        QStringLiteral("ログ ファイル (*.log);;すべてのファイル (*)"));
}

}  // namespace

LogMenu::LogMenu(TrafficLog& log, LogWidget& edit, QWidget& window,
                 std::function<QString()> portName)
    : QObject(&window),
      log_(log),
      edit_(&edit),
      window_(window),
      portName_(std::move(portName)),
      choose_(AskForFile) {
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
    QAction* copy = menu->addAction(QStringLiteral("コピー"), edit_.data(), &LogWidget::Copy);
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(edit_->HasSelection());
    QAction* all =
        menu->addAction(QStringLiteral("すべて選択"), edit_.data(), &LogWidget::SelectAll);
    all->setShortcut(QKeySequence::SelectAll);
    all->setEnabled(!edit_->IsEmpty());
    menu->addSeparator();
    QAction* save = menu->addAction(QStringLiteral("ログを保存…"), this, [this] { Save(); });
    save->setShortcut(QKeySequence::Save);
    return menu;
}

QString LogMenu::SuggestedPath() const {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const std::string name = LogFileName(portName_().toStdString(), local);
    const QString dir = lastDir_.isEmpty() ? QDir::homePath() : lastDir_;
    return QDir(dir).filePath(QString::fromStdString(name));
}

void LogMenu::Save() {
    const QString path = choose_(window_, SuggestedPath());
    if (path.isEmpty()) {
        return;
    }
    lastDir_ = QFileInfo(path).absolutePath();
    // What the log holds when the operator confirms: lines that arrived while the dialog was
    // open are kept too.
    const std::string reason = SaveLogFile(QFile::encodeName(path).toStdString(), log_.Snapshot());
    if (!reason.empty()) {
        OpenMessageBox(window_, QStringLiteral("ログを保存できませんでした。\n%1\n%2")
                                    .arg(QDir::toNativeSeparators(path),
                                         QString::fromLocal8Bit(reason.c_str())));
    }
}

}  // namespace karvex
