#include "dialog/strict_cp932.h"

#include <algorithm>

#include "dialog/settings_store.h"

namespace karvex {

std::optional<std::string> StrictCp932FromUtf8(std::string_view utf8) {
    // CP932 keeps every ASCII byte as it is; most of a sequence file's texts are commands, and
    // the round trip per character is costly where the platform converts one call at a time.
    if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return (c & 0x80) == 0; })) {
        return std::string(utf8);
    }
    std::string bytes = Cp932FromUtf8(utf8);
    if (Utf8FromCp932(bytes) != utf8) return std::nullopt;
    return bytes;
}

}  // namespace karvex
