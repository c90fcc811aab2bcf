// UTF-8 and the UTF-16 of the Windows API.
#pragma once

#include <string>
#include <string_view>

namespace karvex {

std::wstring Utf16FromUtf8(std::string_view utf8);
std::string Utf8FromUtf16(std::wstring_view utf16);

}  // namespace karvex
