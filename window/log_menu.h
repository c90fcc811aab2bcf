// The traffic log's context menu: "コピー" and "すべて選択" as an edit control offers them, and
// "ログを保存…" (also Ctrl+S anywhere in the window), which writes the log's bytes exactly as
// logged (CP932, the line ends as received) to a file the operator chooses.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

#include "link/traffic_log.h"
#include "window/log_widget.h"

class QMenu;
class QWidget;

namespace karvex {

class LogMenu : public QObject {
  public:
    // Asks for the file to save to, starting at `suggested`; an empty result cancels.
    using ChooseFile = std::function<QString(QWidget& window, const QString& suggested)>;

    // `portName` gives the selected COM port's name ("" when none) for the default file name.
    LogMenu(TrafficLog& log, LogWidget& edit, QWidget& window, std::function<QString()> portName);

    // Replaces the file dialog (tests answer it themselves).
    void SetChooseFile(ChooseFile choose) { choose_ = std::move(choose); }

    // The menu the view shows on a right click or the menu key; the caller owns it.
    QMenu* CreateMenu();

    // "ログを保存…": asks for a file and writes the log to it. A failed save shows a message
    // with the reason and changes nothing else.
    void Save();

  private:
    QString SuggestedPath() const;

    TrafficLog& log_;
    QPointer<LogWidget> edit_;
    QWidget& window_;
    std::function<QString()> portName_;
    ChooseFile choose_;
    QString lastDir_;  // where the last save went, offered again in this session
};

}  // namespace karvex
