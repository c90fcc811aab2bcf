#include "win32/log_menu.h"

#include <commdlg.h>
#include <shlobj.h>

#include <algorithm>
#include <vector>

#include "link/utf16_win.h"

namespace karvex::win {

namespace {

// The menus of this thread's dialogs, for the message filter, which has no context of its own.
thread_local std::vector<LogMenu*> menus;

std::string AskForFile(HWND owner, const std::string& suggested) {
    const std::wstring wide = Utf16FromUtf8(suggested);
    const size_t slash = wide.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? L"" : wide.substr(0, slash);
    const std::wstring name = slash == std::wstring::npos ? wide : wide.substr(slash + 1);
    std::vector<wchar_t> file(32768, L'\0');
    std::copy_n(name.begin(), std::min(name.size(), file.size() - 1), file.begin());
    // Pairs of a type's name and its pattern, each ended by a NUL, and a NUL at the end.
    const std::wstring filter = Utf16FromUtf8(kLogFileType) + L" (*.log)" + L'\0' + L"*.log" +
                                L'\0' + Utf16FromUtf8(kAllFileTypes) + L" (*.*)" + L'\0' + L"*.*" +
                                L'\0';
    const std::wstring title = Utf16FromUtf8(kLogSaveTitle);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    ofn.lpstrTitle = title.c_str();
    ofn.lpstrDefExt = L"log";
    ofn.Flags =
        OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetSaveFileNameW(&ofn)) {
        return {};  // cancelled (or the dialog could not open)
    }
    return Utf8FromUtf16(file.data());
}

// Where the first save of a session is offered: the user's documents folder.
std::string DocumentsFolder() {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, path))) {
        return {};
    }
    return Utf8FromUtf16(path);
}

}  // namespace

LogMenu::LogMenu(TrafficLog& log, HWND dialog, HWND edit, std::function<std::string()> portName,
                 std::function<void(const std::string&)> showMessage)
    : dialog_(dialog),
      edit_(edit),
      showMessage_(std::move(showMessage)),
      choose_(AskForFile),
      saver_(log, std::move(portName), DocumentsFolder()) {
    menus.push_back(this);
    // Ctrl+S anywhere in the dialog: the dialog manager (the modal loop's IsDialogMessage) shows
    // every message to this filter before the focused control sees it.
    hook_ = SetWindowsHookExW(WH_MSGFILTER, &FilterKeys, nullptr, GetCurrentThreadId());
}

LogMenu::~LogMenu() {
    if (hook_ != nullptr) {
        UnhookWindowsHookEx(hook_);
    }
    menus.erase(std::remove(menus.begin(), menus.end(), this), menus.end());
}

LRESULT CALLBACK LogMenu::FilterKeys(int code, WPARAM wParam, LPARAM lParam) {
    if (code == MSGF_DIALOGBOX && lParam != 0) {
        const auto* msg = reinterpret_cast<const MSG*>(lParam);
        if (msg->message == WM_KEYDOWN && msg->wParam == 'S' && GetKeyState(VK_CONTROL) < 0 &&
            GetKeyState(VK_MENU) >= 0 && GetKeyState(VK_SHIFT) >= 0) {
            const HWND root = GetAncestor(msg->hwnd, GA_ROOT);
            for (LogMenu* menu : menus) {
                if (menu->dialog_ == root) {
                    PostMessageW(root, kSaveLogMessage, 0, 0);
                    return TRUE;  // the key goes no further
                }
            }
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

HMENU LogMenu::CreateMenu() const {
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(edit_, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    const bool hasText = GetWindowTextLengthW(edit_) > 0;
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING | (start != end ? MF_ENABLED : MF_GRAYED), kCopy,
                Utf16FromUtf8(kLogMenuCopy).c_str());
    AppendMenuW(menu, MF_STRING | (hasText ? MF_ENABLED : MF_GRAYED), kSelectAll,
                Utf16FromUtf8(kLogMenuSelectAll).c_str());
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, kSave, Utf16FromUtf8(kLogMenuSave).c_str());
    return menu;
}

void LogMenu::Popup(LPARAM screen) {
    POINT at{static_cast<short>(LOWORD(screen)), static_cast<short>(HIWORD(screen))};
    if (at.x == -1 && at.y == -1) {
        // From the keyboard (Shift+F10, the menu key): at the edit's top left corner.
        at = POINT{0, 0};
        ClientToScreen(edit_, &at);
    }
    HMENU menu = CreateMenu();
    const UINT command = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, at.x,
                                        at.y, 0, dialog_, nullptr);
    DestroyMenu(menu);
    Run(command);
}

void LogMenu::Run(UINT command) {
    switch (command) {
        case kCopy:
            SendMessageW(edit_, WM_COPY, 0, 0);
            break;
        case kSelectAll:
            SendMessageW(edit_, EM_SETSEL, 0, -1);
            break;
        case kSave:
            Save();
            break;
        default:
            break;  // the menu was dismissed
    }
}

void LogMenu::Save() {
    const std::string message = saver_.Save(choose_(dialog_, saver_.SuggestedPath()));
    if (!message.empty()) {
        showMessage_(message);
    }
}

}  // namespace karvex::win
