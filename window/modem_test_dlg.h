// The main window: the operator picks the board model and the COM port, opens the link, picks a
// test item, fills in its fields and runs it, and watches the traffic log.
#pragma once

#include <QDialog>
#include <QString>

#include <memory>
#include <optional>

#include "link/receive_monitor.h"
#include "link/serial_port.h"
#include "link/traffic_log.h"
#include "sequencer/modem_session.h"
#include "window/dialog_builder.h"
#include "window/dialog_units.h"
#include "window/version_text.h"

class QCloseEvent;
class QComboBox;
class QKeyEvent;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace karvex {
class LogMenu;
class LogView;
class PanelBridge;
struct Settings;
}  // namespace karvex

class CModemTestDlg : public QDialog {
  public:
    // Results of the window's end: Enter ends it as OK, Esc and a close request as Cancel.
    static constexpr int IDOK = 1;
    static constexpr int IDCANCEL = 2;

    struct Options {
        // The settings file: unset = beside the executable; empty = no file is read or written.
        std::optional<QString> settingsPath;
        // The port the link uses; null = the process-wide port.
        karvex::SerialPort* port = nullptr;
        karvex::MonitorTiming timing{};
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
    bool HandleDialogKey(QObject* target, QKeyEvent* key);
    void ApplySettings(const karvex::Settings& s);
    void ApplyDefaults();
    karvex::Settings CollectSettings() const;
    void EnableInputsFromWorker(bool enable);

    template <class W>
    W* Get(int id) const;

    // Kept in this order: the session (its threads) goes first, then the views of what it used.
    QIcon icon_;
    Options options_;
    QString settingsPath_;
    bool createSettingsDir_ = false;  // the settings live in a folder that may not exist yet
    std::optional<karvex::VersionNumbers> version_;
    karvex::DialogBaseUnits units_;
    karvex::ControlMap controls_;
    karvex::TrafficLog log_;
    std::unique_ptr<karvex::LogView> logView_;
    karvex::LogMenu* logMenu_ = nullptr;  // a child object of the window
    std::unique_ptr<karvex::PanelBridge> panel_;
    std::unique_ptr<karvex::ModemSession> session_;
};
