// Keeping the log on Windows: the save writes exactly the logged bytes and replaces a file
// atomically; in the dialog, Ctrl+S and the log's context menu offer the default name, a failed
// save shows its reason and changes nothing, and copy and select all act on the log's edit.
#include <ctime>
#include <regex>
#include <set>

#include "link/log_file.h"
#include "tests/wine/dialog/dialog_rig.h"

#include <shlobj.h>

namespace karvex::wint {
namespace {

namespace fs = std::filesystem;

// Traffic as the board and the runner leave it: CR LF, an echo's lone CR, CP932 text, noise.
const std::string kTraffic =
    std::string("AT+CGMR\r\r\nR5.5\r\n\r\nOK\r\n\xB1\xCC\xDF\x82\xA0\r\n") +
    std::string("\x1A\xFF\0x\n\n\n", 7) + "...timeout...\r\n";

std::set<std::string> Entries(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(fs::path(Utf16FromUtf8(dir)))) {
        names.insert(Utf8FromUtf16(entry.path().filename().wstring()));
    }
    return names;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(fs::path(Utf16FromUtf8(path)), std::ios::binary) << bytes;
}

// The system's own text for `error`, as the message shows it.
std::string SystemText(DWORD error) {
    wchar_t text[512] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                   text, 512, nullptr);
    std::string out = Utf8FromUtf16(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) {
        out.pop_back();
    }
    return out;
}

TEST(WinLogFile, SavesEveryByteAndReplacesOrRefusesWholly) {
    std::string every;
    for (int i = 0; i < 256; ++i) every += static_cast<char>(i);
    enum class At { Nothing, File, ReadOnlyFile, OpenFile, Folder, MissingFolder };
    // A name of 240 characters (a temporary name made longer from it would pass the limit of 255
    // for one name) in a folder of 100: a path past MAX_PATH.
    const std::string longPath = std::string(100, 'f') + "\\" + std::string(236, 'n') + ".log";
    const struct {
        const char* name;
        At at;         // what is at the name before the save
        bool slashes;  // the path written with '/'
        std::string bytes;
        DWORD error;            // ERROR_SUCCESS: saved
        std::string file = {};  // below the folder; empty: "ログ.log"
    } cases[] = {
        {"new file, every byte", At::Nothing, false, every + kTraffic, ERROR_SUCCESS},
        {"a long name past MAX_PATH", At::File, true, kTraffic, ERROR_SUCCESS, longPath},
        {"replaces a longer file, no tail left", At::File, false, "OK\r\n", ERROR_SUCCESS},
        {"empty log", At::File, true, "", ERROR_SUCCESS},
        {"read-only file kept", At::ReadOnlyFile, false, kTraffic, ERROR_ACCESS_DENIED},
        // Refused only at the move, after the temporary file was written: it goes again.
        {"file held open by another program", At::OpenFile, false, kTraffic, ERROR_ACCESS_DENIED},
        {"folder at the name", At::Folder, false, kTraffic, ERROR_ALREADY_EXISTS},
        {"folder missing", At::MissingFolder, false, kTraffic, ERROR_PATH_NOT_FOUND},
    };
    const std::string old = "old contents, longer than the new\r\n";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string top = TempDir();
        std::string path = top + "\\" + (c.file.empty() ? "ログ.log" : c.file);
        const std::string dir = path.substr(0, path.rfind('\\'));
        fs::create_directories(fs::path(Utf16FromUtf8(dir)));
        if (c.at == At::File || c.at == At::ReadOnlyFile || c.at == At::OpenFile) {
            WriteBytes(path, old);
        }
        // Open as an editor holds a file: reading, sharing neither writing nor deleting.
        const HANDLE held = c.at != At::OpenFile
                                ? INVALID_HANDLE_VALUE
                                : CreateFileW(Utf16FromUtf8(path).c_str(), GENERIC_READ,
                                              FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (c.at == At::ReadOnlyFile) {
            SetFileAttributesW(Utf16FromUtf8(path).c_str(), FILE_ATTRIBUTE_READONLY);
        }
        if (c.at == At::Folder) CreateDirectoryW(Utf16FromUtf8(path).c_str(), nullptr);
        if (c.at == At::MissingFolder) path = dir + "\\gone\\x.log";
        const std::set<std::string> before = Entries(dir);
        if (c.slashes) std::replace(path.begin(), path.end(), '\\', '/');

        const std::string reason = SaveLogFile(path, c.bytes);
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);

        if (c.error == ERROR_SUCCESS) {
            EXPECT_EQ(reason, "");
            EXPECT_EQ(ReadBytes(path), c.bytes);
            EXPECT_EQ(Entries(dir).size(), 1u);  // no temporary file left
        } else {
            EXPECT_EQ(reason, SystemText(c.error));
            EXPECT_FALSE(reason.empty());
            EXPECT_EQ(Entries(dir), before);
            if (c.at == At::ReadOnlyFile || c.at == At::OpenFile) {
                EXPECT_EQ(ReadBytes(path), old);
            }
            if (c.at == At::Folder) {
                EXPECT_TRUE(fs::is_directory(fs::path(Utf16FromUtf8(path))));
            }
        }
        SetFileAttributesW(Utf16FromUtf8(dir + "\\ログ.log").c_str(), FILE_ATTRIBUTE_NORMAL);
        fs::remove_all(fs::path(Utf16FromUtf8(top)));
    }
}

