#include "win32/log_window.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "link/cp932.h"

namespace karvex::win {

namespace {

// The window's extra bytes: the view attached to it, and the font the dialog gave it (which
// comes before the view does).
constexpr int kViewSlot = 0;
constexpr int kFontSlot = sizeof(LONG_PTR);
// The space left of the text, as the edit control leaves it.
constexpr int kMargin = 2;
constexpr UINT_PTR kDragTimer = 1;
constexpr UINT kDragScrollMs = 50;
// Drawing the scroll bar takes milliseconds (under Wine up to 10): lines that arrive move it at
// most this often, while the operator's own scrolling moves it at once.
constexpr UINT_PTR kBarTimer = 2;
constexpr UINT kBarMs = 100;
// Arrows, characters and the selection messages, but not Tab, Enter and Esc: those stay the
// dialog's (Tab moves on, Enter and Esc end it).
constexpr LRESULT kDialogCode = DLGC_WANTARROWS | DLGC_WANTCHARS | DLGC_HASSETSEL;
// The limit an edit control reports when it has none of its own.
constexpr LRESULT kNoTextLimit = 0x7FFFFFFE;

int X(LPARAM lParam) {
    return static_cast<short>(LOWORD(lParam));
}

int Y(LPARAM lParam) {
    return static_cast<short>(HIWORD(lParam));
}

const wchar_t* Wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

}  // namespace

void RegisterLogWindowClass() {
    static const bool registered = [] {
        WNDCLASSW wc{};
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = &LogWindow::Proc;
        wc.cbWndExtra = 2 * sizeof(LONG_PTR);
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_IBEAM);
        wc.lpszClassName = kLogWindowClass;
        return RegisterClassW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    (void)registered;
}

LogWindow::LogWindow(TrafficLog& log, HWND window, std::function<bool()> wake)
    : hwnd_(window), wake_(std::move(wake)), presenter_(log, *this, &Utf16CharFromCp932, u"\r\n") {
    SetWindowLongPtrW(hwnd_, kViewSlot, reinterpret_cast<LONG_PTR>(this));
    UpdateFont();
    RECT client{};
    GetClientRect(hwnd_, &client);
    presenter_.SetViewport(client.right - kMargin, client.bottom);
    presenter_.Refresh();
}

LogWindow::~LogWindow() {
    KillTimer(hwnd_, kDragTimer);
    KillTimer(hwnd_, kBarTimer);
    SetWindowLongPtrW(hwnd_, kViewSlot, 0);
}

LRESULT CALLBACK LogWindow::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETFONT) {
        SetWindowLongPtrW(hwnd, kFontSlot, static_cast<LONG_PTR>(wParam));
    } else if (message == WM_GETFONT) {
        return GetWindowLongPtrW(hwnd, kFontSlot);
    } else if (message == WM_GETDLGCODE) {
        return kDialogCode;
    }
    if (auto* self = reinterpret_cast<LogWindow*>(GetWindowLongPtrW(hwnd, kViewSlot))) {
        return self->Handle(message, wParam, lParam);
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

double LogWindow::Advance(char16_t c) {
    const HDC dc = GetDC(hwnd_);
    const HGDIOBJ old = SelectObject(dc, font_ != nullptr ? font_ : GetStockObject(SYSTEM_FONT));
    const wchar_t one = static_cast<wchar_t>(c);
    SIZE size{};
    GetTextExtentPoint32W(dc, &one, 1, &size);
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    return size.cx;
}

void LogWindow::UpdateFont() {
    font_ = reinterpret_cast<HFONT>(GetWindowLongPtrW(hwnd_, kFontSlot));
    const HDC dc = GetDC(hwnd_);
    const HGDIOBJ old = SelectObject(dc, font_ != nullptr ? font_ : GetStockObject(SYSTEM_FONT));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    averageWidth_ = std::max<int>(1, metrics.tmAveCharWidth);
    // Tab stops every 32 dialog units, as the edit control sets them: 8 average characters.
    presenter_.SetFont(metrics.tmHeight, 8.0 * averageWidth_);
}

void LogWindow::Refresh() {
    refreshing_ = true;
    presenter_.Refresh();
    refreshing_ = false;
}

void LogWindow::UpdateBar() {
    barDue_ = false;
    KillTimer(hwnd_, kBarTimer);
    SCROLLINFO bar{};
    bar.cbSize = sizeof bar;
    bar.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
    bar.nMax = static_cast<int>(presenter_.LineCount()) - 1;
    bar.nPage = static_cast<UINT>(presenter_.Rows());
    bar.nPos = static_cast<int>(presenter_.Top());
    if (bar.nMax != bar_.nMax || bar.nPage != bar_.nPage || bar.nPos != bar_.nPos) {
        bar_ = bar;
        SetScrollInfo(hwnd_, SB_VERT, &bar, TRUE);
    }
}

void LogWindow::Changed(bool inSight) {
    if (!refreshing_) {
        UpdateBar();
    } else if (!barDue_) {
        barDue_ = true;
        SetTimer(hwnd_, kBarTimer, kBarMs, nullptr);
    }
    if (GetFocus() == hwnd_) {
        SetCaretPos(kMargin + static_cast<int>(presenter_.CaretX()),
                    static_cast<int>(presenter_.CaretY()));
    }
    if (inSight) InvalidateRect(hwnd_, nullptr, FALSE);
}

void LogWindow::Paint() {
    PAINTSTRUCT ps;
    const HDC screen = BeginPaint(hwnd_, &ps);
    RECT client{};
    GetClientRect(hwnd_, &client);
    // Drawn aside and then copied at once: the view never shows half a repaint.
    const HDC dc = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
    const HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    // A read-only edit asks its dialog for its colours, as a static control does.
    auto back = reinterpret_cast<HBRUSH>(SendMessageW(GetParent(hwnd_), WM_CTLCOLORSTATIC,
                                                      reinterpret_cast<WPARAM>(dc),
                                                      reinterpret_cast<LPARAM>(hwnd_)));
    if (back == nullptr) back = GetSysColorBrush(COLOR_BTNFACE);
    FillRect(dc, &client, back);
    const COLORREF ink = GetTextColor(dc);
    SetBkMode(dc, TRANSPARENT);
    const HGDIOBJ oldFont =
        SelectObject(dc, font_ != nullptr ? font_ : GetStockObject(SYSTEM_FONT));
    // As an edit control without ES_NOHIDESEL, the selection shows only while the log has the
    // focus.
    const bool focused = GetFocus() == hwnd_;
    const double left = kMargin - presenter_.Left();
    const int height = static_cast<int>(presenter_.LineHeight());
    presenter_.VisibleRows([&](const LogPresenter::Row& row) {
        const int top = static_cast<int>(row.y);
        const auto draw = [&](UINT options, const RECT* clip) {
            presenter_.Runs(row.text, [&](size_t from, size_t to, double x) {
                ExtTextOutW(dc, static_cast<int>(left + x), top, options, clip,
                            Wide(row.text) + from, static_cast<UINT>(to - from), nullptr);
            });
        };
        SetTextColor(dc, ink);
        draw(0, nullptr);
        if (!focused || row.selectedFrom == row.selectedTo) return;
        const RECT band{static_cast<int>(left + presenter_.XOf(row.text, row.selectedFrom)), top,
                        static_cast<int>(left + presenter_.XOf(row.text, row.selectedTo)),
                        top + height};
        FillRect(dc, &band, GetSysColorBrush(COLOR_HIGHLIGHT));
        SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
        draw(ETO_CLIPPED, &band);
    });
    BitBlt(screen, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
    EndPaint(hwnd_, &ps);
}

bool LogWindow::Key(WPARAM key) {
    const bool extend = GetKeyState(VK_SHIFT) < 0;
    const bool control = GetKeyState(VK_CONTROL) < 0;
    switch (key) {
        case VK_LEFT:
            presenter_.Move(control ? LogMotion::WordLeft : LogMotion::Left, extend);
            return true;
        case VK_RIGHT:
            presenter_.Move(control ? LogMotion::WordRight : LogMotion::Right, extend);
            return true;
        case VK_UP:
            presenter_.Move(LogMotion::Up, extend);
            return true;
        case VK_DOWN:
            presenter_.Move(LogMotion::Down, extend);
            return true;
        case VK_PRIOR:
            presenter_.Move(LogMotion::PageUp, extend);
            return true;
        case VK_NEXT:
            presenter_.Move(LogMotion::PageDown, extend);
            return true;
        case VK_HOME:
            presenter_.Move(control ? LogMotion::Start : LogMotion::LineStart, extend);
            return true;
        case VK_END:
            presenter_.Move(control ? LogMotion::End : LogMotion::LineEnd, extend);
            return true;
        case 'A':
            if (control) presenter_.SelectAll();
            return control;
        case 'C':
        case VK_INSERT:
            if (control) Copy();
            return control;
        default:
            return false;
    }
}

void LogWindow::Copy() const {
    const std::u16string text = presenter_.SelectedText();
    if (text.empty() || !OpenClipboard(hwnd_)) return;
    EmptyClipboard();
    const size_t bytes = (text.size() + 1) * sizeof(char16_t);
    if (const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        std::memcpy(GlobalLock(memory), text.c_str(), bytes);
        GlobalUnlock(memory);
        if (SetClipboardData(CF_UNICODETEXT, memory) == nullptr) GlobalFree(memory);
    }
    CloseClipboard();
}

LRESULT LogWindow::PositionFromChar(size_t index) const {
    const LogPosition at = presenter_.At(std::min(index, presenter_.Length()));
    const double x =
        kMargin + presenter_.XOf(presenter_.LineText(at.line), at.column) - presenter_.Left();
    const double y = (static_cast<double>(at.line) - static_cast<double>(presenter_.Top())) *
                     presenter_.LineHeight();
    return MAKELRESULT(static_cast<short>(x), static_cast<short>(y));
}

LRESULT LogWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SETFONT:
            UpdateFont();
            return 0;
        case WM_SIZE:
            presenter_.SetViewport(LOWORD(lParam) - kMargin, HIWORD(lParam));
            return 0;
        case WM_PAINT:
            Paint();
            return 0;
        case WM_ERASEBKGND:
            return 1;  // the paint covers all
        case WM_SETFOCUS:
            CreateCaret(hwnd_, nullptr, 1, static_cast<int>(presenter_.LineHeight()));
            ShowCaret(hwnd_);
            Changed(true);
            return 0;
        case WM_KILLFOCUS:
            DestroyCaret();
            InvalidateRect(hwnd_, nullptr, FALSE);
            return 0;
        case WM_VSCROLL: {
            SCROLLINFO bar{};
            bar.cbSize = sizeof bar;
            bar.fMask = SIF_TRACKPOS;
            GetScrollInfo(hwnd_, SB_VERT, &bar);
            const long page = static_cast<long>(presenter_.Rows());
            switch (LOWORD(wParam)) {
                case SB_LINEUP:
                    presenter_.ScrollBy(-1);
                    break;
                case SB_LINEDOWN:
                    presenter_.ScrollBy(1);
                    break;
                case SB_PAGEUP:
                    presenter_.ScrollBy(-page);
                    break;
                case SB_PAGEDOWN:
                    presenter_.ScrollBy(page);
                    break;
                case SB_THUMBTRACK:
                case SB_THUMBPOSITION:
                    presenter_.ScrollTo(static_cast<size_t>(bar.nTrackPos));
                    break;
                case SB_TOP:
                    presenter_.ScrollTo(0);
                    break;
                case SB_BOTTOM:
                    presenter_.ScrollTo(presenter_.MaxTop());
                    break;
                default:
                    break;
            }
            return 0;
        }
        case WM_MOUSEWHEEL: {
            UINT lines = 3;
            SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
            lines = std::clamp<UINT>(lines, 1, static_cast<UINT>(presenter_.Rows()));
            const int step = std::max(1, WHEEL_DELTA / static_cast<int>(lines));
            wheel_ += GET_WHEEL_DELTA_WPARAM(wParam);
            presenter_.ScrollBy(-(wheel_ / step));
            wheel_ %= step;
            return 0;
        }
        case WM_KEYDOWN:
            if (Key(wParam)) return 0;
            break;
        case WM_CHAR:
            return 0;  // read-only: a typed character goes nowhere
        case WM_LBUTTONDOWN:
            SetFocus(hwnd_);
            SetCapture(hwnd_);
            dragging_ = true;
            dragAt_ = POINT{X(lParam), Y(lParam)};
            presenter_.PressAt(X(lParam) - kMargin, Y(lParam), (wParam & MK_SHIFT) != 0);
            return 0;
        case WM_LBUTTONDBLCLK:
            presenter_.SelectWordAt(X(lParam) - kMargin, Y(lParam));
            return 0;
        case WM_MOUSEMOVE: {
            if (!dragging_) return 0;
            dragAt_ = POINT{X(lParam), Y(lParam)};
            presenter_.DragTo(dragAt_.x - kMargin, dragAt_.y);
            // Outside the view the selection goes on growing, and the view scrolling, while the
            // button is held still.
            RECT client{};
            GetClientRect(hwnd_, &client);
            if (PtInRect(&client, dragAt_)) {
                KillTimer(hwnd_, kDragTimer);
            } else {
                SetTimer(hwnd_, kDragTimer, kDragScrollMs, nullptr);
            }
            return 0;
        }
        case WM_TIMER:
            if (wParam == kDragTimer && dragging_)
                presenter_.DragTo(dragAt_.x - kMargin, dragAt_.y);
            if (wParam == kBarTimer) UpdateBar();
            return 0;
        case WM_LBUTTONUP:
        case WM_CAPTURECHANGED:
            if (dragging_) {
                dragging_ = false;
                KillTimer(hwnd_, kDragTimer);
                if (message == WM_LBUTTONUP) ReleaseCapture();
            }
            return 0;
        case WM_GETTEXTLENGTH:
            return static_cast<LRESULT>(presenter_.Length());
        case WM_GETTEXT: {
            if (wParam == 0) return 0;
            const std::u16string text = presenter_.Text();
            const size_t n = std::min(text.size(), static_cast<size_t>(wParam) - 1);
            auto* out = reinterpret_cast<wchar_t*>(lParam);
            std::memcpy(out, text.data(), n * sizeof(char16_t));
            out[n] = L'\0';
            return static_cast<LRESULT>(n);
        }
        case WM_COPY:
            Copy();
            return 0;
        case EM_GETSEL: {
            const size_t anchor = presenter_.PositionOf(presenter_.Anchor());
            const size_t caret = presenter_.PositionOf(presenter_.Caret());
            const size_t from = std::min(anchor, caret);
            const size_t to = std::max(anchor, caret);
            if (wParam != 0) *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(from);
            if (lParam != 0) *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(to);
            return to > 0xFFFF ? -1 : MAKELRESULT(static_cast<WORD>(from), static_cast<WORD>(to));
        }
        case EM_SETSEL: {
            // As the edit control: -1 as the start deselects (the caret stays), -1 as the end is
            // the text's end, and the caret goes to the end given (before the start: backwards).
            const auto start = static_cast<int>(wParam);
            const auto end = static_cast<int>(lParam);
            const size_t length = presenter_.Length();
            if (start < 0) {
                presenter_.Select(presenter_.Caret(), presenter_.Caret());
            } else {
                presenter_.Select(presenter_.At(std::min<size_t>(start, length)),
                                  presenter_.At(end < 0 ? length : std::min<size_t>(end, length)));
            }
            return 0;
        }
        case EM_GETLINECOUNT:
            return static_cast<LRESULT>(presenter_.LineCount());
        case EM_GETFIRSTVISIBLELINE:
            return static_cast<LRESULT>(presenter_.Top());
        case EM_LINESCROLL:
            // Across in average characters, as the edit control scrolls.
            presenter_.ScrollLeftTo(presenter_.Left() + static_cast<int>(wParam) * averageWidth_);
            presenter_.ScrollBy(static_cast<long>(lParam));
            return TRUE;
        case EM_POSFROMCHAR:
            return PositionFromChar(wParam);
        case EM_GETLIMITTEXT:
            return kNoTextLimit;
        default:
            break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

}  // namespace karvex::win
