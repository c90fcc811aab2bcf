// The user's sequences in the real window, on the simulated board: loaded from a folder after the
// twelve items in file-name order, the files that fail named once at start, the fields shown in the
// same controls, and a run that puts the typed entries on the wire.
#include <QLabel>
#include <QTemporaryDir>

#include <fstream>

#include "tests/window/window_rig.h"

namespace karvex::wt {
namespace {

// APN and phone number: side by side in the fields' row.
constexpr const char* kRegistration = R"(title = "登録状態の確認"
[[step]]
send = 'AT+CGDCONT=1,"IP","{apn}"'
[[step]]
send = 'AT+CMGS="{phone}"'
wait = false
[[step]]
pause = 300
)";

void Write(const QTemporaryDir& dir, const char* name, const std::string& text) {
    std::ofstream(dir.filePath(name).toStdString(), std::ios::binary) << text;
}

TEST(Sequences, FromAFolderIntoTheDropDownAndOntoTheWire) {
    QTemporaryDir dir;
    Write(dir, "b-registration.toml", kRegistration);
    Write(dir, "a-revision.toml", "title = \"リビジョン\"\n[[step]]\nsend = \"AT+CGMR\"\n");
    Write(dir, "c-typo.toml", "title = \"t\"\n[[step]]\nsned = \"AT\"\n");
    Write(dir, "d-note.txt", "not a sequence");
    BoardAt at(31);
    DialogRig rig(QString(), {dir.path().toStdString()});
    CModemTestDlg& dlg = *rig.dlg;

    // One message at start, naming the file left out with its line, column and reason.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !OpenBoxes(dlg).isEmpty(); }, 5000));
    ASSERT_EQ(OpenBoxes(dlg).size(), 1);
    const QString notice = OpenBoxes(dlg).front()->text();
    EXPECT_TRUE(notice.contains("c-typo.toml:3:1: unknown key \"sned\"")) << notice.toStdString();
    EXPECT_FALSE(notice.contains("registration") || notice.contains("note"));
    CloseBoxes(dlg);

    auto* items = As<QComboBox>(dlg, kIdTestItem);
    ASSERT_EQ(items->count(), kTestItemCount + 2);
    EXPECT_EQ(items->itemText(kTestItemCount), QStringLiteral("リビジョン"));
    EXPECT_EQ(items->itemText(kTestItemCount + 1), QStringLiteral("登録状態の確認"));

    // APN and phone side by side, each under its label; then item 0 finds its fields in place.
    const QRect apnPlace = dlg.Control(kIdApn)->geometry();
    rig.ConnectTo(31);
    items->setCurrentIndex(kTestItemCount + 1);
    for (int id : {kIdApnLabel, kIdApn, kIdItemLabel, kIdPhone, kIdUser, kIdSmsNumber}) {
        EXPECT_EQ(dlg.Control(id)->isVisible(), id != kIdUser && id != kIdSmsNumber) << id;
    }
    EXPECT_EQ(As<QLabel>(dlg, kIdItemLabel)->text(), QStringLiteral("電話番号"));
    EXPECT_FALSE(dlg.Control(kIdApn)->geometry().intersects(dlg.Control(kIdPhone)->geometry()));
    EXPECT_FALSE(dlg.Control(kIdItemLabel)->geometry().intersects(dlg.Control(kIdApn)->geometry()));
    items->setCurrentIndex(0);
    EXPECT_EQ(dlg.Control(kIdApn)->geometry(), apnPlace);

    items->setCurrentIndex(kTestItemCount + 1);
    As<QLineEdit>(dlg, kIdApn)->setText("apn.example");
    As<QLineEdit>(dlg, kIdPhone)->setText("0901");
    rig.Press(kIdExecute);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.Session().Running(); }, 2000));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !dlg.Session().Running() && Enables(dlg) == ExpectedEnables(LinkView::Open); },
        10000));
    EXPECT_EQ(at.board.Received(), "AT+CGDCONT=1,\"IP\",\"apn.example\"\rAT+CMGS=\"0901\"\r");
    EXPECT_TRUE(OpenBoxes(dlg).isEmpty());
}

}  // namespace
}  // namespace karvex::wt