std::string DocumentsFolder() {
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, path);
    return Utf8FromUtf16(path);
}

struct SaveRig : DialogRig {
    SaveRig() {
        AppendLog(dlg->Log(), kTraffic);
        EXPECT_TRUE(PumpUntil([this] { return !Text(kIdTrafficLog).empty(); }));
        dlg->LogContextMenu().SetChooseFile([this](HWND owner, const std::string& suggested) {
            EXPECT_EQ(owner, hwnd);
            offered.push_back(suggested);
            return answer;
        });
    }
    ~SaveRig() { fs::remove_all(fs::path(Utf16FromUtf8(dir))); }

    // A key pressed while `control` has the focus, through the dialog manager as the dialog's
    // message loop delivers it; everything it leads to is done on return.
    void PressKey(int control, WPARAM key, bool ctrl) {
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_CONTROL] = ctrl ? 0x80 : 0;
        SetKeyboardState(keys);
        SetFocus(Item(control));
        PostMessageW(Item(control), WM_KEYDOWN, key, 1);
        PumpUntil([] { return true; });  // one pass empties the queue, posts made on the way too
        keys[VK_CONTROL] = 0;
        SetKeyboardState(keys);
    }
    static std::string Folder(const std::string& path) {
        return path.substr(0, path.find_last_of('\\'));
    }

    std::string dir = TempDir();
    std::string answer;
    std::vector<std::string> offered;
};

TEST(WinLogSave, CtrlSAnywhereWritesTheLogsBytesUnderTheSuggestedName) {
    SaveRig rig;
    ASSERT_NE(rig.hwnd, nullptr);
    rig.SelectCom(2);
    rig.answer = rig.dir + "\\traffic.log";
    const std::string shown = rig.Text(kIdTrafficLog);
    MessageBoxCatcher box;
    const std::time_t before = std::time(nullptr);
    rig.PressKey(kIdTrafficLog, 'S', true);
    const std::time_t after = std::time(nullptr);

    ASSERT_EQ(rig.offered.size(), 1u);
    EXPECT_EQ(SaveRig::Folder(rig.offered[0]), DocumentsFolder());
    std::smatch m;
    const std::string name = rig.offered[0].substr(rig.offered[0].rfind('\\') + 1);
    ASSERT_TRUE(std::regex_match(name, m, std::regex(R"(karvex-COM3-(\d{8}-\d{6})\.log)"))) << name;
    // The stamp is local time, between the press and its end (a second either side).
    std::set<std::string> stamps;
    for (std::time_t t = before - 1; t <= after + 1; ++t) {
        std::tm local{};
        localtime_s(&local, &t);
        char text[32];
        std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
        stamps.insert(text);
    }
    EXPECT_EQ(stamps.count(m[1].str()), 1u) << m[1].str();
    EXPECT_EQ(ReadBytes(rig.answer), kTraffic);
    EXPECT_EQ(Entries(rig.dir), std::set<std::string>{"traffic.log"});
    EXPECT_EQ(box.count, 0);
    EXPECT_EQ(rig.dlg->Log().Snapshot(), kTraffic);  // the log and its view are untouched
    EXPECT_EQ(rig.Text(kIdTrafficLog), shown);

    // From another control too; the next save starts where this one went, replaces the file in
    // place, and with no port selected the name has no port part. S alone or with Shift: no save.
    rig.SelectCom(-1);
    AppendLog(rig.dlg->Log(), "more\r\n");
    rig.PressKey(kIdComPort, 'S', true);
    ASSERT_EQ(rig.offered.size(), 2u);
    EXPECT_EQ(SaveRig::Folder(rig.offered[1]), rig.dir);
    EXPECT_TRUE(std::regex_match(rig.offered[1].substr(rig.offered[1].rfind('\\') + 1),
                                 std::regex(R"(karvex-\d{8}-\d{6}\.log)")));
    EXPECT_EQ(ReadBytes(rig.answer), kTraffic + "more\r\n");
    rig.PressKey(kIdComPort, 'S', false);
    EXPECT_EQ(rig.offered.size(), 2u);
}

