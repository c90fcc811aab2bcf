#include "link/traffic_log.h"

#include <algorithm>
#include <cstring>

namespace karvex {

void TrafficLog::Append(std::string_view bytes) {
    if (bytes.empty()) return;
    {
        std::lock_guard lock(mutex_);
        while (!bytes.empty()) {
            const size_t used = size_ % kBlockBytes;
            if (used == 0 && size_ / kBlockBytes == blocks_.size()) {
                // Not value-initialised: a block's pages are touched only as bytes arrive.
                blocks_.push_back(std::unique_ptr<char[]>(new char[kBlockBytes]));
            }
            const size_t n = std::min(bytes.size(), kBlockBytes - used);
            std::memcpy(blocks_[size_ / kBlockBytes].get() + used, bytes.data(), n);
            size_ += n;
            bytes.remove_prefix(n);
        }
    }
    Notify();
}

void TrafficLog::Clear() {
    {
        std::lock_guard lock(mutex_);
        blocks_.clear();
        size_ = 0;
        ++epoch_;
    }
    Notify();
}

void TrafficLog::CopyOut(size_t offset, size_t count, std::string& out) const {
    count = offset < size_ ? std::min(count, size_ - offset) : 0;
    while (count > 0) {
        const size_t at = offset % kBlockBytes;
        const size_t n = std::min(count, kBlockBytes - at);
        out.append(blocks_[offset / kBlockBytes].get() + at, n);
        offset += n;
        count -= n;
    }
}

std::string TrafficLog::Snapshot() const {
    std::lock_guard lock(mutex_);
    std::string out;
    out.reserve(size_);
    CopyOut(0, size_, out);
    return out;
}

size_t TrafficLog::Size() const {
    std::lock_guard lock(mutex_);
    return size_;
}

TrafficLog::State TrafficLog::Now() const {
    std::lock_guard lock(mutex_);
    return State{epoch_, size_};
}

bool TrafficLog::Read(uint64_t epoch, size_t offset, size_t count, std::string& out) const {
    std::lock_guard lock(mutex_);
    if (epoch != epoch_) return false;
    CopyOut(offset, count, out);
    return true;
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
