#include "cli/trace_recorder.h"

#include <cstdio>

namespace karvex::cli {
namespace {

// A received chunk this long ends even without a line end (a board sending garbage).
constexpr size_t kLongChunk = 512;

}  // namespace

void TraceRecorder::Wrote(std::string_view bytes) {
    const double now = Now();
    std::lock_guard lock(mutex_);
    reading_ = false;
    lastWrite_ = now;
    current_.chunks.push_back({now, true, std::string(bytes)});
}

void TraceRecorder::Read(const void* bytes, int count) {
    if (count < 1) return;  // a read time-out ends no chunk: a slow line stays one line
    const std::string_view got(static_cast<const char*>(bytes), static_cast<size_t>(count));
    const double now = Now();
    std::lock_guard lock(mutex_);
    for (const char c : got) {
        if (!reading_) {
            current_.chunks.push_back({now, false, {}});
            reading_ = true;
        }
        std::string& chunk = current_.chunks.back().bytes;
        chunk += c;
        if ((c == '\n' && chunk.size() >= 3) || chunk.size() >= kLongChunk) reading_ = false;
    }
}

void TraceRecorder::StepEnded(std::string_view command, StepEnd end, std::string_view line) {
    const double now = Now();
    std::lock_guard lock(mutex_);
    TraceStep step;
    step.command = command;
    step.written = lastWrite_;
    step.ended = now;
    step.end = end;
    step.line = line;
    current_.steps.push_back(std::move(step));
}

ItemTrace TraceRecorder::Take() {
    std::lock_guard lock(mutex_);
    ItemTrace taken = std::move(current_);
    current_ = ItemTrace{};
    // A line being read goes on in a chunk of its own.
    reading_ = false;
    return taken;
}

std::string EscapedBytes(std::string_view bytes, bool json) {
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        char escaped[8] = "";
        if (c == '\\' || (json && c == '"')) {
            escaped[0] = '\\';
            escaped[1] = c;
        } else if (byte >= 0x20 && byte < 0x7F) {
            escaped[0] = c;
        } else if (!json && (c == '\r' || c == '\n')) {
            std::snprintf(escaped, sizeof escaped, "\\%c", c == '\r' ? 'r' : 'n');
        } else {
            std::snprintf(escaped, sizeof escaped, json ? "\\u%04X" : "\\x%02X", byte);
        }
        out += escaped;
    }
    return out;
}

std::string JsonBytes(std::string_view bytes) {
    return "\"" + EscapedBytes(bytes, true) + "\"";
}

const char* StepEndWord(StepEnd end) {
    switch (end) {
        case StepEnd::Done:
            return "done";
        case StepEnd::FailureReply:
            return "failure-reply";
        case StepEnd::TimedOut:
            return "timed-out";
        case StepEnd::SendError:
            return "send-error";
        case StepEnd::LinkClosed:
            return "link-closed";
    }
    return "?";
}

}  // namespace karvex::cli
