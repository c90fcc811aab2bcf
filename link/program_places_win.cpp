// The layout of a copy on Windows: installed when the installer's marker stands beside the
// executable; the user's folder is %LOCALAPPDATA%\Karvex (local, not roaming: the settings name
// this PC's COM port).
#include "link/program_path.h"
#include "link/program_places.h"
#include "link/utf16_win.h"
// (keeps this order: the project's headers before windows.h)
#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

namespace karvex {

namespace {

bool IsFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(Utf16FromUtf8(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

std::string UserDataDir() {
    PWSTR folder = nullptr;
    std::string dir;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DEFAULT, nullptr, &folder))) {
        dir = Utf8FromUtf16(folder) + "\\Karvex";
    }
    CoTaskMemFree(folder);
    return dir;
}

}  // namespace

ProgramLayout LayoutOf(const std::string& exeDir, const std::string& baseName) {
    ProgramLayout layout;
    layout.exeDir = exeDir;
    layout.baseName = baseName;
    layout.installed = !exeDir.empty() && IsFile(JoinPath(exeDir, kInstalledMarker));
    layout.userDir = UserDataDir();
    return layout;
}

}  // namespace karvex
