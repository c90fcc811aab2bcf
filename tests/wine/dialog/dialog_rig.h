// Drives the Windows dialog in-process, as an operator would, through messages to its controls.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>

#include "link/replace_file_win.h"
#include "link/utf16_win.h"
#include "resources/main_dialog.h"
#include "win32/modem_test_dialog.h"

namespace karvex::wint {

using namespace res;
using namespace std::chrono_literals;

// Runs the thread's messages until `done` holds or `timeout` passed; whether it held.
inline bool PumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = 5000ms) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            const HWND dialog = GetAncestor(msg.hwnd, GA_ROOT);
            if (dialog == nullptr || !IsDialogMessageW(dialog, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        if (done()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

inline std::string WindowText(HWND hwnd) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return Utf8FromUtf16(text);
}

// A new empty folder under the user's temporary folder (UTF-8).
inline std::string TempDir() {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    wchar_t dir[MAX_PATH];
    GetTempFileNameW(base, L"kvx", 0, dir);
    DeleteFileW(dir);
    CreateDirectoryW(dir, nullptr);
    return Utf8FromUtf16(dir);
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(std::filesystem::path(LongPathSafe(Utf16FromUtf8(path))), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

struct DialogRig {
    explicit DialogRig(win::ModemTestDialog::Options options = NoSettings())
        : dlg(std::make_unique<win::ModemTestDialog>(std::move(options))) {
        hwnd = dlg->Create();
        if (hwnd != nullptr) {
            ShowWindow(hwnd, SW_SHOW);
        }
    }
    static win::ModemTestDialog::Options NoSettings() {
        win::ModemTestDialog::Options o;
        o.settingsPath = std::string();
        return o;
    }

    HWND Item(int id) const { return GetDlgItem(hwnd, id); }
    std::string Text(int id) const { return WindowText(Item(id)); }
    bool Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }
    bool Shown(int id) const { return (GetWindowLongW(Item(id), GWL_STYLE) & WS_VISIBLE) != 0; }
    bool Ended() const { return dlg->Result().has_value(); }

    void Click(int id) { SendMessageW(Item(id), BM_CLICK, 0, 0); }
    void SelectItem(int index) {
        SendMessageW(Item(kIdTestItem), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(kIdTestItem, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(Item(kIdTestItem)));
    }
    void SelectCom(int index) {
        SendMessageW(Item(kIdComPort), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
    void Type(int id, const std::string& text) {
        SetWindowTextW(Item(id), Utf16FromUtf8(text).c_str());
    }

    std::unique_ptr<win::ModemTestDialog> dlg;
    HWND hwnd = nullptr;
};

// The message box the dialog opens: caption and text, read from inside its own modal loop, which
// is then ended with OK. Arm before the action that opens it.
class MessageBoxCatcher {
  public:
    MessageBoxCatcher() {
        instance_ = this;
        timer_ = SetTimer(nullptr, 0, 20, &Tick);
    }
    ~MessageBoxCatcher() {
        KillTimer(nullptr, timer_);
        instance_ = nullptr;
    }
    int count = 0;
    std::string caption, text;

  private:
    static BOOL CALLBACK Find(HWND hwnd, LPARAM) {
        wchar_t cls[16] = {};
        GetClassNameW(hwnd, cls, 16);
        // A message box is a dialog whose text is in the static control 0xFFFF.
        const HWND textControl = GetDlgItem(hwnd, 0xFFFF);
        if (std::wstring(cls) == L"#32770" && textControl != nullptr && IsWindowVisible(hwnd)) {
            instance_->count++;
            instance_->caption = WindowText(hwnd);
            instance_->text = WindowText(textControl);
            PostMessageW(hwnd, WM_COMMAND, IDOK, 0);
            return FALSE;
        }
        return TRUE;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        EnumThreadWindows(GetCurrentThreadId(), &Find, 0);
    }
    static inline MessageBoxCatcher* instance_ = nullptr;
    UINT_PTR timer_ = 0;
};

}  // namespace karvex::wint
