// Time in tests: elapsed milliseconds, bounds that allow for a sanitizer build, and waiting for a
// condition instead of sleeping and hoping it came.
#pragma once

#include <chrono>
#include <thread>

namespace karvex::testing {

using SteadyClock = std::chrono::steady_clock;

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
inline constexpr int kSlowdown = 4;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer) || __has_feature(address_sanitizer)
inline constexpr int kSlowdown = 4;
#else
inline constexpr int kSlowdown = 1;
#endif
#else
inline constexpr int kSlowdown = 1;
#endif

// An upper bound of `ms` in a plain build, scaled for the sanitizers' slower code.
constexpr long long Bound(long long ms) {
    return ms * kSlowdown;
}

inline long long MsBetween(SteadyClock::time_point from, SteadyClock::time_point to) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

inline long long MsSince(SteadyClock::time_point from) {
    return MsBetween(from, SteadyClock::now());
}

// Checks `done` every millisecond until it holds or `limit` has passed; true when it held.
template <class Condition>
bool WaitUntil(Condition done, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const auto end = SteadyClock::now() + limit;
    while (!done()) {
        if (SteadyClock::now() >= end) return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace karvex::testing
