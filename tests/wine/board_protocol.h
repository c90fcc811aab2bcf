// The line protocol between the Windows tests (under Wine) and karvex-board-host, the native
// program that runs their simulated board. One request line, one answer line, over a TCP
// connection on 127.0.0.1. Words are separated by one space; byte strings travel as hex ("-" for
// none); the answer is "ok" and its words, or "error" and a reason.
//
//   new                                  a fresh board behind the same COM port
//   serve rfc2217|tcp                    -> ok ADDRESS  (ser2net serving the board, on 127.0.0.1)
//   behave PREFIX KIND REPLY DELAY PERBYTE BEFORE AFTER TIMES
//   clear-behaviours | clear-records | vanish | reappear
//   send BYTES | reading 0|1 | time-line TEXT | gps-interval MS | network-delay MS
//   vanished | echo | gps-running       -> ok 0|1
//   received | clock | own-number       -> ok BYTES
//   stored                              -> ok N
//   now                                 -> ok US          (the host's clock, to align stamps)
//   rx                                  -> ok US:BYTE ...     (time stamps in microseconds)
//   commands | sent                     -> ok US:BYTES ...
//   wait-received BYTES MS | wait-commands N MS   -> ok 0|1
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace karvex::sim::wire {

inline std::string Hex(std::string_view bytes) {
    if (bytes.empty()) return "-";
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : bytes) {
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out;
}

inline std::string Unhex(std::string_view hex) {
    if (hex == "-") return {};
    auto digit = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        out += static_cast<char>(digit(hex[i]) * 16 + digit(hex[i + 1]));
    }
    return out;
}

inline std::vector<std::string> Words(std::string_view line) {
    std::vector<std::string> words;
    size_t at = 0;
    while (at <= line.size()) {
        const size_t space = line.find(' ', at);
        const size_t end = space == std::string_view::npos ? line.size() : space;
        if (end > at) words.emplace_back(line.substr(at, end - at));
        at = end + 1;
    }
    return words;
}

}  // namespace karvex::sim::wire