// The dialog as karvex.exe runs it, in its own modal loop: Ctrl+S reaches the save there too.
TEST(WinLogSave, CtrlSInTheModalLoop) {
    static win::ModemTestDialog* dialog = nullptr;
    static int offered = 0;
    static int ticks = 0;
    win::ModemTestDialog dlg(DialogRig::NoSettings());
    dialog = &dlg;
    offered = ticks = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR, DWORD) {
        const HWND hwnd = dialog->Window();
        if (hwnd == nullptr || !IsWindowVisible(hwnd)) return;
        BYTE keys[256];
        GetKeyboardState(keys);
        if (ticks++ == 0) {
            dialog->LogContextMenu().SetChooseFile([](HWND, const std::string&) {
                ++offered;
                return std::string();
            });
            keys[VK_CONTROL] = 0x80;
            SetKeyboardState(keys);
            PostMessageW(GetDlgItem(hwnd, kIdTrafficLog), WM_KEYDOWN, 'S', 1);
        } else if (offered > 0 || ticks > 250) {
            keys[VK_CONTROL] = 0;
            SetKeyboardState(keys);
            PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
        }
    });
    EXPECT_EQ(dlg.RunModal(), IDCANCEL);
    KillTimer(nullptr, timer);
    EXPECT_EQ(offered, 1);
}

