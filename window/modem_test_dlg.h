// The main window: the operator picks the board model and the COM port, opens the link, picks a
// test item, fills in its fields and runs it, and watches the traffic log. A view only: the
// widgets come from the dialog description, and what the handlers do is the shared controller's.
#pragma once

#include <QDialog>
#include <QString>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dialog/modem_test_controller.h"
#include "link/modem_port.h"
#include "link/receive_monitor.h"
#include "link/traffic_log.h"
#include "sequencer/modem_session.h"
#include "window/dialog_builder.h"
#include "window/dialog_units.h"

class QCloseEvent;
class QKeyEvent;

namespace karvex {
class LogMenu;
class LogWidget;
class PanelBridge;
class WidgetControls;
struct ProgramPlaces;
}  // namespace karvex

class CModemTestDlg : public QDialog {
  public:
    // Results of the window's end: Enter ends it as OK, Esc and a close request as Cancel.
    static constexpr int IDOK = karvex::ModemTestController::kResultOk;
    static constexpr int IDCANCEL = karvex::ModemTestController::kResultCancel;

    struct Options {
        // The settings file: unset = the program's (ProgramPlaces); empty = no file is read or
        // written.
        std::optional<QString> settingsPath;
        // The port the link uses; null = the process-wide port.
        karvex::LinkPort* port = nullptr;
        karvex::MonitorTiming timing{};
        // The folders of the user's sequences (UTF-8): unset = the program's (ProgramPlaces);
        // empty = the built-in items alone.
        std::optional<std::vector<std::string>> sequenceDirs;
    };

    CModemTestDlg();
    explicit CModemTestDlg(const Options& options);
    ~CModemTestDlg() override;  // stops and joins every thread of the link, closes the port

    // Handlers (the UI thread only).
    bool OnInitDialog();
    void OnSelchangeItem();
    void OnConnect();
    void OnExecute();
    void OnClose();
    // Ended from outside (SIGTERM, SIGHUP, SIGINT): see StopSignals.
    void OnStopSignal();

    // Enables or disables the nine input controls together, in their fixed order.
    void EnableInputs(bool enable);

    // The control with identifier `id` (1002 to 1025), or null.
    QWidget* Control(int id) const;
    const karvex::DialogBaseUnits& BaseUnits() const { return units_; }
    const QString& SettingsPath() const { return settingsPath_; }
    bool LinkOpen() const;
    karvex::TrafficLog& Log() { return log_; }
    karvex::LogMenu& LogContextMenu() { return *logMenu_; }
    karvex::ModemSession& Session() { return *session_; }
    // What the sequence worker calls (any thread).
    karvex::OperatorPanel& Panel();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Build();
    // Where the settings file lives: given by the caller, under the user's folder for an installed
    // copy, or beside the executable.
    QString ChooseSettingsPath(const karvex::ProgramPlaces& places);
    bool HandleDialogKey(QObject* target, QKeyEvent* key);
    // Kept in this order: the session (its threads) goes first, then the views of what it used.
    QIcon icon_;
    Options options_;
    QString settingsPath_;
    bool createSettingsDir_ = false;  // the settings live in a folder that may not exist yet
    karvex::DialogBaseUnits units_;
    karvex::ControlMap controls_;
    karvex::TrafficLog log_;
    karvex::LogWidget* logView_ = nullptr;  // a child widget of the window
    karvex::LogMenu* logMenu_ = nullptr;    // a child object of the window
    std::unique_ptr<karvex::PanelBridge> panel_;
    std::unique_ptr<karvex::WidgetControls> ui_;
    std::unique_ptr<karvex::ModemSession> session_;
    std::unique_ptr<karvex::ModemTestController> controller_;
};
