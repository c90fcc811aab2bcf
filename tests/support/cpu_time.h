// CPU time used so far by this process (user + system, all threads), in seconds.
#pragma once

#include <sys/resource.h>

namespace karvex::testing {

inline double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto secs = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return secs(usage.ru_utime) + secs(usage.ru_stime);
}

}  // namespace karvex::testing
