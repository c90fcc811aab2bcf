// The Windows dialog without a board: what it is made of, its start state, the fields per item,
// "COM error.", the keys that end it, and the settings file it reads and writes.
#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>
#include <vector>

#include "dialog/item_fields.h"
#include "dialog/settings_file.h"
#include "dialog/settings_place.h"
#include "dialog/window_sequences.h"
#include "link/program_places.h"
#include "tests/wine/dialog/dialog_rig.h"

#include <knownfolders.h>
#include <shlobj.h>

namespace karvex::wint {
namespace {

std::string ClassOf(HWND hwnd) {
    wchar_t cls[32] = {};
    GetClassNameW(hwnd, cls, 32);
    return Utf8FromUtf16(cls);
}

TEST(WinDialog, ControlsComeFromTheDescription) {
    DialogRig rig;
    ASSERT_NE(rig.hwnd, nullptr);
    EXPECT_EQ(WindowText(rig.hwnd), "Karvex");
    const DialogTemplate& tpl = MainDialog();
    HWND previous = nullptr;
    for (const ControlTemplate& c : tpl.controls) {
        SCOPED_TRACE(c.id);
        const HWND item = rig.Item(c.id);
        ASSERT_NE(item, nullptr);
        // Kind, and the styles that decide behaviour.
        const bool log = c.kind == ControlKind::Edit && (c.style & kMultiLine) != 0;
        const char* cls = log                               ? "KarvexLog"
                          : c.kind == ControlKind::Edit     ? "Edit"
                          : c.kind == ControlKind::ComboBox ? "ComboBox"
                          : c.kind == ControlKind::Static   ? "Static"
                                                            : "Button";
        EXPECT_EQ(ClassOf(item), cls);
        const auto style = static_cast<DWORD>(GetWindowLongW(item, GWL_STYLE));
        EXPECT_EQ((style & WS_TABSTOP) != 0, (c.style & kTabStop) != 0);
        EXPECT_EQ((style & WS_GROUP) != 0, (c.style & kGroup) != 0);
        if (c.kind == ControlKind::Edit) {
            EXPECT_EQ((style & ES_MULTILINE) != 0, (c.style & kMultiLine) != 0);
            EXPECT_EQ((style & ES_READONLY) != 0, (c.style & kReadOnly) != 0);
        }
        if (c.kind == ControlKind::ComboBox) {
            EXPECT_EQ(style & 3u, static_cast<DWORD>(CBS_DROPDOWNLIST));
        }
        if (c.kind == ControlKind::RadioButton) {
            EXPECT_EQ(style & 0xFu, static_cast<DWORD>(BS_AUTORADIOBUTTON));
        }
        // Place: the description's dialog units through the dialog font's base units (a combo
        // box's height there includes its list).
        // Place and size are converted each on its own, as the dialog manager does.
        RECT place{c.rect.x, c.rect.y, c.rect.w, c.rect.h};
        MapDialogRect(rig.hwnd, &place);
        RECT got;
        GetWindowRect(item, &got);
        MapWindowPoints(nullptr, rig.hwnd, reinterpret_cast<POINT*>(&got), 2);
        EXPECT_EQ(got.left, place.left);
        EXPECT_EQ(got.top, place.top);
        EXPECT_EQ(got.right - got.left, place.right);
        if (c.kind != ControlKind::ComboBox) {
            EXPECT_EQ(got.bottom - got.top, place.bottom);
        }
        // Tab order is the description's order.
        if (previous != nullptr) {
            EXPECT_EQ(GetWindow(previous, GW_HWNDNEXT), item);
        }
        previous = item;
    }
    // The dialog font, as the description names it.
    const auto font = reinterpret_cast<HFONT>(SendMessageW(rig.hwnd, WM_GETFONT, 0, 0));
    LOGFONTW lf{};
    ASSERT_TRUE(GetObjectW(font, sizeof lf, &lf));
    EXPECT_EQ(Utf8FromUtf16(lf.lfFaceName), tpl.fontFace);
    // Room for a long GPS run in the log, far beyond the default 32 K characters.
    EXPECT_GE(static_cast<DWORD>(SendMessageW(rig.Item(kIdTrafficLog), EM_GETLIMITTEXT, 0, 0)),
              0x7FFFFFFEu);
}

// The resources this program carries (karvex.exe's), as Windows reads them: the manifest selects
// the common controls 6, asks for the user's own rights and names Windows 10 and 11; the icon has
// an image for each size the shell asks for from 100 to 200 % and for its large views.
TEST(WinDialog, ManifestAndIconAsWindowsReadThem) {
    const HMODULE comctl = GetModuleHandleW(L"comctl32.dll");
    ASSERT_NE(comctl, nullptr);
    wchar_t path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(comctl, path, MAX_PATH), 0u);
    std::string loaded = Utf8FromUtf16(path);
    for (char& c : loaded) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    EXPECT_NE(loaded.find("winsxs"), std::string::npos) << loaded;
    EXPECT_NE(loaded.find("common-controls_6595b64144ccf1df_6."), std::string::npos) << loaded;

    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION level{};
    ASSERT_TRUE(QueryActCtxW(0, nullptr, nullptr, RunlevelInformationInActivationContext, &level,
                             sizeof level, nullptr));
    EXPECT_EQ(level.RunLevel, ACTCTX_RUN_LEVEL_AS_INVOKER);
    // A count, then (since Windows 10 1903, and in Wine) 32 bytes per entry from offset 8.
    DWORD compat[16] = {};
    const GUID windows10{
        0x8e0f7a12, 0xbfb3, 0x4fe8, {0xb9, 0xa5, 0x48, 0xfd, 0x50, 0xa1, 0x5a, 0x9a}};
    ASSERT_TRUE(QueryActCtxW(0, nullptr, nullptr, CompatibilityInformationInActivationContext,
                             compat, sizeof compat, nullptr));
    EXPECT_EQ(compat[0], 1u);
    EXPECT_EQ(std::memcmp(&compat[2], &windows10, sizeof windows10), 0);

