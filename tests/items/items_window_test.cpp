// The items driven through the real window: the operator picks the item, types into its fields and
// presses execute; the simulated board, published as a COM port of this test's own, receives the
// commands through the real serial layer.
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QRadioButton>

#include <chrono>
#include <filesystem>

#include "link/program_path.h"
#include "tests/items/board_rig.h"
#include "tests/support/ser2net.h"
#include "tests/window/window_rig.h"

namespace karvex::wt {
namespace {

using namespace std::chrono_literals;
using karvex::testing::ExpectedRun;
using karvex::testing::kClockCommand;
using karvex::testing::kServedTimeLine;
using karvex::testing::WireBytes;

constexpr int kRunMs = 30000;

struct WindowOnBoard {
    explicit WindowOnBoard(int com) : at(com) {
        at.board.SetTimeLine(kServedTimeLine);
        rig.ConnectTo(com);
        EXPECT_TRUE(rig.dlg->LinkOpen());
    }
    CModemTestDlg& Dlg() { return *rig.dlg; }

    void Select(int item) { As<QComboBox>(Dlg(), kIdTestItem)->setCurrentIndex(item); }
    void Type(int field, const QString& text) {
        auto* edit = As<QLineEdit>(Dlg(), field);
        edit->clear();
        QTest::keyClicks(edit, text);
    }
    // Japanese text arrives as an input method's committed string, as it does from a real IME.
    void Compose(int field, const QString& text) {
        auto* edit = As<QLineEdit>(Dlg(), field);
        edit->clear();
        edit->setFocus();
        QInputMethodEvent event;
        event.setCommitString(text);
        QCoreApplication::sendEvent(edit, &event);
    }
    void Execute() { rig.Press(kIdExecute); }
    // Waits until the run has ended and the window shows the inputs enabled again.
    bool WaitForEnd(int ms = kRunMs) {
        return QTest::qWaitFor(
            [&] {
                return !Dlg().Session().Running() &&
                       Enables(Dlg()) == ExpectedEnables(LinkView::Open);
            },
            ms);
    }

    BoardAt at;
    DialogRig rig;
};

class Item0ThroughWindow : public ::testing::TestWithParam<bool> {};

// Both models: the APN typed with blanks around it is trimmed; the model radio decides steps 2
// and 9.
TEST_P(Item0ThroughWindow, SendsTheModelsList) {
    const bool tolva2 = GetParam();
    WindowOnBoard w(tolva2 ? 21 : 22);
    As<QRadioButton>(w.Dlg(), tolva2 ? kIdTolva2 : kIdTolva1)->click();
    w.Select(0);
    w.Type(kIdApn, "  apn.example\t");
    w.Type(kIdUser, "user");
    w.Type(kIdPassword, "pass");
    w.Execute();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.Dlg().Session().Running(); }, 2000));
    ASSERT_TRUE(w.WaitForEnd());
    EXPECT_EQ(w.at.board.Received(), WireBytes(ExpectedRun(0, tolva2)));
}

INSTANTIATE_TEST_SUITE_P(Models, Item0ThroughWindow, ::testing::Bool());

// A board on another machine as COM27: its link names ser2net's address, and the window connects
// and runs an item through it as through a local port.
TEST(ItemsThroughWindow, AComPortLinkedToANetworkBoardRunsAnItem) {
    BoardAt at(27);
    testing::Ser2net server(at.board.DevicePath());
    ASSERT_TRUE(server.Running());
    const auto link = std::filesystem::path(ExecutableDir()) / "dosdevices" / "com27";
    std::filesystem::remove(link);
    std::filesystem::create_symlink(server.Address(testing::Ser2net::Accepter::Rfc2217), link);
    DialogRig rig;
    rig.ConnectTo(27);
    ASSERT_TRUE(rig.dlg->LinkOpen()) << rig.port.FailureReason();
    As<QComboBox>(*rig.dlg, kIdTestItem)->setCurrentIndex(1);
    rig.Press(kIdExecute);
    ASSERT_TRUE(QTest::qWaitFor([&] { return LogText(*rig.dlg).contains("OK"); }, kRunMs));
    EXPECT_EQ(at.board.Received(), WireBytes(ExpectedRun(1)));
}

