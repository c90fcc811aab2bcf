// The Windows dialog without a board: what it is made of, its start state, the fields per item,
// "COM error.", the keys that end it, and the settings file it reads and writes.
#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>
#include <vector>

#include "dialog/item_fields.h"
#include "dialog/settings_file.h"
#include "dialog/settings_place.h"
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
        const char* cls = c.kind == ControlKind::Edit       ? "Edit"
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
// the common controls 6, runs the program with the user's rights and names Windows 10 and 11;
// the icon has an image for every size the shell asks for from 100 to 200 % and for its large
// views, each of which loads at its own size.
TEST(WinDialog, ManifestAndIconAsWindowsReadThem) {
    const HMODULE comctl = GetModuleHandleW(L"comctl32.dll");
    ASSERT_NE(comctl, nullptr);
    wchar_t path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(comctl, path, MAX_PATH), 0u);
    std::string loaded = Utf8FromUtf16(path);
    for (char& c : loaded) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    EXPECT_NE(loaded.find("winsxs"), std::string::npos) << loaded;
    EXPECT_NE(loaded.find("common-controls_6595b64144ccf1df_6."), std::string::npos) << loaded;

    // The process's own activation context, the one its manifest made.
    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION level{};
    ASSERT_TRUE(QueryActCtxW(0, nullptr, nullptr, RunlevelInformationInActivationContext, &level,
                             sizeof level, nullptr));
    EXPECT_EQ(level.RunLevel, ACTCTX_RUN_LEVEL_AS_INVOKER);
    struct {
        DWORD count;
        struct {
            GUID id;
            DWORD type;
            ULONGLONG maxVersionTested;  // in the layout since Windows 10 1903, as Wine has it
        } elements[4];
    } compat{};
    ASSERT_TRUE(QueryActCtxW(0, nullptr, nullptr, CompatibilityInformationInActivationContext,
                             &compat, sizeof compat, nullptr));
    const GUID windows10 = {
        0x8e0f7a12, 0xbfb3, 0x4fe8, {0xb9, 0xa5, 0x48, 0xfd, 0x50, 0xa1, 0x5a, 0x9a}};
    ASSERT_EQ(compat.count, 1u);
    EXPECT_EQ(compat.elements[0].type, static_cast<DWORD>(ACTCTX_COMPATIBILITY_ELEMENT_TYPE_OS));
    EXPECT_TRUE(IsEqualGUID(compat.elements[0].id, windows10));

    const HMODULE self = GetModuleHandleW(nullptr);
    const HRSRC group = FindResourceW(self, MAKEINTRESOURCEW(kProgramIconId), RT_GROUP_ICON);
    ASSERT_NE(group, nullptr);
    auto* dir = static_cast<BYTE*>(LockResource(LoadResource(self, group)));
    std::set<int> sizes;
    for (int size : {16, 20, 24, 32, 40, 48, 64, 256}) {
        SCOPED_TRACE(size);
        const int id = LookupIconIdFromDirectoryEx(dir, TRUE, size, size, LR_DEFAULTCOLOR);
        const HRSRC image = FindResourceW(self, MAKEINTRESOURCEW(id), RT_ICON);
        ASSERT_NE(image, nullptr);
        const HICON icon = CreateIconFromResourceEx(
            static_cast<BYTE*>(LockResource(LoadResource(self, image))),
            SizeofResource(self, image), TRUE, 0x00030000, 0, 0, LR_DEFAULTCOLOR);
        ASSERT_NE(icon, nullptr);
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP bitmap{};
        GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
        sizes.insert(bitmap.bmWidth);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
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

// Marks paths so that nobody may change them, root included: chattr +i, run by Wine as the Linux
// program it is. A folder so marked takes no new file and lets none be renamed over, as the folder
// of a locked-down PC or a read-only share does, while a file in it that is not marked itself can
// still be written. Unmarked again when it goes. Wine cannot wait for a Linux process, so each
// change is waited for by its effect.
class Immutable {
  public:
    Immutable() = default;
    Immutable(const Immutable&) = delete;
    Immutable& operator=(const Immutable&) = delete;
    ~Immutable() {
        for (const auto& [unixPath, windowsPath] : paths_) {
            Chattr("-i", unixPath);
            EXPECT_TRUE(PumpUntil([&] { return !Locked(windowsPath); })) << windowsPath;
        }
    }
    // False when this machine does not let even root lock a path.
    bool Mark(const std::string& unixPath, const std::string& windowsPath) {
        paths_.emplace_back(unixPath, windowsPath);
        return Chattr("+i", unixPath) && PumpUntil([&] { return Locked(windowsPath); });
    }

  private:
    static bool Chattr(const char* flag, const std::string& unixPath) {
        std::wstring command = Utf16FromUtf8(std::string("chattr ") + flag + " " + unixPath);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(L"Z:\\usr\\bin\\chattr", command.data(), nullptr, nullptr, FALSE, 0,
                            nullptr, nullptr, &si, &pi)) {
            return false;
        }
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        return true;
    }
    // A folder that takes no new file, or a file that cannot be opened for writing.
    static bool Locked(const std::string& windowsPath) {
        const std::wstring path = Utf16FromUtf8(windowsPath);
        const bool folder = (GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const HANDLE h = folder
                             ? CreateFileW((path + L"\\probe").c_str(), GENERIC_WRITE, 0, nullptr,
                                           CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr)
                             : CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return true;
        CloseHandle(h);
        return false;
    }
    std::vector<std::pair<std::string, std::string>> paths_;
};

// A new folder under the Linux /tmp (Wine's Z:), so that a marked one a crash leaves behind never
// stands in the way of removing the build folder. Its Unix and its Windows path.
struct ScratchFolder {
    ScratchFolder() {
        static int count = 0;
        unix = "/tmp/karvex-wine-" + std::to_string(GetCurrentProcessId()) + "-" +
               std::to_string(++count);
        windows = "Z:" + unix;
        std::replace(windows.begin(), windows.end(), '/', '\\');
        std::filesystem::remove_all(std::filesystem::path(Utf16FromUtf8(windows)));
        CreateDirectoryW(Utf16FromUtf8(windows).c_str(), nullptr);
    }
    ~ScratchFolder() { std::filesystem::remove_all(std::filesystem::path(Utf16FromUtf8(windows))); }
    std::set<std::string> Entries() const {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(Utf16FromUtf8(windows))) {
            names.insert(Utf8FromUtf16(e.path().filename().wstring()));
        }
        return names;
    }
    std::string unix, windows;
};

