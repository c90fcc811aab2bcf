#include "link/cp932.h"

namespace karvex {

std::optional<std::string> StrictCp932FromUtf8(std::string_view utf8) {
    bool unmappable = false;
    std::string bytes = Cp932FromUtf8(utf8, &unmappable);
    if (unmappable) return std::nullopt;
    return bytes;
}

}  // namespace karvex
