// The traffic log's control in the Windows dialog: a window class of Karvex's own that draws only
// the rows in sight, read from the model through the shared presenter (what is shown, following
// the end, the operator's selection and place). A multi-line edit control holds its own copy of
// the whole text and cannot keep a night of GPS output (see the README's figures).
//
// It looks and answers like the read-only edit it replaces: the dialog's colours and font, the
// caret, mouse and keyboard selection, double-click on a word, Ctrl+A and Ctrl+C, wheel and
// scroll bar; its context menu is the dialog's. It speaks the part of the edit control's
// messages that callers use: WM_GETTEXT(LENGTH), WM_COPY, EM_GETSEL, EM_SETSEL, EM_GETLINECOUNT,
// EM_GETFIRSTVISIBLELINE, EM_LINESCROLL, EM_POSFROMCHAR and EM_GETLIMITTEXT, positions counted
// as the edit counts them (CR LF between lines).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "dialog/log_presenter.h"
#include "link/traffic_log.h"

#include <windows.h>

namespace karvex::win {

// The class the dialog description's log is made with; registered before the dialog is made.
inline constexpr wchar_t kLogWindowClass[] = L"KarvexLog";
void RegisterLogWindowClass();

class LogWindow : private LogSurface {
  public:
    // `wake` (any thread) posts the message that makes the UI thread call Refresh; false when
    // the post failed, and the next change tries again.
    LogWindow(TrafficLog& log, HWND window, std::function<bool()> wake);
    ~LogWindow() override;  // detaches from the model; the model's writers must have stopped
    LogWindow(const LogWindow&) = delete;
    LogWindow& operator=(const LogWindow&) = delete;

    // Brings the view up to date (the posted message does the same).
    void Refresh();

  private:
    friend void RegisterLogWindowClass();
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);

    // LogSurface.
    bool PostRefresh() override { return wake_(); }
    double Advance(char16_t c) override;
    void Changed(bool inSight) override;

    void UpdateBar();
    void UpdateFont();
    void Paint();
    bool Key(WPARAM key);
    void Copy() const;
    LRESULT PositionFromChar(size_t index) const;

    HWND hwnd_;
    std::function<bool()> wake_;
    LogPresenter presenter_;
    HFONT font_ = nullptr;
    int averageWidth_ = 1;
    int wheel_ = 0;  // wheel turns not yet scrolled (less than a line's worth)
    bool dragging_ = false;
    POINT dragAt_{};
    bool refreshing_ = false;
    bool barDue_ = false;  // new lines wait for the scroll bar's next update
    SCROLLINFO bar_{};     // what the scroll bar shows
};

}  // namespace karvex::win
