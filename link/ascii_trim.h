// Trimming of ASCII white space, for text in CP932 or UTF-8 bytes.
#pragma once

#include <string_view>

namespace karvex {

// The six ASCII white-space bytes: space, tab, CR, LF, VT, FF. Never a full-width space.
inline constexpr std::string_view kAsciiSpace = " \t\r\n\v\f";

// `text` without ASCII white space at either end. No CP932 or UTF-8 lead or trail byte falls in
// that range, so trimming the encoded bytes never cuts a double-byte character.
inline std::string_view TrimAsciiSpace(std::string_view text) {
    const size_t first = text.find_first_not_of(kAsciiSpace);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kAsciiSpace) - first + 1);
}

}  // namespace karvex
