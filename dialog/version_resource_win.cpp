// The program's version numbers on Windows: read from the executable's own version resource.
#include <windows.h>

#include <vector>

#include "dialog/version_text.h"

namespace karvex {

std::optional<VersionNumbers> ProgramVersion() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) {
            return std::nullopt;
        }
        if (n < path.size()) {
            break;
        }
        path.resize(path.size() * 2);  // cut off: try again with room to spare
    }
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.data(), &ignored);
    if (size == 0) {
        return std::nullopt;
    }
    std::vector<BYTE> data(size);
    if (!GetFileVersionInfoW(path.data(), 0, size, data.data())) {
        return std::nullopt;
    }
    // Without a translation table the numbers are not read, as on the other platforms.
    void* translation = nullptr;
    UINT translationSize = 0;
    if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &translation,
                        &translationSize) ||
        translationSize < 4) {
        return std::nullopt;
    }
    void* fixed = nullptr;
    UINT fixedSize = 0;
    if (!VerQueryValueW(data.data(), L"\\", &fixed, &fixedSize) ||
        fixedSize < sizeof(VS_FIXEDFILEINFO)) {
        return std::nullopt;
    }
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
    return VersionNumbers{HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                          HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS)};
}

}  // namespace karvex
