#include "win32/edit_log_view.h"

#include <climits>
#include <cstdlib>
#include <utility>

namespace karvex::win {

namespace {
constexpr UINT kCp932 = 932;
constexpr wchar_t kReplacement = 0xFFFD;

void AppendShown(std::wstring& out, wchar_t ch) {
    if (ch == L'\r') {
        return;
    }
    if (ch == L'\n') {
        out += L"\r\n";
    } else if (ch == L'\t' || (ch >= 0x20 && ch != 0x7F)) {
        out += ch;
    } else {
        out += kReplacement;
    }
}
}  // namespace

std::wstring LogTextDecoder::Decode(std::string_view bytes) {
    std::wstring out;
    out.reserve(bytes.size() + bytes.size() / 8);
    size_t i = 0;
    while (i < bytes.size()) {
        char pair[2];
        int length = 1;
        if (pendingLead_ >= 0) {
            pair[0] = static_cast<char>(pendingLead_);
            pair[1] = bytes[i];
            pendingLead_ = -1;
            length = 2;
            ++i;
        } else if (IsDBCSLeadByteEx(kCp932, static_cast<BYTE>(bytes[i]))) {
            if (i + 1 == bytes.size()) {
                pendingLead_ = static_cast<unsigned char>(bytes[i]);  // its trail byte comes next
                break;
            }
            pair[0] = bytes[i];
            pair[1] = bytes[i + 1];
            length = 2;
            i += 2;
        } else {
            pair[0] = bytes[i];
            ++i;
        }
        wchar_t ch[2];
        const int n = MultiByteToWideChar(kCp932, MB_ERR_INVALID_CHARS, pair, length, ch, 2);
        if (n <= 0) {
            out += kReplacement;
            // A trail byte that does not fit its lead is read again on its own: an LF behind a
            // stray lead byte still ends the line.
            if (length == 2) {
                --i;
            }
            continue;
        }
        for (int k = 0; k < n; ++k) {
            AppendShown(out, ch[k]);
        }
    }
    return out;
}

EditLogView::EditLogView(TrafficLog& log, HWND edit, std::function<bool()> wake)
    : log_(log), edit_(edit), wake_(std::move(wake)), feed_(log) {
    // A long GPS run writes far more than the default 32 K characters: no limit but memory.
    SendMessageW(edit_, EM_SETLIMITTEXT, 0, 0);
    if (HDC dc = GetDC(edit_); dc != nullptr) {
        const auto font = reinterpret_cast<HFONT>(SendMessageW(edit_, WM_GETFONT, 0, 0));
        const HGDIOBJ old = SelectObject(dc, font != nullptr ? font : GetStockObject(SYSTEM_FONT));
        TEXTMETRICW metrics{};
        if (GetTextMetricsW(dc, &metrics)) {
            charWidth_ = metrics.tmAveCharWidth;
        }
        SelectObject(dc, old);
        ReleaseDC(edit_, dc);
    }
    log_.SetObserver([this] { RequestRefresh(); });
    Refresh();
}

EditLogView::~EditLogView() {
    log_.SetObserver(nullptr);
}

void EditLogView::RequestRefresh() {
    // Any thread. Only the first change after a refresh posts; the refresh clears the flag before
    // it reads, so a change that races with it posts again and is never missed. A post that
    // failed clears it too: the next change tries again (and the dialog's timer catches up).
    if (!pending_.exchange(true) && !wake_()) {
        pending_.store(false);
    }
}

void EditLogView::Refresh() {
    pending_.store(false);
    const LogFeed::Step step = feed_.Next();
    if (step.reset) {
        decoder_.Reset();
        SetWindowTextW(edit_, L"");
    }
    if (!step.bytes.empty()) {
        Append(decoder_.Decode(step.bytes));
    }
    if (step.more) {
        RequestRefresh();
    }
}

// The end of the selection the caret stands at: a selection made backwards (with the mouse
// upwards, or Shift+Left) has its caret at the start. EM_GETSEL gives both ends in order. While
// the edit has the focus, the caret's place tells; without it the edit has no caret, and a
// deselect (EM_SETSEL -1) leaves the selection where the caret stood. The caller puts the
// selection back.
DWORD EditLogView::CaretEnd(DWORD start, DWORD end) const {
    POINT caret{};
    if (start == end) {
        return end;
    }
    if (GetFocus() == edit_ && GetCaretPos(&caret)) {
        const auto distance = [&](DWORD index) {
            const auto at = static_cast<DWORD>(SendMessageW(edit_, EM_POSFROMCHAR, index, 0));
            if (at == static_cast<DWORD>(-1)) {
                return LONG_MAX;  // past the last character
            }
            return std::abs(static_cast<short>(LOWORD(at)) - caret.x) +
                   std::abs(static_cast<short>(HIWORD(at)) - caret.y);
        };
        return distance(start) < distance(end) ? start : end;
    }
    SendMessageW(edit_, EM_SETSEL, static_cast<WPARAM>(-1), 0);
    DWORD at = end;
    SendMessageW(edit_, EM_GETSEL, reinterpret_cast<WPARAM>(&at), 0);
    return at == start ? start : end;
}

// Where the text's first character stands across: the horizontal scroll, as a negative offset.
int EditLogView::TextLeft() const {
    if (GetWindowTextLengthW(edit_) == 0) {
        return 0;
    }
    return static_cast<short>(LOWORD(SendMessageW(edit_, EM_POSFROMCHAR, 0, 0)));
}

void EditLogView::Append(const std::wstring& text) {
    if (text.empty()) {
        return;
    }
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(edit_, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    SCROLLINFO vert{};
    vert.cbSize = sizeof vert;
    vert.fMask = SIF_ALL;
    const bool hasBar = GetScrollInfo(edit_, SB_VERT, &vert) != 0;
    const bool atEnd =
        !hasBar || vert.nPage == 0 || vert.nPos + static_cast<int>(vert.nPage) > vert.nMax;
    // Follow new lines only while the operator looks at the end and has nothing selected.
    const bool follow = atEnd && start == end;
    const auto firstLine = static_cast<int>(SendMessageW(edit_, EM_GETFIRSTVISIBLELINE, 0, 0));
    const int left = TextLeft();

    // Redrawing only once everything is back in place keeps the view from flickering.
    SendMessageW(edit_, WM_SETREDRAW, FALSE, 0);
    const DWORD caret = CaretEnd(start, end);
    const DWORD anchor = caret == start ? end : start;
    const auto length = static_cast<WPARAM>(GetWindowTextLengthW(edit_));
    SendMessageW(edit_, EM_SETSEL, length, static_cast<LPARAM>(length));
    // This scrolls the new end into view, and with it the view back to the left.
    SendMessageW(edit_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageW(edit_, EM_SETSEL, anchor, static_cast<LPARAM>(caret));
    if (follow) {
        SendMessageW(edit_, WM_VSCROLL, SB_BOTTOM, 0);
    }
    const auto nowFirst = static_cast<int>(SendMessageW(edit_, EM_GETFIRSTVISIBLELINE, 0, 0));
    // The edit scrolls across in steps of its font's average character width.
    const int shift = TextLeft() - left;
    const int across =
        charWidth_ > 0 ? (shift + (shift < 0 ? -1 : 1) * charWidth_ / 2) / charWidth_ : 0;
    SendMessageW(edit_, EM_LINESCROLL, static_cast<WPARAM>(across),
                 follow ? 0 : firstLine - nowFirst);
    SendMessageW(edit_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(edit_, nullptr, TRUE);
}

}  // namespace karvex::win
