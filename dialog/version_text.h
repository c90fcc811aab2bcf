// The program's own version numbers and the version label's text.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace karvex {

using VersionNumbers = std::array<uint16_t, 4>;

// The four parts of the program's file version, most significant first; nothing when the version
// data has no translation table (the numbers are then not read). On Windows they come from the
// executable's own version resource, elsewhere from the version data compiled in.
std::optional<VersionNumbers> ProgramVersion();

// "Version %d.%d%d" of the first three parts: 1.0.1.0 gives "Version 1.01", 1.2.10.0 gives
// "Version 1.210". The fourth part is not shown.
std::string FormatVersionLabel(const VersionNumbers& v);

}  // namespace karvex
