// The traffic log in the dialog's edit control: what the bytes look like there, a character split
// between two appends, a clear, and the operator's selection and scroll position across appends.
#include <algorithm>
#include <string>
#include <thread>
#include <utility>

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

// Where the text's first character stands across (the horizontal scroll, negated).
int TextLeft(HWND edit) {
    return static_cast<short>(LOWORD(SendMessageW(edit, EM_POSFROMCHAR, 0, 0)));
}

// The selection as the operator would extend it: Shift+Right moves the caret's end only.
std::pair<DWORD, DWORD> SelectionAfterShiftRight(HWND edit) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_SHIFT] = 0x80;
    SetKeyboardState(keys);
    SendMessageW(edit, WM_KEYDOWN, VK_RIGHT, 1);
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
    DWORD start = 0, end = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return {start, end};
}

TEST(WinLog, AppendsKeepTheOperatorsSelectionAndPlace) {
    const struct {
        const char* name;
        DWORD anchor, caret;  // the operator's selection; equal: none, the caret at the end
        bool top;             // scrolled to the top; else left at the end
        int across;           // characters scrolled to the right
    } cases[] = {
        {"at the end, scrolled across: follows down, stays across", 0, 0, false, 40},
        {"at the top, a word selected", 5, 9, true, 0},
        {"at the top, selected backwards, scrolled across", 9, 5, true, 40},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DialogRig rig;
        ASSERT_NE(rig.hwnd, nullptr);
        const HWND edit = rig.Item(kIdTrafficLog);
        std::string bytes, text;
        for (int i = 0; i < 200; ++i) {
            bytes += "line " + std::to_string(i) + " " + std::string(150, 'x') + "\r\n";
        }
        text = bytes;
        ASSERT_TRUE(AppendAndShow(rig, bytes, text));
        const auto firstLine = [&] { return SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0); };
        EXPECT_GT(firstLine(), 100) << "nothing selected, at the end: the view followed";

        SetFocus(edit);
        if (c.top) SendMessageW(edit, WM_VSCROLL, SB_TOP, 0);
        const auto length = static_cast<DWORD>(GetWindowTextLengthW(edit));
        SendMessageW(edit, EM_SETSEL, c.anchor == c.caret ? length : c.anchor,
                     c.anchor == c.caret ? length : c.caret);
        SendMessageW(edit, EM_LINESCROLL, c.across, 0);
        const int left = TextLeft(edit);
        ASSERT_EQ(left<0, c.across> 0);
        for (int round = 0; round < 3; ++round) {
            const auto before = firstLine();
            text += "more\r\n";
            ASSERT_TRUE(AppendAndShow(rig, "more\r\n", text));
            EXPECT_EQ(TextLeft(edit), left);
            if (c.top) {
                EXPECT_EQ(firstLine(), 0);
            } else {
                EXPECT_EQ(firstLine(), before + 1);
            }
            DWORD start = 0, end = 0;
            SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                         reinterpret_cast<LPARAM>(&end));
            if (c.anchor != c.caret) {
                EXPECT_EQ(start, std::min(c.anchor, c.caret));
                EXPECT_EQ(end, std::max(c.anchor, c.caret));
            }
        }
        if (c.anchor != c.caret) {
            // The caret is where the operator left it: Shift+Right moves that end only.
            const bool backwards = c.caret < c.anchor;
            EXPECT_EQ(SelectionAfterShiftRight(edit), backwards
                                                          ? std::make_pair(c.caret + 1, c.anchor)
                                                          : std::make_pair(c.anchor, c.caret + 1));
        }
    }
}

}  // namespace
}  // namespace karvex::wint
