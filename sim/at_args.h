// Small parsers for the arguments of AT commands: comma-separated fields, quoted texts, indices.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace karvex::sim {

// Splits at commas that stand outside double quotes. "a,\"b,c\",,d" gives a, "b,c", empty, d.
std::vector<std::string_view> SplitArgs(std::string_view args);

// The text between a pair of double quotes that encloses the whole field (blanks around the
// quotes are allowed); nothing when the field is not quoted.
std::optional<std::string_view> Unquote(std::string_view field);

// A decimal number made of digits only (no sign, no blanks), at most 9 digits.
std::optional<int> ParseNumber(std::string_view field);

// True when `text` starts with `prefix`, ignoring ASCII case (the module takes "at+csq" too).
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace karvex::sim
