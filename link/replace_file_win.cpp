#include "link/replace_file_win.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace karvex {

namespace {

// The longest temporary name: "~kvx" + 8 + "-" + 8 + ".tmp".
constexpr size_t kTemporaryNameMax = 25;

// How long a move held up by another program is tried again, in steps.
constexpr int kMoveTries = 20;
constexpr DWORD kMoveRetryMs = 50;

// A name for the temporary file that no other save (of this process or another) uses at once.
// Short, whatever the target's name: a long name plus a suffix would pass the file system's limit
// for one name (255 characters) and MAX_PATH before the target itself does.
std::wstring TemporaryName(const std::wstring& dir) {
    static std::atomic<unsigned> counter{0};
    wchar_t name[kTemporaryNameMax + 1];
    std::swprintf(name, sizeof name / sizeof name[0], L"~kvx%lx-%x.tmp",
                  static_cast<unsigned long>(GetCurrentProcessId()), counter.fetch_add(1));
    return dir + name;
}

// Writes, flushes and closes `file`; the first error, or ERROR_SUCCESS.
DWORD WriteAndClose(HANDLE file, std::string_view bytes) {
    const bool ok = WriteAll(file, bytes) && SetEndOfFile(file) && FlushFileBuffers(file);
    DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    if (!CloseHandle(file) && error == ERROR_SUCCESS) {
        error = GetLastError();
    }
    return error;
}

// Errors that another program holding the new or the old file gives for a moment.
bool HeldByAnotherProgram(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
           error == ERROR_LOCK_VIOLATION;
}

DWORD MoveOver(const std::wstring& from, const std::wstring& to) {
    for (int attempt = 1;; ++attempt) {
        if (MoveFileExW(from.c_str(), to.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return ERROR_SUCCESS;
        }
        const DWORD error = GetLastError();
        if (!HeldByAnotherProgram(error) || attempt == kMoveTries) {
            return error;
        }
        Sleep(kMoveRetryMs);
    }
}

DWORD WriteInPlace(const std::wstring& target, std::string_view bytes) {
    HANDLE file = CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return GetLastError();
    }
    return WriteAndClose(file, bytes);
}

}  // namespace

bool WriteAll(void* file, std::string_view bytes) {
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

std::wstring LongPathSafe(const std::wstring& path) {
    if (path.size() + kTemporaryNameMax < MAX_PATH || path.starts_with(L"\\\\?\\") ||
        path.starts_with(L"\\\\.\\")) {
        return path;
    }
    std::wstring full(path.size() + MAX_PATH, L'\0');
    DWORD n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n >= full.size()) {
        full.resize(n);
        n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    }
    if (n == 0 || n >= full.size()) {
        return path;
    }
    full.resize(n);
    if (full.starts_with(L"\\\\")) {
        return L"\\\\?\\UNC\\" + full.substr(2);  // \\server\share\...
    }
    return L"\\\\?\\" + full;
}

unsigned long ReplaceFileWhole(const std::wstring& path, std::string_view bytes,
                               WhenNoTemporary whenNoTemporary) {
    const std::wstring target = LongPathSafe(path);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
        // A folder or a device at that name: the move would fail or replace it.
        return ERROR_ALREADY_EXISTS;
    }
    const size_t slash = target.find_last_of(L"\\/:");
    const std::wstring dir = slash == std::wstring::npos ? L"" : target.substr(0, slash + 1);

    // The new file gets the folder's inherited access rights, as any file the user makes there.
    std::wstring temp;
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_SUCCESS;
    for (int attempt = 0; attempt < 16 && file == INVALID_HANDLE_VALUE; ++attempt) {
        temp = TemporaryName(dir);
        file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        error = file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            break;
        }
    }
    if (file == INVALID_HANDLE_VALUE) {
        // A folder that takes no new file may still let the file there be rewritten.
        if (whenNoTemporary == WhenNoTemporary::WriteInPlace &&
            WriteInPlace(target, bytes) == ERROR_SUCCESS) {
            return ERROR_SUCCESS;
        }
        return error;
    }
    error = WriteAndClose(file, bytes);
    if (error == ERROR_SUCCESS) {
        error = MoveOver(temp, target);
    }
    if (error != ERROR_SUCCESS) {
        DeleteFileW(temp.c_str());
    }
    return error;
}

}  // namespace karvex
