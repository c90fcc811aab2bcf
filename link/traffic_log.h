// The traffic log: exactly the bytes logged (CP932/ASCII), shared by the monitor, the runner and
// the window. Thread-safe; the window only displays it.
//
// The bytes are kept in fixed-size blocks rather than one growing string: a string that doubles
// would hold up to twice a long log's size, and a copy of the whole text at each regrowth. A night
// of GPS output is tens of MiB.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace karvex {

class TrafficLog {
  public:
    static constexpr size_t kBlockBytes = 256 * 1024;

    void Append(std::string_view bytes);
    void Clear();
    // Every byte, exactly.
    std::string Snapshot() const;
    size_t Size() const;

    // For a view that reads what it shows piece by piece. `epoch` counts the clears: a reader
    // compares it to know whether the bytes it indexed are still the log's.
    struct State {
        uint64_t epoch = 0;
        size_t size = 0;
    };
    State Now() const;
    // Appends the bytes [offset, offset + count) that exist to `out`; false (and nothing read)
    // when the log was cleared since `epoch`.
    bool Read(uint64_t epoch, size_t offset, size_t count, std::string& out) const;

    // Called after every change, on the thread that made it, outside the log's lock. It must not
    // block; the window posts a queued refresh from it.
    void SetObserver(std::function<void()> observer);

  private:
    void CopyOut(size_t offset, size_t count, std::string& out) const;
    void Notify();

    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<char[]>> blocks_;
    size_t size_ = 0;
    uint64_t epoch_ = 0;
    std::function<void()> observer_;
};

// Appends text exactly as given (no line end is added). Never replaces or moves anything the
// operator selected in the view: the view always appends at its end.
void AppendLog(TrafficLog& log, std::string_view text);

}  // namespace karvex
