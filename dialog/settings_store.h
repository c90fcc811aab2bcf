// What the settings file needs from the platform: CP932 text and whole-file reading and replacing.
// One implementation per platform (Qt Core on Linux, the Win32 API on Windows).
#pragma once

#include <string>
#include <string_view>

namespace karvex {

// UTF-8 to CP932; a character that CP932 cannot represent becomes '?', as the platform's own
// conversion does. `unmappable`, when given, tells whether that happened.
std::string Cp932FromUtf8(std::string_view utf8, bool* unmappable = nullptr);
// CP932 to UTF-8; bytes that do not decode become U+FFFD.
std::string Utf8FromCp932(std::string_view bytes);

// The whole content of `path` into `out`. False when the path names no regular file or it cannot
// be read; a FIFO or a device is never opened, so this cannot block.
bool ReadRegularFile(const std::string& path, std::string& out);

// Replaces `path` by a file holding `bytes`, through a temporary file beside it that is renamed
// over it only once everything was written. False (and the old file unchanged, no temporary file
// left) when that failed. On Windows a folder that takes no new file but lets the old one be
// written gets it rewritten in place instead.
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace karvex
