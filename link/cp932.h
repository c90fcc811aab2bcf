// Code page 932 (Windows Shift-JIS): everything that leaves the program as bytes (commands, the
// settings file, sequence files' texts) is CP932, and received bytes are decoded for display.
// One converter per platform (the C library's iconv on Linux, the API's own on Windows), with
// Microsoft's table on both: no best-fit, so a character without a CP932 form of its own (an
// "é", a "¥") never goes out as a look-alike. What the caller does with a character that cannot
// go is chosen by the function it calls.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace karvex {

// False when the platform has no CP932 converter: nothing but ASCII could then be sent as typed.
bool Cp932Available();

// UTF-8 to CP932, replacing: each character CP932 cannot hold (and each byte that is not UTF-8)
// becomes one '?'; `unmappable`, when given, tells whether that happened.
std::string Cp932FromUtf8(std::string_view utf8, bool* unmappable = nullptr);

// UTF-8 to CP932, refusing: nothing when a character cannot be held (or the text is not UTF-8).
std::optional<std::string> StrictCp932FromUtf8(std::string_view utf8);

// CP932 to UTF-8 for display: a byte that does not decode becomes U+FFFD and the bytes after it
// are decoded on their own (a lead byte never takes a bad trail byte along).
std::string Utf8FromCp932(std::string_view bytes);

// One CP932 character (a byte, or a lead and a trail byte) for display, as its UTF-16 code unit
// (every CP932 character is in the BMP); U+FFFD when the bytes are not one character.
char16_t Utf16CharFromCp932(std::string_view character);

}  // namespace karvex
