#include "dialog/log_feed.h"

#include <algorithm>

namespace karvex {

LogFeed::Step LogFeed::Next() {
    Step step;
    if (backlogPos_ == backlog_.size()) {
        backlog_.clear();
        backlogPos_ = 0;
    }
    TrafficLog::Chunk chunk = log_.ReadFrom(epoch_, offset_);
    if (chunk.reset || chunk.epoch != epoch_) {
        epoch_ = chunk.epoch;
        offset_ = 0;
        backlog_.clear();
        backlogPos_ = 0;
        step.reset = true;
    }
    offset_ += chunk.bytes.size();
    if (backlog_.empty()) {
        backlog_ = std::move(chunk.bytes);
    } else {
        backlog_.append(chunk.bytes);
    }
    const size_t n = std::min(kMaxBytesPerRefresh, backlog_.size() - backlogPos_);
    step.bytes = std::string_view(backlog_).substr(backlogPos_, n);
    backlogPos_ += n;
    step.more = backlogPos_ < backlog_.size();
    return step;
}

}  // namespace karvex
