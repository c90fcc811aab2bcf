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
        bytes += "line " + std::to_string(i) + "\r\n";
        text += "line " + std::to_string(i) + "\r\n";
    }
    ASSERT_TRUE(AppendAndShow(rig, bytes, text));
    // Nothing selected, at the end: the view follows the new lines.
    const auto firstLine = [&] { return SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0); };
    EXPECT_GT(firstLine(), 100);

    // The operator scrolls to the top and selects a word: appends move neither.
    SendMessageW(edit, WM_VSCROLL, SB_TOP, 0);
    SendMessageW(edit, EM_SETSEL, 5, 9);
    for (int round = 0; round < 3; ++round) {
        text += "more\r\n";
        ASSERT_TRUE(AppendAndShow(rig, "more\r\n", text));
        DWORD start = 0, end = 0;
        SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                     reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(start, 5u);
        EXPECT_EQ(end, 9u);
        EXPECT_EQ(firstLine(), 0);
    }
}

}  // namespace
}  // namespace karvex::wint
