#include "win32/log_menu.h"

#include <commdlg.h>
#include <shlobj.h>

#include <algorithm>
#include <ctime>
#include <vector>

#include "link/log_file.h"
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
    static const wchar_t kFilter[] = L"ログ ファイル (*.log)\0*.log\0すべてのファイル (*.*)\0*.*\0";
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = kFilter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    ofn.lpstrTitle = L"ログを保存";
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
    : log_(log),
      dialog_(dialog),
      edit_(edit),
      portName_(std::move(portName)),
      showMessage_(std::move(showMessage)),
      choose_(AskForFile) {
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
    AppendMenuW(menu, MF_STRING | (start != end ? MF_ENABLED : MF_GRAYED), kCopy, L"コピー");
    AppendMenuW(menu, MF_STRING | (hasText ? MF_ENABLED : MF_GRAYED), kSelectAll, L"すべて選択");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, kSave, L"ログを保存…");
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

std::string LogMenu::SuggestedPath() const {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_s(&local, &now);
    const std::string name = LogFileName(portName_(), local);
    const std::string dir = lastDir_.empty() ? DocumentsFolder() : lastDir_;
    return dir.empty() ? name : dir + "\\" + name;
}

void LogMenu::Save() {
    const std::string path = choose_(dialog_, SuggestedPath());
    if (path.empty()) {
        return;
    }
    const size_t slash = path.find_last_of("\\/");
    if (slash != std::string::npos) {
        lastDir_ = path.substr(0, slash);
    }
    // What the log holds when the operator confirms: lines that arrived while the file dialog
    // was open are kept too.
    const std::string reason = SaveLogFile(path, log_.Snapshot());
    if (!reason.empty()) {
        showMessage_("ログを保存できませんでした。\n" + path + "\n" + reason);
    }
}

}  // namespace karvex::win