    const HMODULE self = GetModuleHandleW(nullptr);
    const auto* group = static_cast<const BYTE*>(LockResource(
        LoadResource(self, FindResourceW(self, MAKEINTRESOURCEW(kProgramIconId), RT_GROUP_ICON))));
    ASSERT_NE(group, nullptr);
    std::set<int> sizes;  // entries of 14 bytes after a 6-byte head; a width of 0 is 256
    for (int i = 0; i < group[4]; ++i)
        sizes.insert(group[6 + 14 * i] == 0 ? 256 : group[6 + 14 * i]);
    EXPECT_EQ(sizes, (std::set<int>{16, 20, 24, 32, 40, 48, 64, 256}));
}

TEST(WinDialog, StartsClosedWithTheDefaults) {
    DialogRig rig;
    ASSERT_NE(rig.hwnd, nullptr);
    const HWND com = rig.Item(kIdComPort);
    ASSERT_EQ(SendMessageW(com, CB_GETCOUNT, 0, 0), 99);
    EXPECT_EQ(SendMessageW(com, CB_GETCURSEL, 0, 0), 0);
    wchar_t entry[16];
    SendMessageW(com, CB_GETLBTEXT, 98, reinterpret_cast<LPARAM>(entry));
    EXPECT_EQ(Utf8FromUtf16(entry), "COM99");
    const HWND items = rig.Item(kIdTestItem);
    ASSERT_EQ(SendMessageW(items, CB_GETCOUNT, 0, 0), 12);
    for (int i = 0; i < 12; ++i) {
        std::wstring text(static_cast<size_t>(SendMessageW(items, CB_GETLBTEXTLEN, i, 0)) + 1,
                          L'\0');
        SendMessageW(items, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        text.pop_back();
        EXPECT_EQ(Utf8FromUtf16(text), TestItemFields()[static_cast<size_t>(i)].caption);
    }
    EXPECT_EQ(IsDlgButtonChecked(rig.hwnd, kIdTolva1), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(rig.hwnd, kIdTolva2), BST_UNCHECKED);
    EXPECT_EQ(rig.Text(kIdConnect), "接続");
    EXPECT_EQ(rig.Text(kIdSmsNumber), "1");
    EXPECT_EQ(rig.Text(kIdVersion), "Version 1.01");  // from this program's version resource
    // Closed link: the inputs off; the COM port, the models and 接続 on.
    for (int id : InputControls()) {
        EXPECT_EQ(rig.Enabled(id), id == kIdTolva1 || id == kIdTolva2) << id;
    }
    EXPECT_TRUE(rig.Enabled(kIdComPort));
    EXPECT_TRUE(rig.Enabled(kIdConnect));
    EXPECT_EQ(GetFocus(), rig.Item(kIdTrafficLog));
}

TEST(WinDialog, EachItemShowsItsFields) {
    DialogRig rig;
    ASSERT_NE(rig.hwnd, nullptr);
    for (size_t i = 0; i < TestItemFields().size(); ++i) {
        SCOPED_TRACE(i);
        rig.SelectItem(static_cast<int>(i));
        const ItemFields& item = TestItemFields()[i];
        const std::set<int> want(item.shown.begin(), item.shown.end());
        for (int id : ItemDependentControls()) {
            EXPECT_EQ(rig.Shown(id), want.count(id) == 1) << id;
        }
        if (item.itemLabel != nullptr) {
            EXPECT_EQ(rig.Text(kIdItemLabel), item.itemLabel);
        }
    }
}

// Sequences come from beside the exe, then from the per-user folder the settings fall back to.
TEST(WinDialog, SequenceFoldersBesideTheExeThenPerUser) {
    wchar_t local[MAX_PATH] = {};
    ASSERT_GT(GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH), 0u);
    EXPECT_EQ(ProgramPlacesOf("C:\\kvx\\karvex.exe").sequenceDirs,
              (std::vector<std::string>{"C:\\kvx\\sequences",
                                        Utf8FromUtf16(local) + "\\Karvex\\sequences"}));
}

TEST(WinDialog, ComErrorForAMissingPortOrNoSelection) {
    DialogRig rig;
    ASSERT_NE(rig.hwnd, nullptr);
    for (const int index : {97, -1}) {  // COM98: no device behind it in the prefix
        SCOPED_TRACE(index);
        rig.SelectCom(index);
        MessageBoxCatcher box;
        rig.Click(kIdConnect);
        EXPECT_EQ(box.count, 1);
        EXPECT_EQ(box.text, "COM error.");
        EXPECT_EQ(box.caption, "karvex_dialog_tests");  // the program's base name
        EXPECT_EQ(rig.Text(kIdConnect), "接続");
        EXPECT_FALSE(rig.Enabled(kIdExecute));
        EXPECT_FALSE(rig.dlg->Session().LinkOpen());
    }
}

// ---- the settings file ----

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(std::filesystem::path(Utf16FromUtf8(path)), std::ios::binary | std::ios::trunc)
        << bytes;
}

