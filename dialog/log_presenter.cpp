#include "dialog/log_presenter.h"

#include <algorithm>
#include <cmath>

namespace karvex {

namespace {

// Word classes for double-clicks and Ctrl+Left/Right: blanks, word characters, the rest.
int ClassOf(char16_t c) {
    if (c == u' ' || c == u'\t') return 0;
    const bool word = (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') ||
                      (c >= u'a' && c <= u'z') || c == u'_' || c >= 0x80;
    return word ? 1 : 2;
}

size_t WordLeft(const std::u16string& text, size_t column) {
    while (column > 0 && ClassOf(text[column - 1]) == 0) --column;
    if (column > 0) {
        const int kind = ClassOf(text[column - 1]);
        while (column > 0 && ClassOf(text[column - 1]) == kind) --column;
    }
    return column;
}

size_t WordRight(const std::u16string& text, size_t column) {
    if (column < text.size() && ClassOf(text[column]) != 0) {
        const int kind = ClassOf(text[column]);
        while (column < text.size() && ClassOf(text[column]) == kind) ++column;
    }
    while (column < text.size() && ClassOf(text[column]) == 0) ++column;
    return column;
}

// How far a drag outside the view scrolls it across per call.
constexpr double kDragStepPixels = 16;

}  // namespace

LogPresenter::LogPresenter(TrafficLog& log, LogSurface& surface, Cp932CharDecoder decoder,
                           std::u16string_view lineBreak)
    : log_(log),
      surface_(surface),
      lineBreak_(lineBreak),
      lines_(log, decoder, lineBreak.size()),
      advances_(0x10000, -1.0f) {
    log_.SetObserver([this] { RequestRefresh(); });
}

LogPresenter::~LogPresenter() {
    log_.SetObserver(nullptr);
}

void LogPresenter::RequestRefresh() {
    // Any thread. Only the first change after a refresh posts; the refresh clears the flag before
    // it reads, so a change that races with it posts again and is never missed. A post that
    // failed clears it too: the next change tries again.
    if (!pending_.exchange(true) && !surface_.PostRefresh()) {
        pending_.store(false);
    }
}

void LogPresenter::Refresh() {
    pending_.store(false);
    const bool follow = top_ >= MaxTop() && !HasSelection();
    // The last line may grow, and new lines come after it: seen only when it is in sight.
    const bool lastInSight = LineCount() <= top_ + Rows() + 1;
    const LogLines::Update update = lines_.Advance(
        kMaxBytesPerRefresh, [this](std::u16string_view text) { return Width(text, text.size()); });
    if (update.reset) {
        top_ = 0;
        left_ = 0;
        anchor_ = caret_ = LogPosition{};
        goalX_.reset();
    }
    if (follow) {
        top_ = MaxTop();
    }
    if (update.more) {
        RequestRefresh();
    }
    if (update.reset || update.grew) {
        surface_.Changed(update.reset || follow || lastInSight);
    }
}

void LogPresenter::SetFont(double lineHeight, double tabWidth) {
    lineHeight_ = std::max(1.0, lineHeight);
    tabWidth_ = std::max(1.0, tabWidth);
    std::fill(advances_.begin(), advances_.end(), -1.0f);
    lines_.Remeasure([this](std::u16string_view text) { return Width(text, text.size()); });
    surface_.Changed(true);
}

void LogPresenter::SetViewport(double width, double height) {
    const bool follow = top_ >= MaxTop();
    width_ = std::max(0.0, width);
    height_ = std::max(0.0, height);
    top_ = follow ? MaxTop() : std::min(top_, MaxTop());
    left_ = std::min(left_, MaxLeft());
    surface_.Changed(true);
}

size_t LogPresenter::Rows() const {
    return std::max<size_t>(1, static_cast<size_t>(height_ / lineHeight_));
}

size_t LogPresenter::MaxTop() const {
    return LineCount() > Rows() ? LineCount() - Rows() : 0;
}

double LogPresenter::MaxLeft() const {
    // Room for the caret behind the widest line.
    return std::max(0.0, std::ceil(lines_.MaxWidth()) + 2 - width_);
}

double LogPresenter::AdvanceOf(char16_t c) const {
    float& cached = advances_[c];
    if (cached < 0) cached = static_cast<float>(surface_.Advance(c));
    return cached;
}

double LogPresenter::Width(std::u16string_view text, size_t upTo) const {
    double x = 0;
    for (size_t i = 0; i < upTo && i < text.size(); ++i) {
        x = text[i] == u'\t' ? (std::floor(x / tabWidth_) + 1) * tabWidth_ : x + AdvanceOf(text[i]);
    }
    return x;
}

double LogPresenter::XOf(std::u16string_view text, size_t column) const {
    return Width(text, column);
}

void LogPresenter::Runs(std::u16string_view text,
                        const std::function<void(size_t, size_t, double)>& piece) const {
    size_t from = 0;
    double x = 0;
    while (from < text.size()) {
        const size_t tab = std::min(text.find(u'\t', from), text.size());
        if (tab > from) piece(from, tab, x);
        if (tab == text.size()) break;
        x = Width(text, tab + 1);
        from = tab + 1;
    }
}

size_t LogPresenter::ColumnAt(const std::u16string& text, double x) const {
    double at = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const double next = text[i] == u'\t' ? (std::floor(at / tabWidth_) + 1) * tabWidth_
                                             : at + AdvanceOf(text[i]);
        if (x < (at + next) / 2) return i;
        at = next;
    }
    return text.size();
}

void LogPresenter::VisibleRows(const std::function<void(const Row&)>& draw) const {
    const LogPosition from = std::min(anchor_, caret_);
    const LogPosition to = std::max(anchor_, caret_);
    lines_.Visit(top_, Rows() + 1, [&](size_t line, const std::u16string& text) {
        Row row{line, static_cast<double>(line - top_) * lineHeight_, text, 0, 0, false};
        if (from != to && line >= from.line && line <= to.line) {
            row.selectedFrom = line == from.line ? std::min(from.column, text.size()) : 0;
            row.selectedTo = line == to.line ? std::min(to.column, text.size()) : text.size();
            row.breakSelected = line < to.line;
        }
        draw(row);
        return true;
    });
}

double LogPresenter::CaretX() const {
    return XOf(lines_.Text(caret_.line), caret_.column) - left_;
}

double LogPresenter::CaretY() const {
    return (static_cast<double>(caret_.line) - static_cast<double>(top_)) * lineHeight_;
}

void LogPresenter::ScrollTo(size_t top) {
    top = std::min(top, MaxTop());
    if (top != top_) {
        top_ = top;
        surface_.Changed(true);
    }
}

void LogPresenter::ScrollBy(long lines) {
    const long top = static_cast<long>(top_) + lines;
    ScrollTo(top < 0 ? 0 : static_cast<size_t>(top));
}

void LogPresenter::ScrollLeftTo(double left) {
    left = std::clamp(left, 0.0, MaxLeft());
    if (left != left_) {
        left_ = left;
        surface_.Changed(true);
    }
}

LogPosition LogPresenter::Clamp(LogPosition p) const {
    p.line = std::min(p.line, LineCount() - 1);
    p.column = std::min(p.column, lines_.Text(p.line).size());
    return p;
}

LogPosition LogPresenter::MovedCaret(LogMotion motion, bool extend) {
    LogPosition c = caret_;
    const std::u16string text = lines_.Text(c.line);
    const size_t last = LineCount() - 1;
    const auto onLine = [&](size_t line, size_t rowsAway, bool down) {
        const size_t target =
            down ? std::min(last, line + rowsAway) : line - std::min(line, rowsAway);
        if (!goalX_) goalX_ = XOf(text, c.column);
        return LogPosition{target, ColumnAt(lines_.Text(target), *goalX_)};
    };
    if (motion != LogMotion::Up && motion != LogMotion::Down && motion != LogMotion::PageUp &&
        motion != LogMotion::PageDown) {
        goalX_.reset();
    }
    switch (motion) {
        case LogMotion::Left:
            if (!extend && HasSelection()) return std::min(anchor_, caret_);
            if (c.column > 0) return {c.line, c.column - 1};
            return c.line > 0 ? LogPosition{c.line - 1, lines_.Text(c.line - 1).size()} : c;
        case LogMotion::Right:
            if (!extend && HasSelection()) return std::max(anchor_, caret_);
            if (c.column < text.size()) return {c.line, c.column + 1};
            return c.line < last ? LogPosition{c.line + 1, 0} : c;
        case LogMotion::WordLeft:
            if (c.column == 0)
                return c.line > 0 ? LogPosition{c.line - 1, lines_.Text(c.line - 1).size()} : c;
            return {c.line, WordLeft(text, c.column)};
        case LogMotion::WordRight:
            if (c.column == text.size()) return c.line < last ? LogPosition{c.line + 1, 0} : c;
            return {c.line, WordRight(text, c.column)};
        case LogMotion::Up:
            return onLine(c.line, 1, false);
        case LogMotion::Down:
            return onLine(c.line, 1, true);
        case LogMotion::PageUp:
            ScrollBy(-static_cast<long>(Rows()));
            return onLine(c.line, Rows(), false);
        case LogMotion::PageDown:
            ScrollBy(static_cast<long>(Rows()));
            return onLine(c.line, Rows(), true);
        case LogMotion::LineStart:
            return {c.line, 0};
        case LogMotion::LineEnd:
            return {c.line, text.size()};
        case LogMotion::Start:
            return {};
        case LogMotion::End:
            return {last, lines_.Text(last).size()};
    }
    return c;
}

void LogPresenter::Move(LogMotion motion, bool extend) {
    caret_ = MovedCaret(motion, extend);
    if (!extend) anchor_ = caret_;
    ShowCaret();
    surface_.Changed(true);
}

void LogPresenter::ShowCaret() {
    if (caret_.line < top_) {
        top_ = caret_.line;
    } else if (caret_.line >= top_ + Rows()) {
        top_ = std::min(MaxTop(), caret_.line + 1 - Rows());
    }
    const double x = XOf(lines_.Text(caret_.line), caret_.column);
    if (x < left_) {
        left_ = x;
    } else if (x + 2 > left_ + width_) {
        left_ = std::min(MaxLeft(), x + 2 - width_);
    }
}

LogPosition LogPresenter::Hit(double x, double y, bool oneRowBeyond) const {
    double row = std::floor(y / lineHeight_);
    if (oneRowBeyond) row = std::clamp(row, -1.0, static_cast<double>(Rows()));
    const double line =
        std::clamp(static_cast<double>(top_) + row, 0.0, static_cast<double>(LineCount() - 1));
    const auto at = static_cast<size_t>(line);
    return {at, ColumnAt(lines_.Text(at), x + left_)};
}

void LogPresenter::PressAt(double x, double y, bool extend) {
    caret_ = Hit(x, y, false);
    if (!extend) anchor_ = caret_;
    goalX_.reset();
    ShowCaret();
    surface_.Changed(true);
}

void LogPresenter::DragTo(double x, double y) {
    // Outside the view the caret goes one row, or a few pixels, past its edge: called again and
    // again (the view's timer), that scrolls at an even pace.
    x = std::clamp(x, -kDragStepPixels, width_ + kDragStepPixels);
    caret_ = Hit(x, y, true);
    goalX_.reset();
    ShowCaret();
    surface_.Changed(true);
}

void LogPresenter::SelectWordAt(double x, double y) {
    const LogPosition at = Hit(x, y, false);
    const std::u16string text = lines_.Text(at.line);
    size_t from = at.column;
    size_t to = at.column;
    const size_t probe = at.column < text.size() ? at.column : at.column - (at.column > 0);
    if (probe < text.size()) {
        const int kind = ClassOf(text[probe]);
        from = probe;
        to = probe + 1;
        while (from > 0 && ClassOf(text[from - 1]) == kind) --from;
        while (to < text.size() && ClassOf(text[to]) == kind) ++to;
    }
    anchor_ = {at.line, from};
    caret_ = {at.line, to};
    goalX_.reset();
    ShowCaret();
    surface_.Changed(true);
}

void LogPresenter::SelectAll() {
    const size_t last = LineCount() - 1;
    Select({}, {last, lines_.Text(last).size()});
}

void LogPresenter::Select(LogPosition anchor, LogPosition caret) {
    anchor_ = Clamp(anchor);
    caret_ = Clamp(caret);
    goalX_.reset();
    surface_.Changed(true);
}

std::u16string LogPresenter::SelectedText() const {
    const LogPosition from = std::min(anchor_, caret_);
    const LogPosition to = std::max(anchor_, caret_);
    std::u16string out;
    if (from == to) return out;
    lines_.Visit(from.line, to.line - from.line + 1, [&](size_t line, const std::u16string& text) {
        const size_t begin = line == from.line ? std::min(from.column, text.size()) : 0;
        const size_t end = line == to.line ? std::min(to.column, text.size()) : text.size();
        out.append(text, begin, end - begin);
        if (line < to.line) out += lineBreak_;
        return true;
    });
    return out;
}

std::u16string LogPresenter::Text() const {
    std::u16string out;
    out.reserve(Length());
    lines_.Visit(0, LineCount(), [&](size_t line, const std::u16string& text) {
        out += text;
        if (line + 1 < LineCount()) out += lineBreak_;
        return true;
    });
    return out;
}

size_t LogPresenter::PositionOf(LogPosition p) const {
    p = Clamp(p);
    return lines_.LineStart(p.line) + p.column;
}

LogPosition LogPresenter::At(size_t position) const {
    const size_t line = lines_.LineOf(position);
    const size_t start = lines_.LineStart(line);
    return Clamp({line, position > start ? position - start : 0});
}

std::u16string ShownText(std::string_view bytes, Cp932CharDecoder decoder,
                         std::u16string_view lineBreak) {
    LogText text(decoder);
    std::u16string out;
    size_t begin = 0;
    for (size_t lf = bytes.find('\n'); lf != std::string_view::npos; lf = bytes.find('\n', begin)) {
        text.Line(bytes.substr(begin, lf - begin), true, out);
        out += lineBreak;
        begin = lf + 1;
    }
    text.Line(bytes.substr(begin), false, out);
    return out;
}

}  // namespace karvex
