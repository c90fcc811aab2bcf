#include "sim/nmea.h"

#include <cstdio>

namespace karvex::sim {

using namespace std::chrono;

std::string NmeaChecksum(std::string_view body) {
    unsigned sum = 0;
    for (char c : body) sum ^= static_cast<unsigned char>(c);
    char text[3];
    std::snprintf(text, sizeof text, "%02X", sum & 0xFFu);
    return text;
}

std::string GgaSentence(system_clock::time_point when) {
    const auto now = floor<milliseconds>(when);
    const hh_mm_ss<milliseconds> t{now - floor<days>(now)};
    // A fixed 3D fix (eight satellites) near Tokyo; only the time of day moves.
    char body[96];
    std::snprintf(body, sizeof body,
                  "GPGGA,%02d%02d%02d.%02d,3540.9412,N,13945.3010,E,1,08,0.9,41.2,M,39.4,M,,",
                  static_cast<int>(t.hours().count()), static_cast<int>(t.minutes().count()),
                  static_cast<int>(t.seconds().count()),
                  static_cast<int>(t.subseconds().count() / 10));
    return "$" + std::string(body) + "*" + NmeaChecksum(body);
}

}  // namespace karvex::sim
