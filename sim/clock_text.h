// Date and time texts of the module: the time service's line and the module's real-time clock.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "sim/board.h"

namespace karvex::sim {

// The time in Japan (UTC+9, whatever the machine's zone) in the C library's asctime layout with
// the zone name: "Sat Mar  7 09:05:30 2026 JST" (the day padded with a blank). The names are
// fixed English texts, independent of the process's locale.
std::string JapanTimeLine(std::chrono::system_clock::time_point when);

// The module's clock as AT+CCLK shows it: "yy/MM/dd,hh:mm:ss+zz". It keeps the value last set and
// runs on from there with the monotonic clock. The zone is kept as text and never applied.
class ModuleClock {
  public:
    ModuleClock();  // starts at the current time in Japan, zone "+36" (quarter hours)
    // Takes a value in the layout above; false (and no change) when it is malformed or names an
    // impossible date or time.
    bool Set(std::string_view value, Clock::time_point now);
    std::string Value(Clock::time_point now) const;

  private:
    std::chrono::sys_seconds base_;  // the wall time last set, as if it were UTC
    Clock::time_point setAt_;
    std::string zone_;  // sign and two digits
};

}  // namespace karvex::sim
