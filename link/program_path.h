// Paths as the program handles them: UTF-8 text with '/' between folders, and on Windows '\\'
// too. The running executable's own path, and the parts of a path that name its folder and file.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace karvex {

#ifdef _WIN32
inline constexpr std::string_view kPathSeparators = "\\/";
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr std::string_view kPathSeparators = "/";
inline constexpr char kPathSeparator = '/';
#endif

// The folder part of `path`: everything before its last separator ("/" when that is the first
// character); empty for a bare file name.
std::string FolderOf(std::string_view path);

// The file name: everything after the last separator.
std::string_view FileNameOf(std::string_view path);

// The file name without its extension: up to its last '.', unless that is its first character
// (".karvex" is a name, not an extension).
std::string BaseNameOf(std::string_view path);

// `name` inside `folder`, with one separator between them; `name` alone for an empty folder.
std::string JoinPath(std::string_view folder, std::string_view name);

// A UTF-8 path as the standard library's path (UTF-16 on Windows), and back.
std::filesystem::path PathFromUtf8(std::string_view utf8);
std::string Utf8FromPath(const std::filesystem::path& path);

// The running executable's path (UTF-8), and its folder; empty when it cannot be read.
std::string ExecutablePath();
std::string ExecutableDir();

#ifdef _WIN32
// The running executable's path as Windows gives it; empty when it cannot be read.
std::wstring ExecutablePathWide();
#endif

}  // namespace karvex