// The APN a settings file holds; "-" when there is none.
std::string ApnIn(const std::string& path) {
    Settings s;
    return LoadSettings(path, s) < 0 ? "-" : s.apn;
}

TEST(WinSettings, KeptWhereTheFolderCanHoldIt) {
    enum class Lock { None, Folder, FolderAndFile };
    const struct {
        const char* name;
        bool beside, user;  // a file beside the exe (APN "a") / in the user's folder ("u")
        Lock lock;          // the exe's folder takes no new file; its file cannot be written
        bool held;          // another program holds the old file for a moment during the save
        const char* shown;  // the APN at the first start ("" the defaults)
        const char* besideAfter;
        const char* userAfter;  // the APN in each file after the close box saved "b"
    } cases[] = {
        {"nothing yet: beside the exe", false, false, Lock::None, false, "", "b", "-"},
        {"only the user's file: read, then saved beside", false, true, Lock::None, false, "u", "b",
         "u"},
        {"locked folder: the user's folder", false, false, Lock::Folder, false, "", "-", "b"},
        {"locked folder, its file writable: in place", true, false, Lock::Folder, false, "a", "b",
         "-"},
        {"read-only share with a file: the user's folder", true, false, Lock::FolderAndFile, false,
         "a", "a", "b"},
        {"read-only share: the user's file wins", true, true, Lock::FolderAndFile, false, "u", "a",
         "b"},
        {"old file held for a moment", true, false, Lock::None, true, "a", "b", "-"},
    };
    int skipped = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchFolder exeDir, userHome;
        win::ModemTestDialog::Options options;
        options.settingsPath = exeDir.windows + "\\karvex.ini";
        options.userSettingsPath = userHome.windows + "\\Karvex\\karvex.ini";
        Settings seed;
        if (c.beside) {
            seed.apn = "a";
            ASSERT_TRUE(SaveSettings(*options.settingsPath, seed));
        }
        if (c.user) {
            seed.apn = "u";
            CreateDirectoryW(Utf16FromUtf8(userHome.windows + "\\Karvex").c_str(), nullptr);
            ASSERT_TRUE(SaveSettings(*options.userSettingsPath, seed));
        }
        Immutable locks;
        if ((c.lock == Lock::FolderAndFile &&
             !locks.Mark(exeDir.unix + "/karvex.ini", *options.settingsPath)) ||
            (c.lock != Lock::None && !locks.Mark(exeDir.unix, exeDir.windows))) {
            ++skipped;  // this machine cannot lock a folder against root
            continue;
        }
        const HANDLE held = !c.held ? INVALID_HANDLE_VALUE
                                    : CreateFileW(Utf16FromUtf8(*options.settingsPath).c_str(),
                                                  GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                  nullptr, OPEN_EXISTING, 0, nullptr);
        {
            DialogRig rig(options);
            ASSERT_NE(rig.hwnd, nullptr);
            EXPECT_EQ(rig.Text(kIdApn), c.shown);
            rig.Type(kIdApn, "b");
            // The other program lets go 150 ms after the close box was pressed.
            std::thread holder;
            if (held != INVALID_HANDLE_VALUE) {
                holder = std::thread([held] {
                    Sleep(150);
                    CloseHandle(held);
                });
            }
            SendMessageW(rig.hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
            if (holder.joinable()) holder.join();
            EXPECT_TRUE(rig.Ended());
        }
        EXPECT_EQ(ApnIn(*options.settingsPath), c.besideAfter);
        EXPECT_EQ(ApnIn(*options.userSettingsPath), c.userAfter);
        EXPECT_EQ(exeDir.Entries(), c.beside || std::string(c.besideAfter) != "-"
                                        ? std::set<std::string>{"karvex.ini"}
                                        : std::set<std::string>{})
            << "nothing but the settings file beside the exe";
        // The next start finds what was saved.
        DialogRig again(options);
        EXPECT_EQ(again.Text(kIdApn), "b");
        EXPECT_EQ(again.dlg->SettingsFiles().write, std::string(c.userAfter) == "b"
                                                        ? *options.userSettingsPath
                                                        : *options.settingsPath);
    }
    // Unset, the user's file is the local (not roaming) application data's.
    wchar_t* local = nullptr;
    ASSERT_EQ(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &local), S_OK);
    EXPECT_EQ(UserSettingsPath("C:\\tools\\karvex.exe"),
              Utf8FromUtf16(local) + "\\Karvex\\karvex.ini");
    CoTaskMemFree(local);
    if (skipped > 0) {
        GTEST_SKIP() << skipped << " cases need chattr +i on /tmp, which this machine refuses";
    }
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
