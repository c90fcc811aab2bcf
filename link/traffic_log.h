// The traffic log: exactly the bytes logged (CP932/ASCII), shared by the monitor, the runner and
// the window. Thread-safe; the window only displays it.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace karvex {

class TrafficLog {
  public:
    void Append(std::string_view bytes);
    void Clear();
    std::string Snapshot() const;
    size_t Size() const;

    // Incremental reading for a view. `epoch` counts the clears; a reader that holds an older epoch
    // gets reset = true and everything from the start.
    struct Chunk {
        uint64_t epoch = 0;
        bool reset = false;
        std::string bytes;
    };
    Chunk ReadFrom(uint64_t epoch, size_t offset) const;

    // Called after every change, on the thread that made it, outside the log's lock. It must not
    // block; the window posts a queued refresh from it.
    void SetObserver(std::function<void()> observer);

  private:
    mutable std::mutex mutex_;
    std::string bytes_;
    uint64_t epoch_ = 0;
    std::function<void()> observer_;
    void Notify();
};

// Appends text exactly as given (no line end is added). Never replaces or moves anything the
// operator selected in the view: the view always appends at its end.
void AppendLog(TrafficLog& log, std::string_view text);

}  // namespace karvex