TEST(WinLogSave, FailuresShowTheReasonAndChangeNothing) {
    const struct {
        const char* name;
        const char* answer;  // beside the rig's folder; empty: the file dialog was cancelled
        DWORD error;
    } cases[] = {
        {"folder missing", "gone\\x.log", ERROR_PATH_NOT_FOUND},
        {"a folder at the name", "sub", ERROR_ALREADY_EXISTS},
        {"file dialog cancelled", "", ERROR_SUCCESS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SaveRig rig;
        ASSERT_NE(rig.hwnd, nullptr);
        WriteBytes(rig.dir + "\\old.log", "old\r\n");
        CreateDirectoryW(Utf16FromUtf8(rig.dir + "\\sub").c_str(), nullptr);
        rig.answer = c.answer[0] == '\0' ? "" : rig.dir + "\\" + c.answer;
        const std::set<std::string> before = Entries(rig.dir);
        MessageBoxCatcher box;
        rig.dlg->LogContextMenu().Run(win::LogMenu::kSave);

        EXPECT_EQ(rig.offered.size(), 1u);
        EXPECT_EQ(ReadBytes(rig.dir + "\\old.log"), "old\r\n");
        EXPECT_EQ(Entries(rig.dir), before);
        EXPECT_EQ(rig.dlg->Log().Snapshot(), kTraffic);
        if (c.error == ERROR_SUCCESS) {
            EXPECT_EQ(box.count, 0);
            continue;
        }
        EXPECT_EQ(box.count, 1);
        EXPECT_EQ(box.text,
                  "ログを保存できませんでした。\n" + rig.answer + "\n" + SystemText(c.error));
        EXPECT_EQ(box.caption, "karvex_dialog_tests");
    }
}

std::string ClipboardText() {
    std::string text;
    if (OpenClipboard(nullptr)) {
        if (HANDLE data = GetClipboardData(CF_UNICODETEXT); data != nullptr) {
            text = Utf8FromUtf16(static_cast<const wchar_t*>(GlobalLock(data)));
            GlobalUnlock(data);
        }
        CloseClipboard();
    }
    return text;
}

std::vector<std::string> MenuItems(HMENU menu) {
    std::vector<std::string> items;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[64] = {};
        GetMenuStringW(menu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
        const UINT state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
        items.push_back((state & MF_SEPARATOR) != 0 ? "-"
                        : (state & MF_GRAYED) != 0  ? "(" + Utf8FromUtf16(text) + ")"
                                                    : Utf8FromUtf16(text));
    }
    return items;
}

TEST(WinLogMenu, ItemsFollowTheEditAndActOnIt) {
    SaveRig rig;
    ASSERT_NE(rig.hwnd, nullptr);
    const HWND edit = rig.Item(kIdTrafficLog);
    auto menuNow = [&] {
        HMENU menu = rig.dlg->LogContextMenu().CreateMenu();
        std::vector<std::string> items = MenuItems(menu);
        DestroyMenu(menu);
        return items;
    };
    using Items = std::vector<std::string>;
    // Copy only with a selection; select all only with text.
    SendMessageW(edit, EM_SETSEL, 3, 3);
    EXPECT_EQ(menuNow(), (Items{"(コピー)", "すべて選択", "-", "ログを保存…"}));
    rig.dlg->LogContextMenu().Run(win::LogMenu::kSelectAll);
    DWORD start = 1, end = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, static_cast<DWORD>(GetWindowTextLengthW(edit)));
    EXPECT_EQ(menuNow(), (Items{"コピー", "すべて選択", "-", "ログを保存…"}));

    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();
    rig.dlg->LogContextMenu().Run(win::LogMenu::kCopy);
    EXPECT_EQ(ClipboardText(), rig.Text(kIdTrafficLog));

    rig.dlg->Log().Clear();
    ASSERT_TRUE(PumpUntil([&] { return rig.Text(kIdTrafficLog).empty(); }));
    EXPECT_EQ(menuNow(), (Items{"(コピー)", "(すべて選択)", "-", "ログを保存…"}));
}

// The menu a right click on the log opens, read from inside its own loop; then the last item is
// chosen with the keyboard.
class PopupCatcher {
  public:
    PopupCatcher() {
        instance_ = this;
        timer_ = SetTimer(nullptr, 0, 20, &Tick);
    }
    ~PopupCatcher() {
        KillTimer(nullptr, timer_);
        instance_ = nullptr;
    }
    std::vector<std::string> items;

  private:
    static BOOL CALLBACK Find(HWND hwnd, LPARAM) {
        wchar_t cls[16] = {};
        GetClassNameW(hwnd, cls, 16);
        if (std::wstring(cls) != L"#32768" || !IsWindowVisible(hwnd) || instance_->seen_) {
            return TRUE;
        }
        instance_->seen_ = true;
        instance_->items =
            MenuItems(reinterpret_cast<HMENU>(SendMessageW(hwnd, MN_GETHMENU, 0, 0)));
        PostMessageW(hwnd, WM_KEYDOWN, VK_UP, 1);
        PostMessageW(hwnd, WM_KEYDOWN, VK_RETURN, 1);
        return FALSE;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        EnumThreadWindows(GetCurrentThreadId(), &Find, 0);
    }
    static inline PopupCatcher* instance_ = nullptr;
    UINT_PTR timer_ = 0;
    bool seen_ = false;
};

TEST(WinLogMenu, RightClickOnTheLogOpensItsMenu) {
    SaveRig rig;
    ASSERT_NE(rig.hwnd, nullptr);
    PopupCatcher popup;
    RECT r{};
    GetWindowRect(rig.Item(kIdTrafficLog), &r);
    SendMessageW(rig.Item(kIdTrafficLog), WM_CONTEXTMENU,
                 reinterpret_cast<WPARAM>(rig.Item(kIdTrafficLog)),
                 MAKELPARAM(r.left + 5, r.top + 5));
    EXPECT_EQ(popup.items,
              (std::vector<std::string>{"(コピー)", "すべて選択", "-", "ログを保存…"}));
    EXPECT_EQ(rig.offered.size(), 1u);  // the last item, chosen, asked for a file
}

}  // namespace
}  // namespace karvex::wint
