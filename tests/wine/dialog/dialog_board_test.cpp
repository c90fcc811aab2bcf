// The Windows dialog on the simulated board behind \\.\COMn: the link states and captions, an item
// run and its log, an operator message from the worker, and closing during a run.
#include <string>
#include <system_error>
#include <thread>

#include "link/serial_port.h"
#include "sim/board.h"
#include "tests/wine/dialog/dialog_rig.h"

namespace karvex::wint {
namespace {

// The board's COM number, from "\\.\COMn".
int ComNumber(const sim::Board& board) {
    const std::string path = board.DevicePath();
    return std::stoi(path.substr(path.rfind('M') + 1));
}

enum class LinkView { Closed, Open, Running };

// The enable state of every control the link and the runner switch.
void ExpectView(const DialogRig& rig, LinkView view) {
    const bool inputs = view == LinkView::Open;
    for (int id : {kIdExecute, kIdTestItem, kIdApn, kIdUser, kIdPassword, kIdSmsNumber, kIdPhone}) {
        EXPECT_EQ(rig.Enabled(id), inputs) << id;
    }
    // The model buttons stay on while the link is closed.
    for (int id : {kIdTolva1, kIdTolva2}) {
        EXPECT_EQ(rig.Enabled(id), view != LinkView::Running) << id;
    }
    EXPECT_EQ(rig.Enabled(kIdComPort), view == LinkView::Closed);
    EXPECT_TRUE(rig.Enabled(kIdConnect));
    EXPECT_EQ(rig.Text(kIdConnect), view == LinkView::Closed ? "接続" : "切断");
}

bool WaitForExecute(const DialogRig& rig, bool enabled) {
    return PumpUntil([&] { return rig.Enabled(kIdExecute) == enabled; });
}

void ConnectTo(DialogRig& rig, const sim::Board& board) {
    rig.SelectCom(ComNumber(board) - 1);
    rig.Click(kIdConnect);
}

TEST(WinDialogOnBoard, ConnectRunDisconnect) {
    sim::Board board;
    sim::Behaviour late;
    late.delay = std::chrono::milliseconds(400);
    board.SetBehaviour("AT+CGMR", late);
    DialogRig rig;
    ASSERT_NE(rig.hwnd, nullptr);
    AppendLog(rig.dlg->Log(), "left over\r\n");
    ASSERT_TRUE(PumpUntil([&] { return rig.Text(kIdTrafficLog) == "left over\r\n"; }));

    ConnectTo(rig, board);
    ASSERT_TRUE(rig.dlg->Session().LinkOpen());
    ExpectView(rig, LinkView::Open);
    EXPECT_EQ(rig.Text(kIdTrafficLog), "") << "a connect empties the log";

    rig.SelectItem(1);
    rig.Click(kIdExecute);
    ASSERT_TRUE(WaitForExecute(rig, false)) << "the runner disables the inputs";
    ExpectView(rig, LinkView::Running);
    ASSERT_TRUE(WaitForExecute(rig, true)) << "the end of the run enables them";
    ExpectView(rig, LinkView::Open);
    EXPECT_TRUE(board.WaitForReceived("AT+CGMR\r", std::chrono::milliseconds(100)));
    ASSERT_TRUE(PumpUntil([&] {
        const std::string log = rig.Text(kIdTrafficLog);
        return log.size() >= 4 && log.ends_with("OK\r\n");
    })) << rig.Text(kIdTrafficLog);
    // The command as sent (its CR shows nothing), then the board's echo and answer.
    EXPECT_TRUE(rig.Text(kIdTrafficLog).starts_with("AT+CGMRAT+CGMR\r\n"))
        << rig.Text(kIdTrafficLog);

    rig.Click(kIdConnect);
    EXPECT_FALSE(rig.dlg->Session().LinkOpen());
    ExpectView(rig, LinkView::Closed);
    EXPECT_NE(rig.Text(kIdTrafficLog), "") << "a disconnect keeps the log";
    // The port was given back at once.
    SerialPort again;
    EXPECT_TRUE(again.Open(board.DevicePath(), 115200));
}

TEST(WinDialogOnBoard, OperatorMessageFromTheWorker) {
    sim::Board board;
    DialogRig rig;
    ASSERT_NE(rig.hwnd, nullptr);
    ConnectTo(rig, board);
    ASSERT_TRUE(rig.dlg->Session().LinkOpen());
    rig.SelectItem(0);  // the APN field is empty
    MessageBoxCatcher box;
    rig.Click(kIdExecute);
    ASSERT_TRUE(PumpUntil([&] { return box.count > 0; }));
    EXPECT_EQ(box.count, 1);
    EXPECT_EQ(box.text, "APN設定は必須です。");
    EXPECT_EQ(box.caption, "karvex_dialog_board_tests");
    rig.dlg->Session().WaitIdle();
    ASSERT_TRUE(WaitForExecute(rig, true));
    ExpectView(rig, LinkView::Open);
    EXPECT_TRUE(board.Commands().empty());

    // A field the item cannot send as shown (an edit keeps a tab, not a CR): nothing goes out.
    struct Case {
        int item, field;
        const char *text, *message;
    };
    for (const Case& c : {Case{0, kIdApn, "internet\"\tAT", "APNに制御文字は使えません。"},
                          Case{9, kIdPassword, "pé", "パスワードに送信できない文字があります。"}}) {
        rig.Type(c.field, c.text);
        rig.SelectItem(c.item);
        MessageBoxCatcher caught;
        rig.Click(kIdExecute);
        ASSERT_TRUE(PumpUntil([&] { return caught.count > 0; }));
        EXPECT_EQ(caught.text, c.message);
        rig.dlg->Session().WaitIdle();
    }
    EXPECT_TRUE(board.Commands().empty());
}

// What the system may refuse: a thread for the monitor or the worker (std::thread throws), and
// room in the message queue for the wake-ups of the log and the worker (PostMessageW fails).
TEST(WinDialogOnBoard, NoThreadOrNoRoomInTheQueueLeavesNothingStuck) {
    sim::Board board;
    bool posts = false;
    win::ModemTestDialog::Options options = DialogRig::NoSettings();
    options.post = [&posts](HWND hwnd, UINT message) {
        return posts && PostMessageW(hwnd, message, 0, 0) != FALSE;
    };
    DialogRig rig(options);
    ASSERT_NE(rig.hwnd, nullptr);
    const auto noThread = [](std::function<void()>) -> std::thread {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    };
    MessageBoxCatcher box;
    rig.dlg->Session().SetThreadStarter(noThread);  // no monitor: the port free again
    ConnectTo(rig, board);
    EXPECT_EQ(box.text, "COM error.");
    ExpectView(rig, LinkView::Closed);
    EXPECT_TRUE(SerialPort().Open(board.DevicePath(), 115200));

    // Every post refused: the log and the end of the run still reach the window.
    rig.dlg->Session().SetThreadStarter(nullptr);
    ConnectTo(rig, board);
    rig.SelectItem(1);
    rig.Click(kIdExecute);
    ASSERT_TRUE(PumpUntil([&] { return rig.Text(kIdTrafficLog).ends_with("OK\r\n"); }));
    ASSERT_TRUE(WaitForExecute(rig, true));
    const std::string log = rig.Text(kIdTrafficLog);

    // No worker: the reason is shown; nothing sent, the log kept, the inputs enabled.
    rig.dlg->Session().SetThreadStarter(noThread);
    const size_t sent = board.Commands().size();
    rig.Click(kIdExecute);
    ASSERT_TRUE(PumpUntil([&] { return box.count == 2; }));
    EXPECT_EQ(box.text,
              "実行できませんでした。\n" +
                  std::make_error_code(std::errc::resource_unavailable_try_again).message());
    EXPECT_EQ(rig.Text(kIdTrafficLog), log);
    ExpectView(rig, LinkView::Open);
    EXPECT_EQ(board.Commands().size(), sent);
}

TEST(WinDialogOnBoard, CloseBoxDuringARunSavesAndJoinsQuickly) {
    sim::Board board;
    sim::Behaviour silent;
    silent.kind = sim::Behaviour::Kind::Silent;
    board.SetBehaviour("AT+CGMR", silent);
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::string ini = Utf8FromUtf16(temp) + "karvex-close-test.ini";
    DeleteFileW(Utf16FromUtf8(ini).c_str());
    win::ModemTestDialog::Options options;
    options.settingsPath = ini;
    DialogRig rig(options);
    ASSERT_NE(rig.hwnd, nullptr);
    ConnectTo(rig, board);
    rig.SelectItem(1);
    rig.Click(kIdExecute);
    ASSERT_TRUE(WaitForExecute(rig, false));

    const auto start = std::chrono::steady_clock::now();
    SendMessageW(rig.hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    EXPECT_TRUE(rig.Ended());
    EXPECT_FALSE(IsWindow(rig.hwnd)) << "closed and its threads joined";
    EXPECT_LT(ms, 1000) << "closing with a run in progress took " << ms << " ms";
    EXPECT_NE(GetFileAttributesW(Utf16FromUtf8(ini).c_str()), INVALID_FILE_ATTRIBUTES)
        << "the close box saves the settings";
    SerialPort again;
    EXPECT_TRUE(again.Open(board.DevicePath(), 115200));
    DeleteFileW(Utf16FromUtf8(ini).c_str());
}

}  // namespace
}  // namespace karvex::wint
