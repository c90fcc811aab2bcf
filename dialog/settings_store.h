// What saving the settings file needs from the platform: the whole-file replace. One
// implementation per platform (Qt Core on Linux, the Win32 API on Windows).
#pragma once

#include <string>
#include <string_view>

namespace karvex {

// Replaces `path` by a file holding `bytes`, through a temporary file beside it that is renamed
// over it only once everything was written. False (and the old file unchanged, no temporary file
// left) when that failed. On Windows a folder that takes no new file but lets the old one be
// written gets it rewritten in place instead.
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace karvex
