// The traffic log in the dialog's edit control: what the bytes look like there, a character split
// between two appends, a clear, and the operator's selection and scroll position across appends.
#include <string>
#include <thread>

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

}  // namespace
}  // namespace karvex::wint
