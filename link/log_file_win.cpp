// The log save on Windows: the shared whole-file replace (a temporary file beside the target,
// FlushFileBuffers, then MoveFileExW over it), so that the target is either the old file or the
// whole new one, at any path length.
#include "link/log_file.h"

#include <windows.h>

#include "link/replace_file_win.h"
#include "link/utf16_win.h"

namespace karvex {

namespace {

// The system's text for `error` in the user's language, without the line end it carries.
std::string Reason(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring reason = n > 0 && text != nullptr ? std::wstring(text, n) : std::wstring();
    LocalFree(text);
    while (!reason.empty() &&
           (reason.back() == L'\r' || reason.back() == L'\n' || reason.back() == L' ')) {
        reason.pop_back();
    }
    if (reason.empty()) {
        return "error " + std::to_string(error);
    }
    return Utf8FromUtf16(reason);
}

}  // namespace

std::string SaveLogFile(const std::string& path, std::string_view bytes) {
    const std::wstring given = Utf16FromUtf8(path);
    if (given.empty()) {
        return Reason(ERROR_PATH_NOT_FOUND);
    }
    const size_t slash = given.find_last_of(L"\\/:");
    if (slash + 1 == given.size()) {
        return Reason(ERROR_INVALID_NAME);
    }
    const std::wstring target = LongPathSafe(given);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        // Windows refuses to replace a read-only file; say so before writing anything (not every
        // implementation of MoveFileExW refuses).
        return Reason(ERROR_ACCESS_DENIED);
    }
    // Never written in place: a failed save must leave the old file as it was.
    const DWORD error = ReplaceFileWhole(target, bytes, WhenNoTemporary::Fail);
    if (error != ERROR_SUCCESS) {
        return Reason(error);
    }
    return {};
}

GrowingLogFile::~GrowingLogFile() {
    if (file_ != nullptr) CloseHandle(file_);
}

std::string GrowingLogFile::Create(const std::string& path, std::string_view first) {
    if (file_ != nullptr) CloseHandle(file_);
    file_ = nullptr;
    if (std::string reason = SaveLogFile(path, first); !reason.empty()) return reason;
    // Appending only: every write lands at the end of the file, whatever else has the file open.
    HANDLE file =
        CreateFileW(LongPathSafe(Utf16FromUtf8(path)).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Reason(GetLastError());
    file_ = file;
    return {};
}

std::string GrowingLogFile::Append(std::string_view bytes) {
    if (file_ == nullptr) return Reason(ERROR_INVALID_HANDLE);
    if (!WriteAll(file_, bytes)) return Reason(GetLastError());
    return {};
}

std::string GrowingLogFile::Sync() {
    if (file_ == nullptr) return Reason(ERROR_INVALID_HANDLE);
    if (!FlushFileBuffers(file_)) return Reason(GetLastError());
    return {};
}

}  // namespace karvex
