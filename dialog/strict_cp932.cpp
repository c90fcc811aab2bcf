#include "dialog/strict_cp932.h"

#include "dialog/settings_store.h"

namespace karvex {

std::optional<std::string> StrictCp932FromUtf8(std::string_view utf8) {
    std::string bytes = Cp932FromUtf8(utf8);
    if (Utf8FromCp932(bytes) != utf8) return std::nullopt;
    return bytes;
}

}  // namespace karvex
