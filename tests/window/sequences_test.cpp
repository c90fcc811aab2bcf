// The user's sequences in the real window, on the simulated board: loaded from a folder after the
// twelve items in file-name order, the files that fail named once at start, the fields shown in the
// same controls, and a run that puts the typed entries on the wire.
#include <QLabel>
#include <QTemporaryDir>

#include <fstream>

#include "tests/window/window_rig.h"

namespace karvex::wt {
namespace {

// A registration check and an SMS: APN and phone number side by side.
constexpr const char* kRegistration = R"(title = "登録状態の確認"
fields = ["apn"]

[[step]]
send = 'AT+CGDCONT=1,"IP","{apn}"'
expect = "OK"

[[step]]
pause = 300

[[step]]
send = "AT+CREG?"
expect = "+CREG: 0,1"

[[step]]
send = "AT+CMGF=1"

[[step]]
send = 'AT+CMGS="{phone}"'
wait = false

[[step]]
send = "TEST\u001A"
fail = ["+CMS ERROR"]
)";

void Write(const QTemporaryDir& dir, const char* name, const std::string& text) {
    std::ofstream(dir.filePath(name).toStdString(), std::ios::binary) << text;
}

bool Visible(const CModemTestDlg& dlg, int id) {
    return dlg.Control(id)->isVisible();
}

TEST(Sequences, FromAFolderIntoTheDropDownAndOntoTheWire) {
    QTemporaryDir dir;
    Write(dir, "b-registration.toml", kRegistration);
    Write(dir, "a-revision.toml", "title = \"リビジョン\"\n[[step]]\nsend = \"AT+CGMR\"\n");
    Write(dir, "c-typo.toml", "title = \"t\"\n[[step]]\nsned = \"AT\"\n");
    Write(dir, "d-ascii.toml", "title = \"caf\\u00E9\"\n[[step]]\nsend = \"AT\"\n");
    Write(dir, "e-note.txt", "not a sequence");
    BoardAt at(31);
    // The registration line alone: an OK after it would complete the next step, which the runner
    // takes as soon as the line it expects has come.
    at.board.SetBehaviour("AT+CREG",
                          {.kind = sim::Behaviour::Kind::Reply, .reply = "\r\n+CREG: 0,1\r\n"});
    DialogRig rig(QString(), {dir.path().toStdString()});
    CModemTestDlg& dlg = *rig.dlg;

    // One message at start, naming each file left out with its line, column and reason.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !OpenBoxes(dlg).isEmpty(); }, 5000));
    ASSERT_EQ(OpenBoxes(dlg).size(), 1);
    const QString notice = OpenBoxes(dlg).front()->text();
    EXPECT_TRUE(notice.contains("c-typo.toml:3:1: unknown key \"sned\"")) << notice.toStdString();
    EXPECT_TRUE(notice.contains("d-ascii.toml:1:9: title holds \"é\"")) << notice.toStdString();
    EXPECT_FALSE(notice.contains("registration")) << notice.toStdString();
    CloseBoxes(dlg);

    auto* items = As<QComboBox>(dlg, kIdTestItem);
    ASSERT_EQ(items->count(), kTestItemCount + 2);
    EXPECT_EQ(items->itemText(kTestItemCount), QStringLiteral("リビジョン"));
    EXPECT_EQ(items->itemText(kTestItemCount + 1), QStringLiteral("登録状態の確認"));

    // APN and phone side by side, each under its label; then item 0 finds its fields in place.
    const QRect apnPlace = dlg.Control(kIdApn)->geometry();
    rig.ConnectTo(31);
    items->setCurrentIndex(kTestItemCount + 1);
    for (int id : {kIdApnLabel, kIdApn, kIdItemLabel, kIdPhone})
        EXPECT_TRUE(Visible(dlg, id)) << id;
    for (int id : {kIdUserLabel, kIdUser, kIdPasswordLabel, kIdPassword, kIdSmsNumber}) {
        EXPECT_FALSE(Visible(dlg, id)) << id;
    }
    EXPECT_EQ(As<QLabel>(dlg, kIdItemLabel)->text(), QStringLiteral("電話番号"));
    EXPECT_FALSE(dlg.Control(kIdApn)->geometry().intersects(dlg.Control(kIdPhone)->geometry()));
    EXPECT_FALSE(dlg.Control(kIdItemLabel)->geometry().intersects(dlg.Control(kIdApn)->geometry()));
    items->setCurrentIndex(0);
    EXPECT_EQ(dlg.Control(kIdApn)->geometry(), apnPlace);

    // The phone number it names is required, with the window's message.
    items->setCurrentIndex(kTestItemCount + 1);
    As<QLineEdit>(dlg, kIdApn)->setText("apn.example");
    As<QLineEdit>(dlg, kIdPhone)->setText("");
    rig.Press(kIdExecute);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !OpenBoxes(dlg).isEmpty(); }, 5000));
    EXPECT_EQ(OpenBoxes(dlg).front()->text(), QStringLiteral("電話番号は必須です。"));
    CloseBoxes(dlg);

    As<QLineEdit>(dlg, kIdPhone)->setText("0901");
    rig.Press(kIdExecute);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.Session().Running(); }, 2000));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !dlg.Session().Running() && Enables(dlg) == ExpectedEnables(LinkView::Open); },
        10000));
    EXPECT_EQ(
        at.board.Received(),
        "AT+CGDCONT=1,\"IP\",\"apn.example\"\rAT+CREG?\rAT+CMGF=1\rAT+CMGS=\"0901\"\rTEST\x1A\r");
    // The run ended on the last step's verdict: the OK after the message's reference.
    const std::string log = dlg.Log().Snapshot();
    EXPECT_TRUE(log.ends_with("OK\r\n")) << log;
    EXPECT_NE(log.find("+CMGS:"), std::string::npos) << log;
    EXPECT_TRUE(OpenBoxes(dlg).isEmpty());
}

}  // namespace
}  // namespace karvex::wt
