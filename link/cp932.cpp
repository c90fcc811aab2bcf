#include "link/cp932.h"

namespace karvex {

std::optional<std::string> StrictCp932FromUtf8(std::string_view utf8) {
    bool unmappable = false;
    std::string bytes = Cp932FromUtf8(utf8, &unmappable);
    if (unmappable) return std::nullopt;
    return bytes;
}

char16_t Utf16CharFromCp932(std::string_view character) {
    constexpr char16_t kReplacement = 0xFFFD;
    const std::string utf8 = Utf8FromCp932(character);
    // One code point of the BMP is one to three bytes of UTF-8.
    const auto byte = [&utf8](size_t i) { return static_cast<unsigned char>(utf8[i]); };
    if (utf8.size() == 1 && byte(0) < 0x80) return byte(0);
    if (utf8.size() == 2 && (byte(0) & 0xE0) == 0xC0) {
        return static_cast<char16_t>((byte(0) & 0x1F) << 6 | (byte(1) & 0x3F));
    }
    if (utf8.size() == 3 && (byte(0) & 0xF0) == 0xE0) {
        return static_cast<char16_t>((byte(0) & 0x0F) << 12 | (byte(1) & 0x3F) << 6 |
                                     (byte(2) & 0x3F));
    }
    return kReplacement;
}

}  // namespace karvex