win::ModemTestDialog::Options WithSettings(const std::string& path) {
    win::ModemTestDialog::Options o;
    o.settingsPath = path;
    return o;
}

const std::string kFile =
    "1\r\n5\r\napn.example\r\n\x83\x86\x81\x5B\x83\x55\r\npass\r\n0312345678\r\n";

TEST(WinSettings, ReadAtStartWrittenOnlyByTheCloseBox) {
    const std::string dir = TempDir();
    const std::string path = dir + "\\karvex.ini";
    struct Case {
        const char* name;
        std::function<void(DialogRig&)> end;
        bool saves;
    };
    const Case cases[] = {
        {"close box", [](DialogRig& r) { SendMessageW(r.hwnd, WM_SYSCOMMAND, SC_CLOSE, 0); }, true},
        {"Enter",
         [](DialogRig& r) { PostMessageW(r.Item(kIdTrafficLog), WM_KEYDOWN, VK_RETURN, 0); },
         false},
        {"Esc", [](DialogRig& r) { PostMessageW(r.Item(kIdTrafficLog), WM_KEYDOWN, VK_ESCAPE, 0); },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(path, kFile);
        DialogRig rig(WithSettings(path));
        ASSERT_NE(rig.hwnd, nullptr);
        EXPECT_EQ(IsDlgButtonChecked(rig.hwnd, kIdTolva2), BST_CHECKED);
        EXPECT_EQ(SendMessageW(rig.Item(kIdComPort), CB_GETCURSEL, 0, 0), 4);
        EXPECT_EQ(rig.Text(kIdApn), "apn.example");
        EXPECT_EQ(rig.Text(kIdUser), "ユーザ");
        EXPECT_EQ(rig.Text(kIdPhone), "0312345678");
        // The operator's changes: the other model, COM12, text CP932 cannot hold, a line break.
        rig.Click(kIdTolva1);
        rig.SelectCom(11);
        rig.Type(kIdApn, "  新しい.apn  ");
        rig.Type(kIdUser, "a\xF0\x9F\x98\x80z");  // an emoji
        rig.Type(kIdPassword, "p\r\nq");
        c.end(rig);
        ASSERT_TRUE(PumpUntil([&] { return rig.Ended(); }));
        EXPECT_EQ(*rig.dlg->Result(),
                  c.saves ? IDCANCEL : (std::string(c.name) == "Enter" ? IDOK : IDCANCEL));
        EXPECT_EQ(ReadBytes(path),
                  c.saves
                      ? std::string("0\r\n12\r\n\x90\x56\x82\xb5\x82\xa2.apn\r\na?z\r\np\r q\r\n"
                                    "0312345678\r\n")
                      : kFile);
    }
}

TEST(WinSettings, FailedSavesKeepTheOldFileAndLeaveNothing) {
    const std::string dir = TempDir();
    Settings s;
    s.apn = "x";
    // A missing directory, and a directory standing where the file should be.
    CreateDirectoryW(Utf16FromUtf8(dir + "\\sub.ini").c_str(), nullptr);
    for (const std::string& path : {dir + "\\missing\\karvex.ini", dir + "\\sub.ini"}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(SaveSettings(path, s));
    }
    // Nothing but the directory is left behind.
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(Utf16FromUtf8(dir + "\\*").c_str(), &found);
    std::set<std::string> names;
    do {
        names.insert(Utf8FromUtf16(found.cFileName));
    } while (FindNextFileW(find, &found));
    FindClose(find);
    EXPECT_EQ(names, (std::set<std::string>{".", "..", "sub.ini"}));
    Settings loaded;
    EXPECT_LT(LoadSettings(dir + "\\sub.ini", loaded), 0);
}

// ---- where the settings file lives ----

// Whether a file can be made in a folder, or a file opened for writing.
bool Writable(const std::wstring& path) {
    const bool folder = (GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const HANDLE h = CreateFileW((folder ? path + L"\\probe" : path).c_str(), GENERIC_WRITE,
                                 FILE_SHARE_READ, nullptr, folder ? CREATE_NEW : OPEN_EXISTING,
                                 folder ? FILE_FLAG_DELETE_ON_CLOSE : 0, nullptr);
    return h != INVALID_HANDLE_VALUE && CloseHandle(h);
}

// Marks a path under Z:\tmp with chattr +i (or unmarks it, "-i"), Wine running the Linux program:
// not even root may then add to, rename in or write what is marked, as on a locked-down PC or a
// read-only share. Wine cannot wait for a Linux process: the mark is waited for by its effect.
bool Chattr(const char* flag, const std::string& path) {
    std::wstring command = Utf16FromUtf8(std::string("chattr ") + flag + " " + path.substr(2));
    std::replace(command.begin(), command.end(), L'\\', L'/');  // Z:\tmp\x is /tmp/x
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(L"Z:\\usr\\bin\\chattr", command.data(), nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &si, &pi)) {
        return false;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return PumpUntil([&] { return Writable(Utf16FromUtf8(path)) == (flag[0] == '-'); });
}

// The APN a settings file holds; "-" when there is none.
std::string ApnIn(const std::string& path) {
    Settings s;
    return LoadSettings(path, s) < 0 ? "-" : s.apn;
}

TEST(WinSettings, KeptWhereTheFolderCanHoldIt) {
    enum class Lock { None, Folder, FolderAndFile };  // the exe's folder, and its file
    const struct {
        const char* name;
        bool beside, user;  // a file beside the exe (APN "a"), in the user's folder ("u")
        Lock lock;
        bool held;          // another program holds the old file for a moment during the save
        const char* shown;  // the APN at the first start ("": the defaults)
        const char* besideAfter;
        const char* userAfter;  // the APN in each file once the close box saved "b"
    } cases[] = {
        {"nothing yet: beside the exe", false, false, Lock::None, false, "", "b", "-"},
        {"only the user's: read, saved beside", false, true, Lock::None, false, "u", "b", "u"},
        {"locked folder: the user's folder", false, false, Lock::Folder, false, "", "-", "b"},
        {"locked folder, writable file: in place", true, false, Lock::Folder, false, "a", "b", "-"},
        {"read-only share: the user's", true, false, Lock::FolderAndFile, false, "a", "a", "b"},
        {"read-only share: the user's wins", true, true, Lock::FolderAndFile, false, "u", "a", "b"},
        {"old file held for a moment", true, false, Lock::None, true, "a", "b", "-"},
    };
    const std::string top = "Z:\\tmp\\karvex-wine-" + std::to_string(GetCurrentProcessId()) + "-" +
                            std::to_string(GetTickCount64());
    int n = 0, skipped = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string exe = top + "\\" + std::to_string(++n), user = exe + "-user\\Karvex";
        std::filesystem::create_directories(Utf16FromUtf8(exe));
        std::filesystem::create_directories(Utf16FromUtf8(user));
        win::ModemTestDialog::Options o;
        o.settingsPath = exe + "\\karvex.ini";
        o.userSettingsPath = user + "\\karvex.ini";
        if (c.beside) WriteBytes(*o.settingsPath, "0\r\n1\r\na\r\n\r\n\r\n\r\n");
        if (c.user) WriteBytes(*o.userSettingsPath, "0\r\n1\r\nu\r\n\r\n\r\n\r\n");
        if (!c.user) RemoveDirectoryW(Utf16FromUtf8(user).c_str());  // the first save makes it
        std::vector<std::string> locked;
        if (c.lock == Lock::FolderAndFile) locked.push_back(*o.settingsPath);
        if (c.lock != Lock::None) locked.push_back(exe);
        // Where root may not lock a path (no chattr, or no right to it), the case is skipped.
        const bool lockedAll = std::all_of(locked.begin(), locked.end(),
                                           [](const std::string& p) { return Chattr("+i", p); });
        skipped += lockedAll ? 0 : 1;
        if (lockedAll) {
            const HANDLE held = !c.held
                                    ? nullptr
                                    : CreateFileW(Utf16FromUtf8(*o.settingsPath).c_str(),
                                                  GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                  nullptr, OPEN_EXISTING, 0, nullptr);
            std::thread holder;  // the other program lets go 150 ms after the close box was pressed
            {
                DialogRig rig(o);
                EXPECT_EQ(rig.Text(kIdApn), c.shown);
                rig.Type(kIdApn, "b");
                if (c.held) holder = std::thread([held] { Sleep(150), CloseHandle(held); });
                SendMessageW(rig.hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
            }
            if (holder.joinable()) holder.join();
            EXPECT_EQ(ApnIn(*o.settingsPath), c.besideAfter);
            EXPECT_EQ(ApnIn(*o.userSettingsPath), c.userAfter);
            for (const auto& e : std::filesystem::directory_iterator(Utf16FromUtf8(exe))) {
                EXPECT_NE(e.path().filename().wstring()[0], L'~') << "a temporary file left";
            }
            EXPECT_EQ(DialogRig(o).Text(kIdApn), "b") << "the next start finds it";
        }
        for (const std::string& path : locked) Chattr("-i", path);
    }
    std::filesystem::remove_all(Utf16FromUtf8(top));
    wchar_t* local = nullptr;  // unset, the user's file is the local application data's
    ASSERT_EQ(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &local), S_OK);
    EXPECT_EQ(ProgramPlacesOf("C:\\x\\karvex.exe").userSettings,
              Utf8FromUtf16(local) + "\\Karvex\\karvex.ini");
    CoTaskMemFree(local);
    if (skipped > 0) GTEST_SKIP() << skipped << " cases need chattr +i on /tmp";
}

TEST(WinSettings, BytesAsOnLinux) {
    struct Case {
        const char* name;
        Settings values;
        std::string file;
    };
    const auto make = [](bool tolva2, long port, const char* apn, const char* user) {
        Settings s;
        s.tolva2 = tolva2;
        s.port = port;
        s.apn = apn;
        s.user = user;
        return s;
    };
    const Case cases[] = {
        {"empty", make(true, 3, "", ""), "1\r\n3\r\n\r\n\r\n\r\n\r\n"},
        {"full-width space kept, ASCII trimmed", make(false, 2, " \t\u3000あ\u3000\r\n", "ｱﾌﾟﾘ"),
         "0\r\n2\r\n\x81\x40\x82\xA0\x81\x40\r\n\xB1\xCC\xDF\xD8\r\n\r\n\r\n"},
        // No best-fit mapping: é is not sent as e; a surrogate pair is one '?'.
        {"unmappable",
         make(false, 1, "\u00e9",
              "a\xF0\x9F\x98\x80"
              "b"),
         "0\r\n1\r\n?\r\na?b\r\n\r\n\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SettingsFileBytes(c.values), c.file);
        Settings back;
        ASSERT_EQ(ParseSettings(c.file, back), 0);
        EXPECT_EQ(SettingsFileBytes(back), c.file);
    }
    // A pair that does not decode becomes U+FFFD (saved again as '?'), and the byte after the
    // lead is read on its own; 0x1A stays itself.
    Settings odd;
    ASSERT_EQ(ParseSettings("0\r\n1\r\n\x81\x7Fz\r\n\x1A\r\n\r\n\r\n", odd), 0);
    EXPECT_EQ(odd.apn, "\xEF\xBF\xBD\x7Fz");
    EXPECT_EQ(odd.user, "\x1A");
}

}  // namespace
}  // namespace karvex::wint
