// The program's version numbers on Windows: read from the executable's own version resource.
#include "dialog/version_text.h"
#include "link/program_path.h"
// (keeps this order)
#include <windows.h>

#include <vector>

namespace karvex {

std::optional<VersionNumbers> ProgramVersion() {
    const std::wstring path = ExecutablePathWide();
    if (path.empty()) {
        return std::nullopt;
    }
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) {
        return std::nullopt;
    }
    std::vector<BYTE> data(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) {
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
