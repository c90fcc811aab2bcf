// The settings file's place on Windows: whether the executable's folder can hold the file is
// found out by trying. Which files those are, and whether the copy is installed, is
// link/program_places' to say.
#include <windows.h>

#include "dialog/settings_file.h"
#include "dialog/settings_place.h"
#include "link/program_path.h"
#include "link/replace_file_win.h"
#include "link/utf16_win.h"

namespace karvex {

namespace {

bool IsFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

std::wstring FolderOf(const std::wstring& file) {
    const size_t slash = file.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"." : file.substr(0, slash);
}

// Whether a save could write `file`: its folder takes a new file (made and at once deleted
// again), or the file there can be opened for writing (nothing is written).
bool CanHold(const std::wstring& file, bool exists) {
    const std::wstring probe =
        FolderOf(file) + L"\\~kvx" + std::to_wstring(GetCurrentProcessId()) + L".probe";
    HANDLE handle = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE && exists) {
        handle = CreateFileW(file.c_str(), GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(handle);
    return true;
}

}  // namespace

SettingsPlace FindSettingsPlace(const std::string& beside, const std::string& user,
                                bool installed) {
    SettingsCandidates c;
    c.beside = beside;
    c.user = user;
    c.installed = installed;
    if (!beside.empty()) {
        const std::wstring file = LongPathSafe(Utf16FromUtf8(beside));
        c.besideExists = IsFile(file);
        // An installed copy leaves its folder alone: not even the probe is written there.
        c.besideWritable = !c.installed && CanHold(file, c.besideExists);
    }
    c.userExists = !user.empty() && IsFile(LongPathSafe(Utf16FromUtf8(user)));
    return ChooseSettingsPlace(c);
}

bool MakeSettingsFolder(const std::string& file) {
    const std::wstring folder = FolderOf(LongPathSafe(Utf16FromUtf8(file)));
    CreateDirectoryW(folder.c_str(), nullptr);  // it may be there already
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace karvex
