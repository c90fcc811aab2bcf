// What the traffic log view shows and how it answers the operator, once for every front end. A
// view (the Qt widget, the Windows control) only draws the rows this gives it, turns input into
// the calls below and keeps its scroll bar in step.
//
// The model changes on any thread; its observer only asks the view to post one refresh (later
// changes coalesce into the refresh already pending). A refresh, on the UI thread, reads at most
// kMaxBytesPerRefresh of what was added (the rest follows in the next one, so a burst never holds
// the UI thread for long). New lines are followed only while the operator looks at the end with
// nothing selected; otherwise the view stays where it is, down and across, and the selection, a
// backward one too, stays as the operator left it. A clear of the model empties the view.
#pragma once

#include <atomic>
#include <compare>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dialog/log_lines.h"
#include "link/traffic_log.h"

namespace karvex {

struct LogPosition {
    size_t line = 0;
    size_t column = 0;  // in the line's shown characters (UTF-16 units)
    friend auto operator<=>(const LogPosition&, const LogPosition&) = default;
};

// What a view gives its presenter.
class LogSurface {
  public:
    virtual ~LogSurface() = default;
    // Any thread: have the UI thread call LogPresenter::Refresh soon. Must not block. False when
    // the post failed (a full message queue): the next change tries again.
    virtual bool PostRefresh() = 0;
    // The width of one character in the view's font (UI thread; asked once per character).
    virtual double Advance(char16_t c) = 0;
    // What the view shows changed: lines, the scroll position, the selection (UI thread).
    // `inSight` is false when only lines out of sight were added: the scroll bar moves, the
    // rows drawn stay as they are.
    virtual void Changed(bool inSight) = 0;
};

enum class LogMotion {
    Left,
    Right,
    WordLeft,
    WordRight,
    Up,
    Down,
    PageUp,
    PageDown,
    LineStart,
    LineEnd,
    Start,
    End,
};

class LogPresenter {
  public:
    static constexpr size_t kMaxBytesPerRefresh = 64 * 1024;

    // `lineBreak` is what a line break is in the view's text ("\n" or "\r\n"): copied text and
    // positions count it so.
    LogPresenter(TrafficLog& log, LogSurface& surface, Cp932CharDecoder decoder,
                 std::u16string_view lineBreak);
    ~LogPresenter();  // detaches from the model; the model's writers must have stopped
    LogPresenter(const LogPresenter&) = delete;
    LogPresenter& operator=(const LogPresenter&) = delete;

    // Brings the view up to date by one slice (the posted refresh does the same).
    void Refresh();

    // The view's geometry in pixels: its font's line height and tab width, the text area's size.
    void SetFont(double lineHeight, double tabWidth);
    void SetViewport(double width, double height);

    // What a view draws.
    size_t LineCount() const { return lines_.Count(); }
    size_t Top() const { return top_; }
    size_t Rows() const;  // whole rows in the text area
    size_t MaxTop() const;
    double Left() const { return left_; }
    double MaxLeft() const;
    double LineHeight() const { return lineHeight_; }
    struct Row {
        size_t line;
        double y;  // the row's top in the text area
        const std::u16string& text;
        size_t selectedFrom, selectedTo;  // selected columns (equal: none)
        bool breakSelected;               // the selection goes on past the line's end
    };
    // The rows in view, the last one partly shown included.
    void VisibleRows(const std::function<void(const Row&)>& draw) const;
    // The pieces of `text` between tabs and where each begins, from the line's start.
    void Runs(std::u16string_view text,
              const std::function<void(size_t from, size_t to, double x)>& piece) const;
    double XOf(std::u16string_view text, size_t column) const;

    std::u16string LineText(size_t line) const { return lines_.Text(line); }
    LogPosition Anchor() const { return anchor_; }
    LogPosition Caret() const { return caret_; }
    bool HasSelection() const { return anchor_ != caret_; }
    // The caret's place in the text area (x after the scroll across, y the top of its row).
    double CaretX() const;
    double CaretY() const;

    // What the operator does. Coordinates are in the text area.
    void ScrollTo(size_t top);
    void ScrollBy(long lines);
    void ScrollLeftTo(double left);
    void Move(LogMotion motion, bool extend);
    void PressAt(double x, double y, bool extend);
    // A drag that leaves the view scrolls it by one row or a few pixels per call.
    void DragTo(double x, double y);
    void SelectWordAt(double x, double y);
    void SelectAll();
    void Select(LogPosition anchor, LogPosition caret);  // clamped to the text

    std::u16string SelectedText() const;
    std::u16string Text() const;
    bool IsEmpty() const { return lines_.Length() == 0; }

    // Positions over the whole text, line breaks counted as `lineBreak` has them.
    size_t Length() const { return lines_.Length(); }
    size_t PositionOf(LogPosition p) const;
    LogPosition At(size_t position) const;

  private:
    void RequestRefresh();
    double Width(std::u16string_view text, size_t upTo) const;
    double AdvanceOf(char16_t c) const;
    size_t ColumnAt(const std::u16string& text, double x) const;
    LogPosition Hit(double x, double y, bool oneRowBeyond) const;
    LogPosition Clamp(LogPosition p) const;
    LogPosition MovedCaret(LogMotion motion, bool extend);
    void ShowCaret();

    TrafficLog& log_;
    LogSurface& surface_;
    std::u16string lineBreak_;
    LogLines lines_;
    std::atomic<bool> pending_{false};
    mutable std::vector<float> advances_;  // by character; < 0: not asked yet
    double lineHeight_ = 1;
    double tabWidth_ = 8;
    double width_ = 0;
    double height_ = 0;
    size_t top_ = 0;
    double left_ = 0;
    LogPosition anchor_;
    LogPosition caret_;
    std::optional<double> goalX_;  // where Up and Down keep the caret across
};

// The text a view shows for these bytes (tests compare a view with its model through it).
std::u16string ShownText(std::string_view bytes, Cp932CharDecoder decoder,
                         std::u16string_view lineBreak);

}  // namespace karvex
