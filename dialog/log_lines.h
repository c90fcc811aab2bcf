// The lines of the traffic log as a view shows them, without a copy of the text: the log model
// keeps the bytes, and this keeps where every 64th line starts (in bytes and in shown characters).
// A line is read back from the model and decoded when it is drawn, so a million lines cost a view
// a few hundred KiB beyond the model's own bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dialog/log_text.h"
#include "link/traffic_log.h"

namespace karvex {

class LogLines {
  public:
    // `breakLength`: the characters a line break counts for in positions (1 for "\n", 2 for
    // "\r\n", as the platform's text controls count them).
    LogLines(const TrafficLog& log, Cp932CharDecoder decoder, size_t breakLength);

    struct Update {
        bool reset = false;  // the log was cleared: everything before is gone
        bool grew = false;   // lines were added or the last line changed
        bool more = false;   // more bytes are waiting than this call read
    };
    // Reads at most `budget` of the bytes added to the model since the last call. Every line
    // completed on the way is measured with `width` once.
    Update Advance(size_t budget, const std::function<double(std::u16string_view)>& width);

    // The lines shown: one more than the line ends read (a log ending in one shows an empty line
    // after it), so never fewer than one.
    size_t Count() const { return count_; }
    // The widest line measured so far.
    double MaxWidth() const { return maxWidth_; }
    // Remeasures every line (the font changed).
    void Remeasure(const std::function<double(std::u16string_view)>& width);

    // Calls `visit` with the shown text of the lines [first, first + n), in order; stops early
    // when `visit` returns false, or when the log was cleared under it (a refresh is then due).
    using Visitor = std::function<bool(size_t line, const std::u16string& text)>;
    void Visit(size_t first, size_t n, const Visitor& visit) const;
    std::u16string Text(size_t line) const;

    // Positions counted in shown characters over the whole text, line breaks included.
    size_t LineStart(size_t line) const;
    size_t Length() const { return lastStartUnits_ + lastUnits_; }
    // The line that holds `position`, and where that line starts; past the end: the end.
    size_t LineOf(size_t position) const;

  private:
    static constexpr size_t kLinesPerMark = 64;
    void Reset(uint64_t epoch);

    const TrafficLog& log_;
    mutable LogText text_;  // its cache fills as characters are first seen
    size_t breakLength_;
    uint64_t epoch_ = 0;
    size_t read_ = 0;       // bytes of the model indexed
    size_t lastStart_ = 0;  // where the last line's bytes begin
    size_t count_ = 1;
    size_t lastStartUnits_ = 0;  // the last line's start in shown characters
    size_t lastUnits_ = 0;       // and its length so far
    double maxWidth_ = 0;
    std::vector<uint64_t> byteMarks_{0};  // line k * kLinesPerMark starts at this byte
    std::vector<uint64_t> unitMarks_{0};  // and at this position
    std::string scratch_;
};

}  // namespace karvex
