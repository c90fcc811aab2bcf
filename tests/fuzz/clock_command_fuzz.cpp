// The clock command over arbitrary log text.
//
// Whatever the log holds, a command comes out exactly when the end-of-data marker occurs, and it is
// one well-framed command that fits a step: AT+CCLK=" ... +09", at most 30 characters, no line end
// inside (a CR would end it early on the wire and send the rest as a second command). The first
// marker decides, so nothing after it matters. A well-formed time line built from the input's
// first bytes, placed in front of a marker, gives exactly the command its fields say.
#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "sequencer/command_step.h"
#include "sequencer/network_time.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

using namespace karvex;

constexpr std::string_view kPrefix = "AT+CCLK=\"";
constexpr std::string_view kSuffix = "+09\"";

void CheckShape(std::string_view log, const std::optional<std::string>& command) {
    const size_t marker = log.find(kEndOfDataMarker);
    FUZZ_CHECK(command.has_value() == (marker != std::string_view::npos),
               "a command exactly when the marker occurs");
    if (!command) return;
    const std::string& c = *command;
    FUZZ_CHECK(c.starts_with(kPrefix) && c.ends_with(kSuffix), "framed as AT+CCLK=\"...+09\"");
    FUZZ_CHECK(c.size() >= kPrefix.size() + 1 + kSuffix.size() && c.size() <= 30,
               "between 14 and 30 characters");
    FUZZ_CHECK(c.find('\r') == std::string::npos && c.find('\n') == std::string::npos,
               "no line end inside the command");
    if (c.find('\0') == std::string::npos) {
        CommandStep step;
        FUZZ_CHECK(MakeStep(step, c, 15000), "the command fits a step");
    }
    // Only the text up to the first marker counts.
    const std::string_view head = log.substr(0, marker + kEndOfDataMarker.size());
    FUZZ_CHECK(BuildClockCommand(head) == command, "nothing after the first marker matters");
    // Text in front of the time line's own line does not count either.
    if (marker > 0) {
        const std::string prefixed = "Z\n" + std::string(log);
        FUZZ_CHECK(BuildClockCommand(prefixed) == command, "earlier lines do not count");
    }
}

constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// A time line in the asctime layout from 7 input bytes, placed in front of a marker behind
// whatever else the input holds, and the command it must give.
void CheckWellFormed(const uint8_t* data, size_t size) {
    if (size < 7) return;
    const int month = data[0] % 12;
    const int day = 1 + data[1] % 31;
    const int hour = data[2] % 24;
    const int minute = data[3] % 60;
    const int second = data[4] % 60;
    const int year = 1970 + (data[5] | (data[6] << 8)) % 8030;
    const bool zeroPadded = (data[1] & 0x80) != 0;
    const std::string_view rest(reinterpret_cast<const char*>(data + 7), size - 7);
    if (rest.find(kEndOfDataMarker) != std::string_view::npos) return;

    char line[64];
    std::snprintf(
        line, sizeof line,
        zeroPadded ? "Sat %s %02d %02d:%02d:%02d %d JST" : "Sat %s %2d %02d:%02d:%02d %d JST",
        kMonths[static_cast<size_t>(month)], day, hour, minute, second, year);
    char want[64];
    std::snprintf(want, sizeof want, "AT+CCLK=\"%02d/%02d/%02d,%02d:%02d:%02d+09\"", year % 100,
                  month + 1, day, hour, minute, second);

    const std::string log = std::string(rest) + "\r\n" + line + "\r\n" +
                            std::string(kEndOfDataMarker) + std::string(rest);
    FUZZ_CHECK(BuildClockCommand(log) == std::optional<std::string>(want),
               "a well-formed time line gives its own date and time");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view log(reinterpret_cast<const char*>(data), size);
    CheckShape(log, BuildClockCommand(log));
    CheckWellFormed(data, size);
    return 0;
}
