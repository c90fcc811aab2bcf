// The board's port, watched: a read that fails before we shut the port means the device
// has gone (cable pulled), every write is announced (for the progress line), and every byte
// written or read is recorded with its time where the port moves it (for the trace).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string_view>
#include <utility>

#include "cli/trace_recorder.h"
#include "link/port.h"

namespace karvex::cli {

class WatchedPort final : public Port {
  public:
    WatchedPort(LinkPort& port, std::function<void()> onLost,
                std::function<void(std::string_view)> onWrite, TraceRecorder* trace = nullptr)
        : port_(port), onLost_(std::move(onLost)), onWrite_(std::move(onWrite)), trace_(trace) {}

    // Called before our own shutdown, so that the failing reads it causes are not taken for a
    // lost device.
    void Closing() { closing_.store(true); }

    void Purge() override { port_.Purge(); }
    int Write(const void* bytes, uint32_t count) override {
        const std::string_view written(static_cast<const char*>(bytes), count);
        onWrite_(written);
        if (trace_ != nullptr) trace_->Wrote(written);
        return port_.Write(bytes, count);
    }
    int Read(void* buffer, uint32_t count) override {
        const int n = port_.Read(buffer, count);
        if (trace_ != nullptr) trace_->Read(buffer, n);
        if (n < 0 && !closing_.load() && !lost_.exchange(true)) onLost_();
        return n;
    }

  private:
    LinkPort& port_;
    std::function<void()> onLost_;
    std::function<void(std::string_view)> onWrite_;
    TraceRecorder* trace_;
    std::atomic<bool> closing_{false};
    std::atomic<bool> lost_{false};  // onLost_ has been called: it is called once
};

}  // namespace karvex::cli
