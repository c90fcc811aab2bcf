// CP932 that refuses what it cannot hold, from the platform's own two conversions.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace karvex {

// UTF-8 to CP932, or nothing when CP932 cannot hold a character of the text: the bytes must decode
// back to the same text, which a character replaced by '?' (or not UTF-8 at all) never does.
std::optional<std::string> StrictCp932FromUtf8(std::string_view utf8);

}  // namespace karvex
