#include "sim/outgoing.h"

#include <algorithm>

namespace karvex::sim {

namespace {
// Earliest first; equal times in the order they were pushed.
template <typename Item>
bool Earlier(const Item& a, const Item& b) {
    return a.out.due < b.out.due || (a.out.due == b.out.due && a.seq < b.seq);
}
}  // namespace

void OutQueue::Push(Outgoing item) {
    if (item.bytes.empty()) return;
    waiting_.push_back({std::move(item), seq_++});
}

std::string_view OutQueue::Next(Clock::time_point now) {
    if (!current_) {
        auto first = std::min_element(waiting_.begin(), waiting_.end(), Earlier<Item>);
        if (first == waiting_.end() || first->out.due > now) return {};
        current_ = std::move(first->out);
        waiting_.erase(first);
        pos_ = 0;
        nextWrite_ = current_->due;
    }
    if (nextWrite_ > now) return {};
    const std::string_view rest = std::string_view(current_->bytes).substr(pos_);
    return current_->perByte.count() > 0 ? rest.substr(0, 1) : rest;
}

void OutQueue::Written(size_t count, Clock::time_point at) {
    if (!current_) return;
    pos_ += count;
    if (pos_ >= current_->bytes.size()) {
        current_.reset();
        return;
    }
    nextWrite_ = current_->perByte.count() > 0 ? at + current_->perByte : at;
}

std::optional<Clock::time_point> OutQueue::NextTime() const {
    if (current_) return nextWrite_;
    auto first = std::min_element(waiting_.begin(), waiting_.end(), Earlier<Item>);
    if (first == waiting_.end()) return std::nullopt;
    return first->out.due;
}

bool OutQueue::Holds(Outgoing::Origin origin) const {
    if (current_ && current_->origin == origin) return true;
    return std::any_of(waiting_.begin(), waiting_.end(),
                       [origin](const Item& item) { return item.out.origin == origin; });
}

void OutQueue::Drop(Outgoing::Origin origin) {
    std::erase_if(waiting_, [origin](const Item& item) { return item.out.origin == origin; });
}

void OutQueue::Clear() {
    waiting_.clear();
    current_.reset();
}

}  // namespace karvex::sim
