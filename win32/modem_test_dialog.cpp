#include "win32/modem_test_dialog.h"

#include <vector>

#include "dialog/settings_file.h"
#include "dialog/window_sequences.h"
#include "link/program_path.h"
#include "link/program_places.h"
#include "link/utf16_win.h"
#include "resources/main_dialog.h"
#include "win32/dialog_template.h"

namespace karvex::win {

using namespace res;

ModemTestDialog::ModemTestDialog() : ModemTestDialog(Options{}) {}

ModemTestDialog::ModemTestDialog(Options options) : options_(std::move(options)) {
    RegisterLogWindowClass();  // the description's log is made with it
    places_ = ThisProgramsPlaces();
    const std::string beside =
        options_.settingsPath ? *options_.settingsPath : places_.besideSettings;
    const std::string user =
        options_.userSettingsPath ? *options_.userSettingsPath : places_.userSettings;
    settings_ = FindSettingsPlace(beside, user, places_.installed);
}

ModemTestDialog::~ModemTestDialog() {
    if (hwnd_ != nullptr) {
        DestroyWindow(hwnd_);  // WM_DESTROY stops and joins every thread of the link
    }
}

INT_PTR ModemTestDialog::RunModal(HWND owner) {
    modal_ = true;
    const std::vector<DWORD> tpl = BuildDialogTemplate(MainDialog());
    return DialogBoxIndirectParamW(GetModuleHandleW(nullptr),
                                   reinterpret_cast<LPCDLGTEMPLATEW>(tpl.data()), owner, &Proc,
                                   reinterpret_cast<LPARAM>(this));
}

HWND ModemTestDialog::Create(HWND owner) {
    modal_ = false;
    const std::vector<DWORD> tpl = BuildDialogTemplate(MainDialog());
    return CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                      reinterpret_cast<LPCDLGTEMPLATEW>(tpl.data()), owner, &Proc,
                                      reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK ModemTestDialog::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<ModemTestDialog*>(lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        self->OnInit(hwnd);
        return FALSE;  // the focus was set: the first control in tab order, the log
    }
    auto* self = reinterpret_cast<ModemTestDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (self == nullptr) {
        return FALSE;
    }
    return self->Handle(message, wParam, lParam);
}

void ModemTestDialog::OnInit(HWND hwnd) {
    hwnd_ = hwnd;
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    bigIcon_ =
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kProgramIconId), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    smallIcon_ = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kProgramIconId),
                                               IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0));
    if (bigIcon_ != nullptr) {
        SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
    }
    if (smallIcon_ != nullptr) {
        SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
    }

    panel_ = std::make_unique<PanelQueue>(
        PanelQueue::Handlers{
            [this](bool enable) { controller_->EnableInputsFromWorker(enable); },
            [this](const std::string& text) { ShowMessage(text); },
        },
        [this] { Post(kPanelMessage); });
    logView_ = std::make_unique<LogWindow>(log_, Item(kIdTrafficLog),
                                           [this] { return Post(kLogMessage); });
    logMenu_ = std::make_unique<LogMenu>(
        log_, hwnd, Item(kIdTrafficLog),
        [this] { return Selection(kIdComPort) >= 0 ? Text(kIdComPort) : std::string(); },
        [this](const std::string& text) { ShowMessage(text); });
    LinkPort& port = options_.port != nullptr ? *options_.port : ThePort();
    session_ = std::make_unique<ModemSession>(log_, *panel_, port, options_.timing);
    controller_ = std::make_unique<ModemTestController>(
        *this, *session_, *panel_, settings_.write, ProgramVersion(), settings_.read,
        options_.sequenceDirs ? *options_.sequenceDirs : places_.sequenceDirs);
    controller_->OnInitDialog();
}

bool ModemTestDialog::Post(UINT message) const {
    return options_.post ? options_.post(hwnd_, message)
                         : PostMessageW(hwnd_, message, 0, 0) != FALSE;
}

void ModemTestDialog::CatchUp() {
    if (panel_) {
        panel_->Deliver();
    }
    if (logView_) {
        logView_->Refresh();
    }
}

void ModemTestDialog::FollowLink() {
    // A post that failed (PostMessageW refuses once the thread's queue holds 10,000 messages)
    // would leave the log frozen, or the inputs disabled after a run; the timer delivers what
    // waits within a quarter of a second, as soon as the queue has drained. Once the link is
    // closed its threads have been joined: one last catch-up takes what they left.
    if (session_->LinkOpen()) {
        SetTimer(hwnd_, kCatchUpTimer, kCatchUpMs, nullptr);
    } else {
        KillTimer(hwnd_, kCatchUpTimer);
        CatchUp();
    }
}

void ModemTestDialog::OnDestroy() {
    // Stop and join the monitor and the worker and close the port before anything they report to
    // (the log view, the panel) goes away; what they posted and is still queued finds no window.
    if (session_) {
        session_->Disconnect();
    }
    controller_.reset();
    session_.reset();
    logMenu_.reset();
    logView_.reset();
    panel_.reset();
    if (bigIcon_ != nullptr) {
        DestroyIcon(bigIcon_);
    }
    if (smallIcon_ != nullptr) {
        DestroyIcon(smallIcon_);
    }
    bigIcon_ = smallIcon_ = nullptr;
    SetWindowLongPtrW(hwnd_, DWLP_USER, 0);
    hwnd_ = nullptr;
}

