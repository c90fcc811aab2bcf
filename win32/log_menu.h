// The traffic log's context menu in the Windows dialog: copy and select all acting on the log's
// edit control, and the log's save (also Ctrl+S anywhere in the dialog), whose texts, file name
// and message are the shared ones (dialog/log_save.h).
#pragma once

#include <functional>
#include <string>

#include "dialog/log_save.h"
#include "link/traffic_log.h"

#include <windows.h>

namespace karvex::win {

// Posted to the dialog when Ctrl+S was pressed in it: the save runs from the dialog's own
// procedure, outside the message filter that saw the key.
inline constexpr UINT kSaveLogMessage = WM_APP + 3;

class LogMenu {
  public:
    // The menu's commands (TrackPopupMenu returns them).
    enum Command : UINT { kCopy = 1, kSelectAll = 2, kSave = 3 };

    // Asks for the file to save to (UTF-8), starting at `suggested`; an empty result cancels.
    using ChooseFile = std::function<std::string(HWND owner, const std::string& suggested)>;

    // `portName` gives the selected COM port's name ("" when none) for the default file name;
    // `showMessage` shows a failed save's message.
    LogMenu(TrafficLog& log, HWND dialog, HWND edit, std::function<std::string()> portName,
            std::function<void(const std::string&)> showMessage);
    ~LogMenu();
    LogMenu(const LogMenu&) = delete;
    LogMenu& operator=(const LogMenu&) = delete;

    // Replaces the file dialog (tests answer it themselves).
    void SetChooseFile(ChooseFile choose) { choose_ = std::move(choose); }

    // The menu as it stands now (copy only with a selection, select all only with text); the
    // caller destroys it.
    HMENU CreateMenu() const;
    // Shows the menu at `screen` (WM_CONTEXTMENU's point; -1,-1 from the keyboard: at the edit)
    // and runs what was chosen.
    void Popup(LPARAM screen);
    void Run(UINT command);

    // "ログを保存…": asks for a file and writes the log to it. A failed save shows a message
    // with the reason and changes nothing else.
    void Save();

  private:
    static LRESULT CALLBACK FilterKeys(int code, WPARAM wParam, LPARAM lParam);

    HWND dialog_;
    HWND edit_;
    std::function<void(const std::string&)> showMessage_;
    ChooseFile choose_;
    LogSaver saver_;
    HHOOK hook_ = nullptr;
};

}  // namespace karvex::win
