#include "link/traffic_log.h"

namespace karvex {

void TrafficLog::Append(std::string_view bytes) {
    if (bytes.empty()) return;
    {
        std::lock_guard lock(mutex_);
        bytes_.append(bytes);
    }
    Notify();
}

void TrafficLog::Clear() {
    {
        std::lock_guard lock(mutex_);
        bytes_.clear();
        ++epoch_;
    }
    Notify();
}

std::string TrafficLog::Snapshot() const {
    std::lock_guard lock(mutex_);
    return bytes_;
}

size_t TrafficLog::Size() const {
    std::lock_guard lock(mutex_);
    return bytes_.size();
}

TrafficLog::Chunk TrafficLog::ReadFrom(uint64_t epoch, size_t offset) const {
    std::lock_guard lock(mutex_);
    Chunk chunk;
    chunk.epoch = epoch_;
    if (epoch != epoch_ || offset > bytes_.size()) {
        chunk.reset = true;
        offset = 0;
    }
    chunk.bytes.assign(bytes_, offset, std::string::npos);
    return chunk;
}

void TrafficLog::SetObserver(std::function<void()> observer) {
    std::lock_guard lock(mutex_);
    observer_ = std::move(observer);
}

void TrafficLog::Notify() {
    std::function<void()> observer;
    {
        std::lock_guard lock(mutex_);
        observer = observer_;
    }
    if (observer) observer();
}

void AppendLog(TrafficLog& log, std::string_view text) {
    log.Append(text);
}

}  // namespace karvex
