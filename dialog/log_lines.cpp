#include "dialog/log_lines.h"

#include <algorithm>

namespace karvex {

namespace {
// How much of the model a visit reads at a time.
constexpr size_t kPieceBytes = 16 * 1024;
}  // namespace

LogLines::LogLines(const TrafficLog& log, Cp932CharDecoder decoder, size_t breakLength)
    : log_(log), text_(decoder), breakLength_(breakLength) {}

void LogLines::Reset(uint64_t epoch) {
    epoch_ = epoch;
    read_ = lastStart_ = 0;
    count_ = 1;
    lastStartUnits_ = lastUnits_ = 0;
    maxWidth_ = 0;
    byteMarks_.assign(1, 0);
    unitMarks_.assign(1, 0);
}

LogLines::Update LogLines::Advance(size_t budget,
                                   const std::function<double(std::u16string_view)>& width) {
    Update update;
    const TrafficLog::State now = log_.Now();
    if (now.epoch != epoch_) {
        Reset(now.epoch);
        update.reset = true;
    }
    if (now.size <= read_) {
        return update;
    }
    // The last line is read again from its start: its end may have changed how it shows.
    const size_t to = std::min(now.size, read_ + budget);
    scratch_.clear();
    if (!log_.Read(epoch_, lastStart_, to - lastStart_, scratch_)) {
        update.more = true;  // cleared meanwhile: the next call starts over
        return update;
    }
    const std::string_view bytes(scratch_);
    const size_t base = lastStart_;
    size_t begin = 0;
    std::u16string line;
    for (size_t lf = bytes.find('\n', read_ - base); lf != std::string_view::npos;
         lf = bytes.find('\n', begin)) {
        line.clear();
        text_.Line(bytes.substr(begin, lf - begin), true, line);
        maxWidth_ = std::max(maxWidth_, width(line));
        lastStartUnits_ += line.size() + breakLength_;
        begin = lf + 1;
        if (count_++ % kLinesPerMark == 0) {
            byteMarks_.push_back(base + begin);
            unitMarks_.push_back(lastStartUnits_);
        }
    }
    line.clear();
    text_.Line(bytes.substr(begin), false, line);
    maxWidth_ = std::max(maxWidth_, width(line));
    lastUnits_ = line.size();
    lastStart_ = base + begin;
    read_ = to;
    update.grew = true;
    update.more = to < now.size;
    return update;
}

void LogLines::Remeasure(const std::function<double(std::u16string_view)>& width) {
    maxWidth_ = 0;
    Visit(0, count_, [&](size_t, const std::u16string& text) {
        maxWidth_ = std::max(maxWidth_, width(text));
        return true;
    });
}

void LogLines::Visit(size_t first, size_t n, const Visitor& visit) const {
    if (first >= count_) {
        return;
    }
    const size_t stop = first + std::min(n, count_ - first);
    size_t line = first / kLinesPerMark * kLinesPerMark;
    size_t at = byteMarks_[first / kLinesPerMark];  // the model offset of buf[0]
    std::string buf;
    size_t begin = 0;  // the current line's start in buf
    size_t scan = 0;   // where the search for its LF goes on
    std::u16string text;
    while (line < stop) {
        const bool last = line + 1 == count_;
        size_t end = last ? read_ - at : buf.find('\n', scan);
        while (end == std::string::npos || end > buf.size()) {
            // Only the bytes indexed so far: the model may already hold more.
            scan = buf.size();
            const size_t want = std::min(kPieceBytes, read_ - (at + buf.size()));
            if (want == 0 || !log_.Read(epoch_, at + buf.size(), want, buf)) {
                return;  // cleared under us: the refresh that follows starts over
            }
            end = last ? read_ - at : buf.find('\n', scan);
        }
        if (line >= first) {
            text.clear();
            text_.Line(std::string_view(buf).substr(begin, end - begin), !last, text);
            if (!visit(line, text)) {
                return;
            }
        }
        ++line;
        begin = scan = end + 1;
        if (begin >= kPieceBytes) {
            buf.erase(0, begin);
            at += begin;
            begin = scan = 0;
        }
    }
}

std::u16string LogLines::Text(size_t line) const {
    std::u16string out;
    Visit(line, 1, [&](size_t, const std::u16string& text) {
        out = text;
        return false;
    });
    return out;
}

size_t LogLines::LineStart(size_t line) const {
    if (line + 1 >= count_) {
        return line + 1 == count_ ? lastStartUnits_ : Length();
    }
    const size_t mark = line / kLinesPerMark;
    size_t units = unitMarks_[mark];
    Visit(mark * kLinesPerMark, line - mark * kLinesPerMark, [&](size_t, const std::u16string& t) {
        units += t.size() + breakLength_;
        return true;
    });
    return units;
}

size_t LogLines::LineOf(size_t position) const {
    if (position >= lastStartUnits_) {
        return count_ - 1;
    }
    const size_t mark =
        static_cast<size_t>(std::upper_bound(unitMarks_.begin(), unitMarks_.end(), position) -
                            unitMarks_.begin()) -
        1;
    size_t line = mark * kLinesPerMark;
    size_t units = unitMarks_[mark];
    Visit(line, kLinesPerMark, [&](size_t l, const std::u16string& text) {
        line = l;
        units += text.size() + breakLength_;
        return position >= units;
    });
    return line;
}

}  // namespace karvex