// Japanese text typed into a field goes out as its CP932 bytes.
TEST(ItemsThroughWindow, JapaneseEntryGoesOutAsCp932) {
    WindowOnBoard w(23);
    w.Select(9);
    w.Compose(kIdUser, QStringLiteral("テスト"));
    w.Compose(kIdPassword, QStringLiteral("あ"));
    w.Execute();
    ASSERT_TRUE(w.at.board.WaitForReceived("AT+CMOLR=2,1\r", 5000ms));
    ASSERT_TRUE(w.WaitForEnd());
    EXPECT_EQ(w.at.board.Received(),
              "AT+WPPP=2,4,\"\x83\x65\x83\x58\x83\x67\",\"\x82\xA0\"\rAT+CMOLR=2,1\r");
}

TEST(ItemsThroughWindow, SmsWithTheTypedNumberTrimmed) {
    WindowOnBoard w(24);
    w.Select(5);
    w.Type(kIdPhone, " 090 1234 ");
    w.Execute();
    ASSERT_TRUE(w.WaitForEnd());
    EXPECT_EQ(w.at.board.Received(), "AT+CMGF=1\rAT+CMGS=\"090 1234\"\rTEST SMS 1\x1A\r");
    EXPECT_TRUE(LogText(w.Dlg()).contains("+CMGS:")) << LogText(w.Dlg()).toStdString();
}

// The execute button stays disabled from the first command until the clock is set, so nothing
// else can start in the pause between the two lists.
TEST(ItemsThroughWindow, NetworkTimeKeepsExecuteDisabledUntilTheClockIsSet) {
    WindowOnBoard w(25);
    w.Select(3);
    w.Execute();
    auto* execute = As<QPushButton>(w.Dlg(), kIdExecute);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !execute->isEnabled(); }, 2000));
    bool enabledInTheGap = false;
    const bool clockSent = QTest::qWaitFor(
        [&] {
            enabledInTheGap |=
                execute->isEnabled() && w.at.board.Received().find("AT+CCLK") == std::string::npos;
            if (w.at.board.Received().find("AT+KHTTPDEL=1\r") != std::string::npos) {
                w.Select(1);
                w.Execute();  // a click on the disabled button does nothing
            }
            return w.at.board.Received().find("AT+CCLK") != std::string::npos;
        },
        kRunMs);
    ASSERT_TRUE(clockSent);
    EXPECT_FALSE(enabledInTheGap);
    ASSERT_TRUE(w.WaitForEnd());
    EXPECT_EQ(w.at.board.Received(), WireBytes(ExpectedRun(3)));
    EXPECT_EQ(w.at.board.ClockValue().rfind("26/03/07,09:05:3", 0), 0u);
    EXPECT_TRUE(LogText(w.Dlg()).contains(QString(kClockCommand)))
        << LogText(w.Dlg()).toStdString();
}

// An empty required field: the message box and nothing else.
TEST(ItemsThroughWindow, EmptyPhoneShowsTheMessageAndSendsNothing) {
    WindowOnBoard w(26);
    w.Select(5);
    w.Type(kIdPhone, "");
    w.Execute();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !OpenBoxes(w.Dlg()).isEmpty(); }, 5000));
    EXPECT_EQ(OpenBoxes(w.Dlg()).front()->text(), QStringLiteral("電話番号は必須です。"));
    CloseBoxes(w.Dlg());
    ASSERT_TRUE(w.WaitForEnd());
    QTest::qWait(300);  // the span measured: nothing goes out late either
    EXPECT_EQ(w.at.board.Received(), "");
}

}  // namespace
}  // namespace karvex::wt
