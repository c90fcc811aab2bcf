// Reading UTF-8 one code point at a time, strictly: what is no valid UTF-8 is U+FFFD, byte by
// byte, so that the text after it still reads.
#pragma once

#include <string_view>
#include <utility>

namespace karvex {

// The code point at the start of `text` (not empty) and its length; a byte that begins no valid
// UTF-8 sequence (a stray or cut-off one, an overlong form, a surrogate) is U+FFFD on its own.
inline std::pair<char32_t, size_t> NextCodePoint(std::string_view text) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return {lead, 1};
    size_t size = 0;
    char32_t cp = 0, least = 0;
    if ((lead & 0xE0) == 0xC0) {
        size = 2, cp = lead & 0x1Fu, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        size = 3, cp = lead & 0x0Fu, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        size = 4, cp = lead & 0x07u, least = 0x10000;
    } else {
        return {0xFFFD, 1};
    }
    if (text.size() < size) return {0xFFFD, 1};
    for (size_t i = 1; i < size; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return {0xFFFD, 1};
        cp = cp << 6 | (byte(i) & 0x3Fu);
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return {0xFFFD, 1};
    return {cp, size};
}

}  // namespace karvex
