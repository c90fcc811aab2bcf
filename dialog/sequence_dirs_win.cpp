// The project's headers before <windows.h>, whose macros (E_FAIL) would clash with their names.
#include "dialog/window_sequences.h"
#include "link/utf16_win.h"

#include <windows.h>
// shlobj.h needs what windows.h defines first.
#include <shlobj.h>

namespace karvex {
namespace {

// The per-user folder of the program, %LOCALAPPDATA%\Karvex; empty when Windows does not say.
std::string UserDataDir() {
    PWSTR path = nullptr;
    std::string dir;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &path))) {
        dir = Utf8FromUtf16(path) + "\\Karvex";
    }
    CoTaskMemFree(path);
    return dir;
}

}  // namespace

std::vector<std::string> SequenceDirs(const std::string& exeDir) {
    std::vector<std::string> dirs;
    if (!exeDir.empty()) dirs.push_back(exeDir + "\\sequences");
    if (const std::string user = UserDataDir(); !user.empty()) dirs.push_back(user + "\\sequences");
    return dirs;
}

}  // namespace karvex
