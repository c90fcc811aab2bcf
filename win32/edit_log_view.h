// Shows the traffic log model in the dialog's read-only multi-line edit control.
//
// The model changes on any thread; its observer only posts one message to the dialog (later
// changes coalesce into the one pending). The refresh, on the UI thread, reads what was added since
// the last one and appends it at the end of the control's text with EM_SETSEL/EM_REPLACESEL, then
// puts the operator's selection (a backward one too) and the view's place, down and across, back;
// it follows new lines only while the operator looks at the end with nothing selected. A clear of
// the model empties the control.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "dialog/log_feed.h"
#include "link/traffic_log.h"

#include <windows.h>

namespace karvex::win {

// CP932 log bytes to the edit control's text, chunk by chunk: a double-byte character split
// between two chunks comes out whole; LF becomes CR LF and a CR on its own shows nothing; other
// control bytes (line noise) show as U+FFFD.
class LogTextDecoder {
  public:
    std::wstring Decode(std::string_view bytes);
    void Reset() { pendingLead_ = -1; }

  private:
    int pendingLead_ = -1;
};

class EditLogView {
  public:
    // `wake` (any thread) posts the message that makes the UI thread call Refresh; false when
    // the post failed, and the next change tries again.
    EditLogView(TrafficLog& log, HWND edit, std::function<bool()> wake);
    ~EditLogView();  // detaches from the model; the model's writers must have stopped
    EditLogView(const EditLogView&) = delete;
    EditLogView& operator=(const EditLogView&) = delete;

    // Brings the view up to date (the posted message does the same).
    void Refresh();

  private:
    void RequestRefresh();
    void Append(const std::wstring& text);
    DWORD CaretEnd(DWORD start, DWORD end) const;
    int TextLeft() const;

    TrafficLog& log_;
    HWND edit_;
    std::function<bool()> wake_;
    LogFeed feed_;
    LogTextDecoder decoder_;
    int charWidth_ = 0;  // the font's average character width: one step of EM_LINESCROLL across
    std::atomic<bool> pending_{false};
};

}  // namespace karvex::win