INT_PTR ModemTestDialog::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            const int code = HIWORD(wParam);
            if (id == kIdConnect && code == BN_CLICKED) {
                controller_->OnConnect();
                FollowLink();
            } else if (id == kIdExecute && code == BN_CLICKED) {
                controller_->OnExecute();
            } else if (id == kIdTestItem && code == CBN_SELCHANGE) {
                controller_->OnSelchangeItem();
            } else if (id == IDOK) {
                controller_->OnOk();  // Enter: ends without saving
            } else if (id == IDCANCEL) {
                controller_->OnCancel();  // Esc: ends without saving
            } else {
                return FALSE;
            }
            return TRUE;
        }
        case WM_CLOSE:
            if (settings_.userFolder) {
                MakeSettingsFolder(settings_.write);  // the first save there makes the folder
            }
            controller_->OnClose();  // the close box: saves the settings, then ends
            return TRUE;
        case kPanelMessage:
            if (panel_) {
                panel_->Deliver();
            }
            return TRUE;
        case kLogMessage:
            if (logView_) {
                logView_->Refresh();
            }
            return TRUE;
        case WM_TIMER:
            if (wParam != kCatchUpTimer) {
                return FALSE;
            }
            CatchUp();
            return TRUE;
        case WM_CONTEXTMENU:
            if (logMenu_ && reinterpret_cast<HWND>(wParam) == Item(kIdTrafficLog)) {
                logMenu_->Popup(lParam);
                return TRUE;
            }
            return FALSE;
        case kSaveLogMessage:
            if (logMenu_) {
                logMenu_->Save();
            }
            return TRUE;
        case WM_DESTROY:
            OnDestroy();
            return TRUE;
        default:
            return FALSE;
    }
}

void ModemTestDialog::SetText(int id, const std::string& text) {
    SetWindowTextW(Item(id), Utf16FromUtf8(text).c_str());
}

std::string ModemTestDialog::Text(int id) const {
    const HWND item = Item(id);
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(item)) + 1, L'\0');
    const int n = GetWindowTextW(item, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(n > 0 ? n : 0));
    return Utf8FromUtf16(text);
}

void ModemTestDialog::Enable(int id, bool enable) {
    EnableWindow(Item(id), enable ? TRUE : FALSE);
}

void ModemTestDialog::Show(int id, bool show) {
    ShowWindow(Item(id), show ? SW_SHOW : SW_HIDE);
}

void ModemTestDialog::Place(int id, const res::DialogRect& rect) {
    RECT r{rect.x, rect.y, rect.x + rect.w, rect.y + rect.h};
    MapDialogRect(hwnd_, &r);
    MoveWindow(Item(id), r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
}

bool ModemTestDialog::IsChecked(int id) const {
    return IsDlgButtonChecked(hwnd_, id) == BST_CHECKED;
}

void ModemTestDialog::Check(int id) {
    // The radio buttons of the group `id` belongs to, as the description groups them.
    const auto controls = MainDialog().controls;
    size_t at = 0;
    while (at < controls.size() && controls[at].id != id) {
        ++at;
    }
    size_t first = at;
    while (first > 0 && (controls[first].style & kGroup) == 0) {
        --first;
    }
    for (size_t i = first; i < controls.size(); ++i) {
        if (i > first && (controls[i].style & kGroup) != 0) {
            break;
        }
        if (controls[i].kind == ControlKind::RadioButton) {
            CheckDlgButton(hwnd_, controls[i].id,
                           controls[i].id == id ? BST_CHECKED : BST_UNCHECKED);
        }
    }
}

void ModemTestDialog::AddEntry(int id, const std::string& text) {
    SendMessageW(Item(id), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Utf16FromUtf8(text).c_str()));
}

int ModemTestDialog::Selection(int id) const {
    const LRESULT index = SendMessageW(Item(id), CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? -1 : static_cast<int>(index);
}

void ModemTestDialog::Select(int id, int index) {
    SendMessageW(Item(id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void ModemTestDialog::Focus(int id) {
    SetFocus(Item(id));
}

void ModemTestDialog::ShowMessage(const std::string& text) {
    MessageBoxW(hwnd_, Utf16FromUtf8(text).c_str(), ApplicationTitle().c_str(), MB_OK);
}

void ModemTestDialog::RefreshLog() {
    if (logView_) {
        logView_->Refresh();
    }
}

void ModemTestDialog::EndDialog(int result) {
    result_ = result;
    if (modal_) {
        ::EndDialog(hwnd_, result);
    } else {
        DestroyWindow(hwnd_);
    }
}

std::wstring ApplicationTitle() {
    return Utf16FromUtf8(BaseNameOf(ExecutablePath()));
}

}  // namespace karvex::win
