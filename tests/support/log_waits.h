// Reaching a point of a running item from what its log shows, instead of sleeping for a guess.
#pragma once

#include <chrono>
#include <string>

#include "link/traffic_log.h"
#include "timing.h"

namespace karvex::testing {

// True once the log shows `command` as sent and an OK line after it.
inline bool LoggedWithOk(const TrafficLog& log, const std::string& command) {
    const std::string text = log.Snapshot();
    const size_t at = text.find(command + "\r");
    return at != std::string::npos && text.find("OK\r\n", at) != std::string::npos;
}

// Waits until the log shows `command`'s OK, then until the success verdict that follows it
// (`verdictMs`) and a margin have passed: the runner is then in the pause after that step. Nothing
// outside shows the pause's start, so the last part is time counted from the logged reply.
inline bool WaitIntoPauseAfter(const TrafficLog& log, const std::string& command,
                               long long verdictMs,
                               std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    if (!WaitUntil([&] { return LoggedWithOk(log, command); }, limit)) return false;
    const auto seen = SteadyClock::now();
    return WaitUntil([&] { return MsSince(seen) >= verdictMs + 200; });
}

}  // namespace karvex::testing
