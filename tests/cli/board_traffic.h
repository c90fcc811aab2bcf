// What a simulated board saw of a run, in the form karvex-run's log files keep it.
#pragma once

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "sim/board.h"

namespace karvex::clitest {

// The board's traffic in time order: what it received and what it sent, byte for byte.
inline std::string BoardTraffic(const sim::Board& board) {
    std::vector<std::pair<sim::Clock::time_point, std::string>> events;
    for (const sim::RxByte& b : board.ReceivedBytes()) {
        events.emplace_back(b.at, std::string(1, static_cast<char>(b.byte)));
    }
    for (const sim::TxChunk& c : board.Sent()) events.emplace_back(c.at, c.bytes);
    std::stable_sort(events.begin(), events.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::string traffic;
    for (const auto& e : events) traffic += e.second;
    return traffic;
}

}  // namespace karvex::clitest
