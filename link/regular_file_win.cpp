// A whole regular file through the API, long paths included.
#include "link/regular_file.h"
#include "link/replace_file_win.h"
#include "link/utf16_win.h"
// (keeps this order)
#include <windows.h>

namespace karvex {

bool ReadRegularFile(const std::string& path, std::string& out) {
    const std::wstring name = LongPathSafe(Utf16FromUtf8(path));
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
        (attributes & FILE_ATTRIBUTE_DEVICE) != 0) {
        return false;
    }
    HANDLE file = CreateFileW(name.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    // Only a file on a disk: a pipe or a device could block or never end.
    bool ok = GetFileType(file) == FILE_TYPE_DISK;
    std::string bytes;
    char buffer[64 * 1024];
    while (ok) {
        DWORD got = 0;
        if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
            ok = false;
        } else if (got == 0) {
            break;
        } else {
            bytes.append(buffer, got);
        }
    }
    CloseHandle(file);
    if (ok) {
        out = std::move(bytes);
    }
    return ok;
}

}  // namespace karvex
