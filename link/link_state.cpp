#include "link/link_state.h"

namespace karvex {

void LinkState::SetLinkOpen(bool open) {
    {
        std::lock_guard lock(mutex_);
        linkOpen_.store(open ? 1 : 0);
    }
    changed_.notify_all();
}

void LinkState::Publish(Verdict verdict, std::string_view line) {
    {
        std::lock_guard lock(mutex_);
        verdictLine_.assign(line);
        result_.store(static_cast<int>(verdict));
    }
    changed_.notify_all();
}

std::string LinkState::VerdictLine() const {
    std::lock_guard lock(mutex_);
    return verdictLine_;
}

void LinkState::SetExpected(std::string_view text, std::span<const std::string> extraFailures) {
    std::lock_guard lock(mutex_);
    expected_.assign(text.substr(0, kExpectedSize - 1));
    extraFailures_.assign(extraFailures.begin(), extraFailures.end());
}

std::string LinkState::Expected() const {
    std::lock_guard lock(mutex_);
    return expected_;
}

LinkState::StepReplies LinkState::Replies() const {
    std::lock_guard lock(mutex_);
    return {expected_, extraFailures_};
}

bool LinkState::SleepWhileOpen(std::chrono::milliseconds ms) {
    // No pause at all: a timed wait that is due at once still sleeps for the timer's slack.
    if (ms.count() <= 0) return LinkOpen();
    std::unique_lock lock(mutex_);
    return !changed_.wait_for(lock, ms, [this] { return linkOpen_.load() == 0; });
}

void LinkState::WaitForVerdict(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    changed_.wait_until(lock, deadline,
                        [this] { return linkOpen_.load() == 0 || result_.load() != 0; });
}

}  // namespace karvex
