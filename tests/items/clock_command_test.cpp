// The clock command built from the traffic log: the time line in front of the first end-of-data
// marker, read by position.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "sequencer/network_time.h"

namespace karvex {
namespace {

const std::string kMarker = "--EOF--Pattern--";

std::string Cclk(const std::string& value) {
    return "AT+CCLK=\"" + value + "\"";
}

struct ClockCase {
    const char* name;
    std::string log;
    std::optional<std::string> command;
};

class ClockCommand : public ::testing::TestWithParam<ClockCase> {};

TEST_P(ClockCommand, FromLog) {
    EXPECT_EQ(BuildClockCommand(GetParam().log), GetParam().command) << GetParam().name;
}

// A log as the monitor leaves it after item 3's GET: the reply lines start and end with CR LF,
// and the body's line sits directly in front of the marker.
const std::string kGetLog =
    "AT+KHTTPCFG=1,\"time.example\",80\r\r\n+KHTTPCFG: 1\r\n\r\nOK\r\n\r\n+KHTTP_IND: 1,1\r\n"
    "AT+KHTTPGET=1,\"/cgi-bin/time\"\r\r\nCONNECT\r\n\r\nHTTP/1.1 200 OK\r\n"
    "Content-Type: text/plain\r\n\r\nSat Mar  7 09:05:30 2026 JST\r\n" +
    kMarker + "\r\n\r\nOK\r\nAT+KHTTPCLOSE=1\r\r\nOK\r\n";

INSTANTIATE_TEST_SUITE_P(
    Logs, ClockCommand,
    ::testing::Values(
        ClockCase{"first example", "Sat Mar  7 09:05:30 2026 JST\r\n" + kMarker + "\r\nOK\r\n",
                  Cclk("26/03/07,09:05:30+09")},
        ClockCase{"second example", "Mon Nov 16 23:59:58 2026 JST" + kMarker,
                  Cclk("26/11/16,23:59:58+09")},
        ClockCase{"whole session log", kGetLog, Cclk("26/03/07,09:05:30+09")},
        ClockCase{"zero-padded day", "\r\nSat Mar 07 09:05:30 2026\r\n" + kMarker,
                  Cclk("26/03/07,09:05:30+09")},
        ClockCase{"December", "x\nFri Dec 31 23:59:59 1999 UTC\r\n" + kMarker,
                  Cclk("99/12/31,23:59:59+09")},
        ClockCase{"January", "Thu Jan  1 00:00:00 1970\n" + kMarker, Cclk("70/01/01,00:00:00+09")},
        ClockCase{"zone text ignored", "Sat Mar  7 09:05:30 2026 Europe/Berlin\r\n" + kMarker,
                  Cclk("26/03/07,09:05:30+09")},
        ClockCase{"unknown month", "Sat Xyz  7 09:05:30 2026 JST\r\n" + kMarker,
                  Cclk("2607,09:05:30+09")},
        ClockCase{"month case-sensitive", "Sat MAR  7 09:05:30 2026 JST\r\n" + kMarker,
                  Cclk("2607,09:05:30+09")},
        // One blank before the day: every field after the month is off by one, sent as it is.
        ClockCase{"shifted fields", "Sat Mar 7 09:05:30 2026\r\n" + kMarker,
                  Cclk("6/03/7 ,9:05:30 +09")},
        ClockCase{"marker at position 0", kMarker + "Sat Mar  7 09:05:30 2026\r\n", Cclk(",+09")},
        ClockCase{"marker at position 1", "\n" + kMarker, Cclk(",+09")},
        ClockCase{"two markers, first decides",
                  "Sat Mar  7 09:05:30 2026 JST\r\n" + kMarker +
                      "\r\nSun Apr 12 10:00:00 2027 JST\r\n" + kMarker,
                  Cclk("26/03/07,09:05:30+09")},
        ClockCase{"no LF in front", "Sat Mar  7 09:05:30 2026 JST\r" + kMarker,
                  Cclk("26/03/07,09:05:30+09")},
        ClockCase{"no LF, text in front", "OK Sat Mar  7 09:05:30 2026 JST\r" + kMarker,
                  Cclk(" 2ar, 7 09:05+09")},
        ClockCase{"time not validated", "Sat Mar  7 24:00:00 2026 JST\r\n" + kMarker,
                  Cclk("26/03/07,24:00:00+09")},
        // A CR is never part of a field (it would split the command on the wire): in a field that
        // is read it ends the line there; at a position that is not read it changes nothing.
        ClockCase{"short line ending in CR", "Sat Mar  7 09:05\r\n" + kMarker,
                  Cclk("/03/07,09:05+09")},
        ClockCase{"CR inside the time", "Sat Mar  7 09:0\r:30 2026 JST\r\n" + kMarker,
                  Cclk("/03/07,09:0+09")},
        ClockCase{"CRs where nothing is read", "Sat\rMar\r 7\r09:05:30\r\r\r26\r\n" + kMarker,
                  Cclk("26/03/07,09:05:30+09")},
        ClockCase{"no marker", "Sat Mar  7 09:05:30 2026 JST\r\nOK\r\n", std::nullopt},
        ClockCase{"partial marker", "Sat Mar  7 09:05:30 2026 JST\r\n--EOF--Pattern-",
                  std::nullopt},
        ClockCase{"empty log", "", std::nullopt}),
    [](const auto& info) {
        std::string name = info.param.name;
        for (char& c : name) {
            if (!isalnum(static_cast<unsigned char>(c))) c = '_';
        }
        return name;
    });

// Each prefix of a 24-character line: fields take only the characters that exist.
TEST(ClockCommandShortLines, EveryLengthUpTo24) {
    const std::string full = "Sat Mar  7 09:05:30 2026";
    const char* expected[25] = {
        ",+09",
        ",+09",
        ",+09",
        ",+09",
        ",+09",
        ",+09",
        ",+09",
        "/03/,+09",
        "/03/,+09",
        "/03/0,+09",
        "/03/07,+09",
        "/03/07,+09",
        "/03/07,0+09",
        "/03/07,09+09",
        "/03/07,09:+09",
        "/03/07,09:0+09",
        "/03/07,09:05+09",
        "/03/07,09:05:+09",
        "/03/07,09:05:3+09",
        "/03/07,09:05:30+09",
        "/03/07,09:05:30+09",
        "/03/07,09:05:30+09",
        "/03/07,09:05:30+09",
        "2/03/07,09:05:30+09",
        "26/03/07,09:05:30+09",
    };
    for (size_t length = 0; length <= 24; ++length) {
        const std::string line = full.substr(0, length);
        // As the monitor logs it (CR LF), and with a bare LF in front of the marker.
        for (const std::string& end : {std::string("\r\n"), std::string("\n")}) {
            const std::string log = "\r\nCONNECT\r\n" + line + end + kMarker + "\r\nOK\r\n";
            EXPECT_EQ(BuildClockCommand(log), Cclk(expected[length]))
                << "length " << length << (end.size() == 2 ? " CR LF" : " LF");
        }
    }
}

TEST(ClockCommandShortLines, CommandNeverHoldsALineEndAndFitsAStep) {
    const std::string full = "Sat Mar  7 09:05:30 2026 JST";
    for (size_t length = 0; length <= full.size(); ++length) {
        for (size_t cr = 0; cr <= length; ++cr) {
            std::string line = full.substr(0, length);
            line.insert(cr, "\r");
            auto command = BuildClockCommand("x\r\n" + line + "\n" + kMarker);
            ASSERT_TRUE(command);
            EXPECT_EQ(command->find_first_of("\r\n"), std::string::npos) << line;
            EXPECT_LE(command->size(), 30u);
        }
    }
}

}  // namespace
}  // namespace karvex
