// The log save on Windows: a temporary file beside the target, FlushFileBuffers, then
// MoveFileExW over the target, so that the target is either the old file or the whole new one.
#include "link/log_file.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>

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

// A name for the temporary file no other save (of this process or another) uses at once.
std::wstring TemporaryName(const std::wstring& dir, const std::wstring& name) {
    static std::atomic<unsigned> counter{0};
    wchar_t suffix[48];
    std::swprintf(suffix, sizeof suffix / sizeof suffix[0], L".%lx-%x-%llx.tmp",
                  static_cast<unsigned long>(GetCurrentProcessId()), counter.fetch_add(1),
                  static_cast<unsigned long long>(GetTickCount64()));
    return dir + L"~" + name + suffix;
}

bool WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const auto chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 20));
        DWORD wrote = 0;
        if (!WriteFile(file, bytes.data(), chunk, &wrote, nullptr)) {
            return false;
        }
        if (wrote == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        bytes.remove_prefix(wrote);
    }
    return true;
}

}  // namespace

std::string SaveLogFile(const std::string& path, std::string_view bytes) {
    const std::wstring target = Utf16FromUtf8(path);
    if (target.empty()) {
        return Reason(ERROR_PATH_NOT_FOUND);
    }
    const size_t slash = target.find_last_of(L"\\/:");
    const std::wstring dir = slash == std::wstring::npos ? L"" : target.substr(0, slash + 1);
    const std::wstring name = slash == std::wstring::npos ? target : target.substr(slash + 1);
    if (name.empty()) {
        return Reason(ERROR_INVALID_NAME);
    }
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
        // A folder or a device at that name: the move would fail or replace it.
        return Reason(ERROR_ALREADY_EXISTS);
    }
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        // Windows refuses to replace a read-only file; say so before writing anything (not every
        // implementation of MoveFileExW refuses).
        return Reason(ERROR_ACCESS_DENIED);
    }

    // The new file gets the folder's inherited access rights, as any file the user makes there.
    std::wstring temp;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 16 && file == INVALID_HANDLE_VALUE; ++attempt) {
        temp = TemporaryName(dir, name);
        file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS &&
            GetLastError() != ERROR_ALREADY_EXISTS) {
            break;
        }
    }
    if (file == INVALID_HANDLE_VALUE) {
        return Reason(GetLastError());
    }

    bool ok = WriteAll(file, bytes) && FlushFileBuffers(file);
    DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    if (!CloseHandle(file) && ok) {
        ok = false;
        error = GetLastError();
    }
    if (ok && !MoveFileExW(temp.c_str(), target.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ok = false;
        error = GetLastError();
    }
    if (!ok) {
        DeleteFileW(temp.c_str());
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
    HANDLE file = CreateFileW(Utf16FromUtf8(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ,
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
