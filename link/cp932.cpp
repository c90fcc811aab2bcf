#include "link/cp932.h"

#include "link/utf8.h"

namespace karvex {

std::optional<std::string> StrictCp932FromUtf8(std::string_view utf8) {
    bool unmappable = false;
    std::string bytes = Cp932FromUtf8(utf8, &unmappable);
    if (unmappable) return std::nullopt;
    return bytes;
}

char16_t Utf16CharFromCp932(std::string_view character) {
    const std::string utf8 = Utf8FromCp932(character);
    if (utf8.empty()) return 0xFFFD;
    // Every CP932 character is one code point of the BMP: anything else is no one character.
    const auto [cp, size] = NextCodePoint(utf8);
    return size == utf8.size() && cp <= 0xFFFF ? static_cast<char16_t>(cp) : char16_t{0xFFFD};
}

}  // namespace karvex
