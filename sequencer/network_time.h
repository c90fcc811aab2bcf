// Turning the time service's reply, as it stands in the traffic log, into the clock command.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace karvex {

inline constexpr std::string_view kEndOfDataMarker = "--EOF--Pattern--";

// The AT+CCLK="yy/MM/dd,hh:mm:ss+09" command for the time line in front of the first marker in
// `log`, or nothing when the log holds no marker.
std::optional<std::string> BuildClockCommand(std::string_view log);

}  // namespace karvex
