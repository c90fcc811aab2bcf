// What the settings file needs from the platform: whole-file reading and replacing. One
// implementation per platform (Qt Core on Linux, the Win32 API on Windows).
#pragma once

#include <string>
#include <string_view>

namespace karvex {

// The whole content of `path` into `out`. False when the path names no regular file or it cannot
// be read; a FIFO or a device is never opened, so this cannot block.
bool ReadRegularFile(const std::string& path, std::string& out);

// Replaces `path` by a file holding `bytes`, through a temporary file beside it that is renamed
// over it only once everything was written. False (and the old file unchanged, no temporary file
// left) when that failed. On Windows a folder that takes no new file but lets the old one be
// written gets it rewritten in place instead.
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace karvex
