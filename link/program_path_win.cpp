// The executable's path on Windows: GetModuleFileNameW, however long the path.
#include "link/program_path.h"
#include "link/utf16_win.h"
// (keeps this order)
#include <windows.h>

namespace karvex {

std::wstring ExecutablePathWide() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);  // cut off: try again with room to spare
    }
}

std::string ExecutablePath() {
    return Utf8FromUtf16(ExecutablePathWide());
}

}  // namespace karvex
