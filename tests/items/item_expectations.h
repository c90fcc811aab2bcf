// What each item sends for the standard inputs below, step by step: shared by the catalogue tests
// and the end-to-end runs.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "sequencer/test_items.h"

namespace karvex::testing {

struct Step {
    std::string command;  // without the CR
    uint32_t timeout;
    std::string expected;
    bool operator==(const Step&) const = default;
    bool IsDelay() const { return command == "*"; }
};

inline void PrintTo(const Step& s, std::ostream* os) {
    *os << '{' << '"' << s.command << "\", " << s.timeout << ", \"" << s.expected << "\"}";
}

inline TestInputs StandardInputs(int item, bool tolva2 = false) {
    TestInputs in;
    in.item = item;
    in.tolva2 = tolva2;
    in.apn = "apn.example";
    in.user = "user";
    in.password = "pass";
    in.phone = "09012345678";
    in.smsNumber = "1";
    return in;
}

// What the module answers to AT+CMGR for a stored message (a board starts with an empty store).
inline constexpr const char* kStoredSmsReply =
    "\r\n+CMGR: \"REC UNREAD\",\"+8190\",,\"26/03/07,09:05:40+36\"\r\nTEST SMS 1\r\n\r\nOK\r\n";

inline constexpr uint32_t kWriteOnly = 0xFFFFFFFFu;

inline std::string HttpConfigCommand() {
    return std::string("AT+KHTTPCFG=1,\"") + kTimeServiceHost + "\",80";
}

// The list of `item` for StandardInputs(item, tolva2), without the end marker.
inline std::vector<Step> ExpectedSteps(int item, bool tolva2 = false) {
    switch (item) {
        case 0: {
            std::vector<Step> steps = {
                {"AT+KSLEEP=2", 5000, ""},
                {"AT+GPSAUTOINIT=0", 5000, ""},
                {"ATE0", 5000, ""},
                {"AT&K0", 5000, ""},
                {"AT+CGATT=0", 8000, ""},
                {"AT+KCNXCFG=1,\"GPRS\",\"apn.example\",\"user\",\"pass\"", 5000, ""},
                {"AT+CGDCONT=4,, \"apn.example\"", 5000, ""},
                {"AT+KCNXPROFILE=1", 5000, ""},
                {"AT+CGATT=1", 8000, ""},
            };
            if (tolva2) steps[1].command = steps[8].command = "AT";
            return steps;
        }
        case 1:
            return {{"AT+CGMR", 5000, ""}};
        case 2:
            return {{"AT+CSQ", 5000, ""}};
        case 3:
            return {{HttpConfigCommand(), 30000, "+KHTTP_IND"},
                    {"AT+KHTTPGET=1,\"/cgi-bin/time\"", 30000, ""},
                    {"*", 3000, ""},
                    {"AT+KHTTPCLOSE=1", 5000, ""},
                    {"AT+KHTTPDEL=1", 5000, ""}};
        case 4:
            return {{"AT+CCLK?", 5000, ""}};
        case 5:
            return {{"AT+CMGF=1", 5000, ""},
                    {"*", 3000, ""},
                    {"AT+CMGS=\"09012345678\"", kWriteOnly, ""},
                    {"*", 5000, ""},
                    {"TEST SMS 1\x1A", 3000, ""}};
        case 6:
            return {{"AT+CPMS=\"SM\"", 5000, ""}};
        case 7:
            return {{"AT+CMGR=1", 5000, ""}};
        case 8:
            return {{"AT+CMGD=1", 5000, ""}};
        case 9:
            return {{"AT+WPPP=2,4,\"user\",\"pass\"", 5000, ""}, {"AT+CMOLR=2,1", 5000, ""}};
        case 10:
            return {{"AT+GPSNMEA=01,,1", 5000, ""}, {"AT+GPSSTART=0", 5000, ""}};
        case 11:
            return {{"AT+GPSSTOP", 5000, ""}};
        default:
            return {};
    }
}

}  // namespace karvex::testing
