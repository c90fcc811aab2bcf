// NMEA 0183 sentences that the module's GPS receiver prints while positioning runs.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace karvex::sim {

// The checksum of a sentence body (the characters between '$' and '*'): two upper-case hex digits.
std::string NmeaChecksum(std::string_view body);

// A GGA fix sentence, "$GPGGA,...*hh", stamped with the UTC time of `when`; no line end.
std::string GgaSentence(std::chrono::system_clock::time_point when);

}  // namespace karvex::sim
