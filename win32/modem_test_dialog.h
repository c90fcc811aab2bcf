// The main window as a native Windows dialog, made from the dialog description. A view only: what
// the handlers do is the shared controller's. The sequence worker and the receive monitor reach
// the UI thread only by posted messages; no thread ever waits on it.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The project's headers before <windows.h>, whose macros (E_FAIL) would clash with their names.
#include "dialog/dialog_controls.h"
#include "dialog/modem_test_controller.h"
#include "dialog/panel_queue.h"
#include "dialog/settings_place.h"
#include "link/modem_port.h"
#include "link/program_places.h"
#include "link/traffic_log.h"
#include "sequencer/modem_session.h"
#include "win32/log_menu.h"
#include "win32/log_window.h"

#include <windows.h>

namespace karvex::win {

// Posted to the dialog: the worker queued panel requests; the traffic log changed.
inline constexpr UINT kPanelMessage = WM_APP + 1;
inline constexpr UINT kLogMessage = WM_APP + 2;
// While the link is open, a timer catches up on both, in case a post was lost (a full queue).
inline constexpr UINT_PTR kCatchUpTimer = 1;
inline constexpr UINT kCatchUpMs = 250;

class ModemTestDialog : public DialogControls {
  public:
    struct Options {
        // The settings file (UTF-8): unset = beside the executable (ProgramPlaces); empty = none
        // read or written.
        std::optional<std::string> settingsPath;
        // Where it goes when that folder cannot hold it, and an installed copy's: unset = the
        // user's file of ProgramPlaces (%LOCALAPPDATA%\Karvex\<base name>.ini); empty = nowhere
        // else.
        std::optional<std::string> userSettingsPath;
        LinkPort* port = nullptr;  // null: the process-wide port
        MonitorTiming timing{};
        // Posts the dialog's own wake-ups (the log changed, the worker queued a request) from any
        // thread; empty: PostMessageW. Tests put in one that fails, as PostMessageW does when
        // the thread's message queue is full.
        std::function<bool(HWND, UINT)> post;
        // The folders of the user's sequences (UTF-8): unset = the program's (ProgramPlaces);
        // empty = the built-in items alone.
        std::optional<std::vector<std::string>> sequenceDirs;
    };

    ModemTestDialog();
    explicit ModemTestDialog(Options options);
    ~ModemTestDialog() override;
    ModemTestDialog(const ModemTestDialog&) = delete;
    ModemTestDialog& operator=(const ModemTestDialog&) = delete;

    // Runs the dialog modally until it ends; its result (IDOK, IDCANCEL), or -1 when it could not
    // be made.
    INT_PTR RunModal(HWND owner = nullptr);

    // Makes the dialog without a loop of its own: the caller pumps the messages (tests).
    HWND Create(HWND owner = nullptr);
    HWND Window() const { return hwnd_; }
    // After the dialog ended: its result; before: nothing.
    std::optional<INT_PTR> Result() const { return result_; }

    ModemSession& Session() { return *session_; }
    TrafficLog& Log() { return log_; }
    OperatorPanel& Panel() { return *panel_; }
    LogMenu& LogContextMenu() { return *logMenu_; }

    // DialogControls, by control id (the UI thread only).
    void SetText(int id, const std::string& text) override;
    std::string Text(int id) const override;
    void Enable(int id, bool enable) override;
    void Show(int id, bool show) override;
    void Place(int id, const res::DialogRect& rect) override;
    bool IsChecked(int id) const override;
    void Check(int id) override;
    void AddEntry(int id, const std::string& text) override;
    int Selection(int id) const override;
    void Select(int id, int index) override;
    void Focus(int id) override;
    void ShowMessage(const std::string& text) override;
    void RefreshLog() override;
    void EndDialog(int result) override;

  private:
    static INT_PTR CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInit(HWND hwnd);
    void OnDestroy();
    bool Post(UINT message) const;
    void CatchUp();
    void FollowLink();

    HWND Item(int id) const { return GetDlgItem(hwnd_, id); }

    Options options_;
    ProgramPlaces places_;  // where this copy's files live
    SettingsPlace settings_;
    HWND hwnd_ = nullptr;
    bool modal_ = false;
    std::optional<INT_PTR> result_;
    HICON bigIcon_ = nullptr;
    HICON smallIcon_ = nullptr;
    TrafficLog log_;
    std::unique_ptr<PanelQueue> panel_;
    std::unique_ptr<LogWindow> logView_;
    std::unique_ptr<LogMenu> logMenu_;
    std::unique_ptr<ModemSession> session_;
    std::unique_ptr<ModemTestController> controller_;
};

// The caption of every message box: the executable's file name without directory and extension.
std::wstring ApplicationTitle();

}  // namespace karvex::win
