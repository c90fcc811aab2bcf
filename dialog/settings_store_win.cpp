// The settings file's platform side on Windows: code page 932 through the API's own conversion,
// and the replace through the shared whole-file replace (a temporary file and MoveFileExW).
#include <windows.h>

#include "dialog/settings_store.h"
#include "link/replace_file_win.h"
#include "link/utf16_win.h"

namespace karvex {

namespace {
constexpr UINT kCp932 = 932;
}

std::string Cp932FromUtf8(std::string_view utf8, bool* unmappable) {
    const std::wstring wide = Utf16FromUtf8(utf8);
    std::string out;
    out.reserve(wide.size() * 2);
    bool replaced = false;
    // One code point at a time, so that each character CP932 cannot hold (a surrogate pair
    // included) becomes exactly one '?'. No best-fit mapping: an "é" is not sent as "e".
    for (size_t i = 0; i < wide.size();) {
        const bool pair =
            IS_HIGH_SURROGATE(wide[i]) && i + 1 < wide.size() && IS_LOW_SURROGATE(wide[i + 1]);
        const int len = pair ? 2 : 1;
        if (wide[i] < 0x80) {
            out.push_back(static_cast<char>(wide[i]));
            ++i;
            continue;
        }
        char bytes[8];
        BOOL usedDefault = FALSE;
        const int n = WideCharToMultiByte(kCp932, WC_NO_BEST_FIT_CHARS, wide.data() + i, len, bytes,
                                          sizeof bytes, "?", &usedDefault);
        if (n <= 0 || usedDefault) {
            out.push_back('?');
            replaced = true;
        } else {
            out.append(bytes, static_cast<size_t>(n));
        }
        i += static_cast<size_t>(len);
    }
    if (unmappable != nullptr) *unmappable = replaced;
    return out;
}

std::string Utf8FromCp932(std::string_view bytes) {
    // Character by character, so that a byte or pair that does not decode becomes U+FFFD and the
    // text after it still decodes.
    std::wstring wide;
    wide.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<BYTE>(bytes[i]);
        const bool pair = IsDBCSLeadByteEx(kCp932, lead) && i + 1 < bytes.size();
        wchar_t ch[2];
        int n = MultiByteToWideChar(kCp932, MB_ERR_INVALID_CHARS, bytes.data() + i, pair ? 2 : 1,
                                    ch, 2);
        size_t used = pair ? 2 : 1;
        if (n <= 0 && pair) {
            used = 1;  // the lead byte alone; what follows it is decoded on its own
        }
        if (n <= 0) {
            ch[0] = 0xFFFD;
            n = 1;
        }
        wide.append(ch, static_cast<size_t>(n));
        i += used;
    }
    return Utf8FromUtf16(wide);
}

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

bool ReplaceFileAtomically(const std::string& path, std::string_view bytes) {
    // The file holds a password in clear; it keeps the directory's inherited access rights, as
    // any file the user makes there, and no rights of its own are set. A folder that takes no
    // new file (a locked-down one) may still let the old file be rewritten in place.
    return ReplaceFileWhole(Utf16FromUtf8(path), bytes, WhenNoTemporary::WriteInPlace) ==
           ERROR_SUCCESS;
}

}  // namespace karvex
