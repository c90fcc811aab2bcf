// When everything of a board's run happened: the bytes as the port wrote and read them, and each
// command step as the runner took it, in milliseconds of the run's monotonic clock.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "sequencer/command_step.h"

namespace karvex::cli {

using SteadyClock = std::chrono::steady_clock;

struct TraceChunk {
    double t = 0;       // ms from the run's start: when the write began or the first byte was read
    bool sent = false;  // written to the board, or read from it
    std::string bytes;  // as on the wire
};

struct TraceStep {
    // Where the step stands in its item: its list (1: the network-time item's clock list) and its
    // index there, delay steps counted, as the reports number steps; -1 when it is not known.
    int list = 0;
    int index = -1;
    std::string command;  // as written, without its CR
    uint32_t timeout = 0;
    uint32_t pauseBeforeMs = 0;  // the pause the item took before writing it
    double written = 0;          // ms from the run's start
    double ended = 0;            // when the runner knew how the step ended
    StepEnd end = StepEnd::Done;
    std::string line;  // the received line that decided it (Done, FailureReply)
};

struct ItemTrace {
    double start = 0, end = 0;
    std::vector<TraceChunk> chunks;  // since the previous item ended, in time order
    std::vector<TraceStep> steps;    // in the order they were written
};

// Fed by the watched port (the worker's writes, the monitor's reads) and by the runner; taken
// by the worker after each item. Received bytes are gathered into one chunk per line: a chunk
// ends at an LF from its third byte on (as the line reader ends lines), at a write, or when long.
class TraceRecorder final : public StepObserver {
  public:
    explicit TraceRecorder(SteadyClock::time_point origin) : origin_(origin) {}
    void SetOrigin(SteadyClock::time_point origin) { origin_ = origin; }  // before any traffic

    double Ms(SteadyClock::time_point at) const {
        return std::chrono::duration<double, std::milli>(at - origin_).count();
    }
    double Now() const { return Ms(SteadyClock::now()); }

    void Wrote(std::string_view bytes);
    void Read(const void* bytes, int count);
    void StepEnded(std::string_view command, StepEnd end, std::string_view line) override;

    // Everything recorded since the last call.
    ItemTrace Take();

  private:
    SteadyClock::time_point origin_;
    std::mutex mutex_;
    ItemTrace current_;
    bool reading_ = false;  // the last chunk is a received one still open
    double lastWrite_ = 0;
};

// `bytes` as one line of text: printable ASCII as it stands, a backslash doubled; with `json` a
// quote escaped and every other byte as \u00XX, without it CR and LF as \r and \n and every
// other byte as \xHH.
std::string EscapedBytes(std::string_view bytes, bool json);

// The JSON string of `bytes` (quotes included): printable ASCII as it stands (a quote and a
// backslash escaped as JSON wants), every other byte as \u00XX, its value; a reader that takes
// each code point of the decoded string as one byte gets the bytes back.
std::string JsonBytes(std::string_view bytes);

// "done", "failure-reply", "timed-out", "send-error", "link-closed".
const char* StepEndWord(StepEnd end);

}  // namespace karvex::cli
