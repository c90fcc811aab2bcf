// The traffic log's control in the dialog: what the bytes look like there, a character split
// between two appends, a clear, the operator's selection and scroll position across appends, and
// selecting and scrolling with the mouse and the keys.
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/wine/dialog/dialog_rig.h"

namespace karvex::wint {
namespace {

// Appends from another thread, as the monitor and the worker do, and waits for the view.
bool AppendAndShow(DialogRig& rig, const std::string& bytes, const std::string& wantText) {
    std::thread writer([&] { AppendLog(rig.dlg->Log(), bytes); });
    writer.join();
    return PumpUntil([&] { return rig.Text(kIdTrafficLog) == wantText; });
}

TEST(WinLog, BytesAsTheEditShowsThem) {
    struct Case {
        const char* name;
        std::string bytes;
        std::string text;  // UTF-8 of the edit control's text
    };
    const Case cases[] = {
        {"echo and answer", "AT+CGMR\r\r\nR7.52\r\n\r\nOK\r\n", "AT+CGMR\r\nR7.52\r\n\r\nOK\r\n"},
        {"CP932", "\x83\x65\x83\x58\x83\x67\r\n", "テスト\r\n"},
        {"line noise",
         std::string("a\0b\x1A\x7F"
                     "c\tz\n",
                     9),
         "a\xEF\xBF\xBD"
         "b\xEF\xBF\xBD\xEF\xBF\xBD"
         "c\tz\r\n"},
        {"stray lead byte before LF", "\x83\n", "\xEF\xBF\xBD\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DialogRig rig;
        ASSERT_NE(rig.hwnd, nullptr);
        EXPECT_TRUE(AppendAndShow(rig, c.bytes, c.text)) << rig.Text(kIdTrafficLog);
    }
}

TEST(WinLog, SplitCharacterAndClear) {
    DialogRig rig;
    ASSERT_NE(rig.hwnd, nullptr);
    ASSERT_TRUE(AppendAndShow(rig, "x\x83", "x"));
    ASSERT_TRUE(AppendAndShow(rig, "\x65y", "xテy"));
    rig.dlg->Log().Clear();
    EXPECT_TRUE(PumpUntil([&] { return rig.Text(kIdTrafficLog).empty(); }));
    EXPECT_TRUE(AppendAndShow(rig, "OK\r\n", "OK\r\n"));
}

TEST(WinLog, AppendsKeepTheOperatorsSelectionAndPlace) {
    DialogRig rig;
    ASSERT_NE(rig.hwnd, nullptr);
    const HWND edit = rig.Item(kIdTrafficLog);
    std::string bytes, text;
    for (int i = 0; i < 200; ++i) {
        bytes += "line " + std::to_string(i) + std::string(150, 'x') + "\r\n";
        text += "line " + std::to_string(i) + std::string(150, 'x') + "\r\n";
    }
    ASSERT_TRUE(AppendAndShow(rig, bytes, text));
    // Nothing selected, at the end: the view follows the new lines, and stays scrolled across.
    const auto firstLine = [&] { return SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0); };
    const auto across = [&] { return LOWORD(SendMessageW(edit, EM_POSFROMCHAR, 0, 0)); };
    const auto scrollAcross = [&] {  // 40 average characters from the left
        SendMessageW(edit, EM_LINESCROLL, static_cast<WPARAM>(-1000), 0);
        SendMessageW(edit, EM_LINESCROLL, 40, 0);
    };
    SetFocus(edit);
    SendMessageW(edit, EM_SETSEL, text.size(), static_cast<LPARAM>(text.size()));  // the end
    scrollAcross();
    const auto left = across();
    const auto bottom = firstLine();
    EXPECT_GT(bottom, 100);
    text += "more\r\n";
    ASSERT_TRUE(AppendAndShow(rig, "more\r\n", text));
    EXPECT_EQ(firstLine(), bottom + 1);
    EXPECT_EQ(across(), left);

    // The operator scrolls to the top and selects a word backwards: appends move neither.
    SendMessageW(edit, WM_VSCROLL, SB_TOP, 0);
    SendMessageW(edit, EM_SETSEL, 9, 5);
    scrollAcross();
    DWORD start = 0, end = 0;
    for (int round = 0; round < 3; ++round) {
        text += "more\r\n";
        ASSERT_TRUE(AppendAndShow(rig, "more\r\n", text));
        SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                     reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(start, 5u);
        EXPECT_EQ(end, 9u);
        EXPECT_EQ(firstLine(), 0);
        EXPECT_EQ(across(), left);
    }
    // The caret is still at the selection's start: Shift+Right moves that end.
    BYTE keys[256] = {};
    keys[VK_SHIFT] = 0x80;
    SetKeyboardState(keys);
    SendMessageW(edit, WM_KEYDOWN, VK_RIGHT, 1);
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 6u);
    EXPECT_EQ(end, 9u);
}

// Mouse messages at a character's left edge, a little below its row's top.
void Mouse(HWND edit, UINT message, DWORD index, WPARAM keys) {
    const auto at = static_cast<DWORD>(SendMessageW(edit, EM_POSFROMCHAR, index, 0));
    SendMessageW(edit, message, keys, MAKELPARAM(LOWORD(at) + 1, HIWORD(at) + 2));
}

std::pair<DWORD, DWORD> Selection(HWND edit) {
    DWORD start = 0, end = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return {start, end};
}

TEST(WinLog, MouseKeysAndWheelSelectAndScroll) {
    // Positions count CR LF between lines: "delta" starts at 18, "zeta" at 33.
    const std::string text = "alpha beta gamma\r\ndelta epsilon\r\nzeta\r\n";
    using Step = std::function<void(HWND)>;
    const auto press = [](DWORD at, WPARAM keys = 0) {
        return Step([=](HWND e) {
            Mouse(e, WM_LBUTTONDOWN, at, MK_LBUTTON | keys);
            Mouse(e, WM_LBUTTONUP, at, keys);
        });
    };
    const struct {
        const char* name;
        std::vector<Step> steps;
        std::pair<DWORD, DWORD> selection;
    } cases[] = {
        {"drag across a line end",
         {[](HWND e) {
             Mouse(e, WM_LBUTTONDOWN, 6, MK_LBUTTON);
             Mouse(e, WM_MOUSEMOVE, 23, MK_LBUTTON);
             Mouse(e, WM_LBUTTONUP, 23, 0);
         }},
         {6, 23}},
        {"double-click on a word",
         {[](HWND e) { Mouse(e, WM_LBUTTONDBLCLK, 7, MK_LBUTTON); }},
         {6, 10}},
        {"click, Shift+click further on", {press(6), press(35, MK_SHIFT)}, {6, 35}},
        {"Ctrl+A",
         {[](HWND e) {
             BYTE keys[256] = {};
             keys[VK_CONTROL] = 0x80;
             SetKeyboardState(keys);
             SendMessageW(e, WM_KEYDOWN, 'A', 1);
             keys[VK_CONTROL] = 0;
             SetKeyboardState(keys);
         }},
         {0, static_cast<DWORD>(text.size())}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DialogRig rig;
        ASSERT_NE(rig.hwnd, nullptr);
        const HWND edit = rig.Item(kIdTrafficLog);
        ASSERT_TRUE(AppendAndShow(rig, text, text));
        for (const Step& step : c.steps) step(edit);
        EXPECT_EQ(Selection(edit), c.selection);
        EXPECT_EQ(GetFocus(), edit);
    }

    // The wheel scrolls three lines a notch; a drag below the view goes on scrolling while the
    // button is held there, and what it selected is copied whole.
    DialogRig rig;
    ASSERT_NE(rig.hwnd, nullptr);
    const HWND edit = rig.Item(kIdTrafficLog);
    std::string rows;
    for (int i = 0; i < 300; ++i) rows += "row " + std::to_string(i) + "\r\n";
    ASSERT_TRUE(AppendAndShow(rig, rows, rows));
    SendMessageW(edit, WM_VSCROLL, SB_TOP, 0);
    POINT centre{20, 20};
    ClientToScreen(edit, &centre);
    SendMessageW(edit, WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), MAKELPARAM(centre.x, centre.y));
    EXPECT_EQ(SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0), 3);
    SendMessageW(edit, WM_VSCROLL, SB_TOP, 0);
    RECT client{};
    GetClientRect(edit, &client);
    // The pointer is where the drag holds it: a mouse move Wine makes up while the button is
    // held (when another program's window comes or goes) then drags to the same place.
    POINT below{10, client.bottom + 20};
    ClientToScreen(edit, &below);
    SetCursorPos(below.x, below.y);
    Mouse(edit, WM_LBUTTONDOWN, 0, MK_LBUTTON);
    SendMessageW(edit, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(10, client.bottom + 20));
    EXPECT_TRUE(PumpUntil([&] { return SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0) > 10; }));
    SendMessageW(edit, WM_LBUTTONUP, 0, MAKELPARAM(10, client.bottom + 20));
    const auto [from, to] = Selection(edit);
    EXPECT_EQ(from, 0u);
    EXPECT_GT(to, 100u);
    SendMessageW(edit, WM_COPY, 0, 0);
    std::string copied;
    ASSERT_TRUE(OpenClipboard(nullptr));
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT); data != nullptr) {
        copied = Utf8FromUtf16(static_cast<const wchar_t*>(GlobalLock(data)));
        GlobalUnlock(data);
    }
    CloseClipboard();
    EXPECT_EQ(copied, rows.substr(0, to));
}

}  // namespace
}  // namespace karvex::wint
