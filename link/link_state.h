// State shared by the UI thread, the receive monitor and the sequence worker while a link is open:
// the link-open flag, the result flag and the expected-reply buffer. The flags are atomics; changes
// are announced on one condition variable so that nobody polls, and every sleep of the monitor and
// the worker is cut short when the link closes.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace karvex {

// Values of the result flag.
enum class Verdict : int { Waiting = 0, Success = 1, Failure = 2 };

class LinkState {
  public:
    static constexpr size_t kExpectedSize = 256;  // the expected reply keeps at most 255 bytes

    bool LinkOpen() const { return linkOpen_.load(); }
    void SetLinkOpen(bool open);

    Verdict Result() const { return static_cast<Verdict>(result_.load()); }
    // Sets the result flag and wakes a waiting runner. `line` is the received line that decided
    // it (empty for the runner's reset to Waiting); it stays readable until the next Publish.
    void Publish(Verdict verdict, std::string_view line = {});
    std::string VerdictLine() const;

    // The expected-reply buffer: written whole and read whole under a lock, so the monitor never
    // sees it half-written. Longer texts are cut to 255 bytes. `extraFailures` are failure replies
    // that this step adds to the fixed four (none for the built-in items); they are set and read
    // together with the expected reply, so a line is never judged by one step's expectation and
    // another step's failures.
    void SetExpected(std::string_view text, std::span<const std::string> extraFailures = {});
    std::string Expected() const;

    struct StepReplies {
        std::string expected;
        std::vector<std::string> extraFailures;
    };
    StepReplies Replies() const;

    // Sleeps `ms`, returning early (false) when the link closes.
    bool SleepWhileOpen(std::chrono::milliseconds ms);

    // Blocks until the link closes, the result flag is not Waiting, or `deadline` passes.
    void WaitForVerdict(std::chrono::steady_clock::time_point deadline);

  private:
    std::atomic<int> linkOpen_{0};
    std::atomic<int> result_{0};
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::string expected_;
    std::vector<std::string> extraFailures_;
    std::string verdictLine_;
};

}  // namespace karvex
