// The traffic log's context menu: copy and select all as an edit control offers them, and the
// log's save (also Ctrl+S anywhere in the window), whose texts, file name and message are the
// shared ones (dialog/log_save.h).
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

#include "dialog/log_save.h"
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
    QPointer<LogWidget> edit_;
    QWidget& window_;
    ChooseFile choose_;
    LogSaver saver_;
};

}  // namespace karvex
