// What a log view reads from the traffic log model at each refresh: the bytes added since the
// last one, at most kMaxBytesPerRefresh at a time (the rest follows at the next refresh, so a
// burst never holds the UI thread for long), and whether the model was cleared in between.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "link/traffic_log.h"

namespace karvex {

class LogFeed {
  public:
    static constexpr size_t kMaxBytesPerRefresh = 64 * 1024;

    explicit LogFeed(const TrafficLog& log) : log_(log) {}

    struct Step {
        bool reset = false;      // the model was cleared: empty the view first
        std::string_view bytes;  // to append; valid until the next call
        bool more = false;       // more is waiting: refresh again
    };
    Step Next();

  private:
    const TrafficLog& log_;
    uint64_t epoch_ = 0;
    size_t offset_ = 0;      // bytes of the model read so far
    std::string backlog_;    // read from the model, not yet handed out
    size_t backlogPos_ = 0;  // how much of backlog_ was handed out
};

}  // namespace karvex
