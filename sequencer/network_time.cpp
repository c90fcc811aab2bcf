#include "sequencer/network_time.h"

#include <array>

namespace karvex {
namespace {

struct MonthRow {
    std::string_view letters;
    std::string_view text;
};
constexpr std::array<MonthRow, 12> kMonths = {{
    {"Jan", "/01/"},
    {"Feb", "/02/"},
    {"Mar", "/03/"},
    {"Apr", "/04/"},
    {"May", "/05/"},
    {"Jun", "/06/"},
    {"Jul", "/07/"},
    {"Aug", "/08/"},
    {"Sep", "/09/"},
    {"Oct", "/10/"},
    {"Nov", "/11/"},
    {"Dec", "/12/"},
}};

// Unknown letters give no month part at all (the command is sent without it).
std::string_view MonthText(std::string_view letters) {
    for (const MonthRow& row : kMonths) {
        if (row.letters == letters) return row.text;
    }
    return {};
}

// Up to `n` characters from `pos`: only those that exist, none at or past the end.
std::string_view Field(std::string_view line, size_t pos, size_t n) {
    return pos >= line.size() ? std::string_view{} : line.substr(pos, n);
}

// Positions of the time line that go into the command: month 4-6, day 8-9, time 11-18, year 22-23.
bool IsReadPosition(size_t pos) {
    return (pos >= 4 && pos <= 6) || pos == 8 || pos == 9 || (pos >= 11 && pos <= 18) ||
           pos == 22 || pos == 23;
}

// The line in front of the marker in the asctime layout "Sat Mar  7 09:05:30 2026 JST".
std::string_view TimeLine(std::string_view log, size_t marker) {
    // The character just before the marker (normally the line's LF) goes with it.
    std::string_view line = log.substr(0, marker == 0 ? 0 : marker - 1);
    const size_t lastLf = line.rfind('\n');
    if (lastLf != std::string_view::npos) line.remove_prefix(lastLf + 1);
    // A CR inside a field that is read ends the line there: taken into the command it would end
    // it early on the wire and send the rest as a second command. A CR at a position that is not
    // read (a blank, the century, after the year) changes nothing.
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\r' && IsReadPosition(i)) return line.substr(0, i);
    }
    return line;
}

}  // namespace

std::optional<std::string> BuildClockCommand(std::string_view log) {
    const size_t marker = log.find(kEndOfDataMarker);
    if (marker == std::string_view::npos) return std::nullopt;
    const std::string_view line = TimeLine(log, marker);

    std::string command = "AT+CCLK=\"";
    command += Field(line, 22, 2);            // year, last two digits
    command += MonthText(Field(line, 4, 3));  // "/MM/"
    if (line.size() > 8 && line[8] == ' ') {  // day padded with a blank
        command += '0';
        command += Field(line, 9, 1);
    } else {
        command += Field(line, 8, 2);
    }
    command += ',';
    command += Field(line, 11, 8);  // hh:mm:ss as it stands
    command += "+09\"";             // the service answers in Japan's time
    return command;
}

}  // namespace karvex
