// How the window ends: Enter and Esc end it without saving, Enter on a focused push button clicks
// it, and a close request saves the settings first.
#include <QFileInfo>
#include <QRadioButton>

#include "tests/window/window_rig.h"
#include "window/settings_file.h"

namespace karvex::wt {
namespace {

struct EndCase {
    const char* name;
    int target;  // control that receives the key; 0: the dialog itself
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    int result;
};

TEST(Keys, EnterAndEscEndTheWindowWithoutSaving) {
    const EndCase cases[] = {
        {"Enter on the log", kIdTrafficLog, Qt::Key_Return, Qt::NoModifier, CModemTestDlg::IDOK},
        {"keypad Enter on the log", kIdTrafficLog, Qt::Key_Enter, Qt::KeypadModifier,
         CModemTestDlg::IDOK},
        {"Enter on the COM list", kIdComPort, Qt::Key_Return, Qt::NoModifier, CModemTestDlg::IDOK},
        {"Enter on a radio button", kIdTolva2, Qt::Key_Return, Qt::NoModifier, CModemTestDlg::IDOK},
        {"Enter on the dialog", 0, Qt::Key_Return, Qt::NoModifier, CModemTestDlg::IDOK},
        {"Esc on the log", kIdTrafficLog, Qt::Key_Escape, Qt::NoModifier, CModemTestDlg::IDCANCEL},
        {"Esc on the COM list", kIdComPort, Qt::Key_Escape, Qt::NoModifier,
         CModemTestDlg::IDCANCEL},
        {"Esc on the connect button", kIdConnect, Qt::Key_Escape, Qt::NoModifier,
         CModemTestDlg::IDCANCEL},
    };
    for (const EndCase& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString ini = dir.filePath("karvex.ini");
        DialogRig rig(ini);
        QWidget* target =
            c.target == 0 ? static_cast<QWidget*>(rig.dlg.get()) : rig.dlg->Control(c.target);
        QTest::keyClick(target, c.key, c.modifiers);
        EXPECT_FALSE(rig.dlg->isVisible());
        EXPECT_EQ(rig.dlg->result(), c.result);
        rig.dlg.reset();
        EXPECT_FALSE(QFileInfo::exists(ini)) << "Enter and Esc leave the settings file alone";
    }
}

TEST(Keys, EnterInAnOpenLinksTextFieldEndsTheWindow) {
    BoardAt at(16);
    QTemporaryDir dir;
    DialogRig rig(dir.filePath("karvex.ini"));
    rig.ConnectTo(16);
    ASSERT_TRUE(rig.dlg->LinkOpen());
    for (int id : {kIdApn, kIdUser, kIdPassword, kIdSmsNumber, kIdPhone, kIdTestItem}) {
        SCOPED_TRACE(id);
        rig.dlg->show();
        QTest::keyClick(rig.dlg->Control(id), Qt::Key_Return);
        EXPECT_FALSE(rig.dlg->isVisible());
        EXPECT_EQ(rig.dlg->result(), CModemTestDlg::IDOK);
    }
    // The link closes with the window's destruction, and the port is free again.
    rig.dlg.reset();
    SerialPort again;
    EXPECT_TRUE(again.Open("\\\\.\\COM16", 115200));
}

TEST(Keys, EnterOnAFocusedPushButtonClicksIt) {
    DialogRig rig;
    As<QComboBox>(*rig.dlg, kIdComPort)->setCurrentIndex(-1);  // the connect attempt will fail
    QTest::keyClick(rig.dlg->Control(kIdConnect), Qt::Key_Return);
    EXPECT_TRUE(rig.dlg->isVisible()) << "the button was clicked; the window stays";
    ASSERT_EQ(OpenBoxes(*rig.dlg).size(), 1);
    EXPECT_EQ(OpenBoxes(*rig.dlg).front()->text(), QStringLiteral("COM error."));
    CloseBoxes(*rig.dlg);
    // With a modifier Enter is not the dialog's key.
    QTest::keyClick(rig.dlg->Control(kIdTrafficLog), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_TRUE(rig.dlg->isVisible());
}

TEST(Keys, CloseRequestSavesTheChoicesThenEnds) {
    QTemporaryDir dir;
    const QString ini = dir.filePath("karvex.ini");
    {
        DialogRig rig(ini);
        As<QRadioButton>(*rig.dlg, kIdTolva2)->setChecked(true);
        As<QComboBox>(*rig.dlg, kIdComPort)->setCurrentIndex(2);
        As<QLineEdit>(*rig.dlg, kIdApn)->setText(QStringLiteral("  apn.example  "));
        As<QLineEdit>(*rig.dlg, kIdUser)->setText(QStringLiteral("ユーザ"));
        As<QLineEdit>(*rig.dlg, kIdPhone)->setText(QStringLiteral("0312345678"));
        EXPECT_TRUE(rig.dlg->close());
        EXPECT_FALSE(rig.dlg->isVisible());
        EXPECT_EQ(rig.dlg->result(), CModemTestDlg::IDCANCEL);
    }
    Settings saved;
    ASSERT_EQ(LoadSettings(ini, saved), 0);
    EXPECT_TRUE(saved.tolva2);
    EXPECT_EQ(saved.port, 3);
    EXPECT_EQ(saved.apn, "apn.example");
    EXPECT_EQ(saved.user, "ユーザ");
    EXPECT_EQ(saved.phone, "0312345678");

    // The next start shows them again; the SMS number and the item are not kept.
    DialogRig next(ini);
    EXPECT_TRUE(As<QRadioButton>(*next.dlg, kIdTolva2)->isChecked());
    EXPECT_EQ(As<QComboBox>(*next.dlg, kIdComPort)->currentText(), QStringLiteral("COM3"));
    EXPECT_EQ(As<QLineEdit>(*next.dlg, kIdApn)->text(), QStringLiteral("apn.example"));
    EXPECT_EQ(As<QLineEdit>(*next.dlg, kIdSmsNumber)->text(), QStringLiteral("1"));
    EXPECT_EQ(As<QComboBox>(*next.dlg, kIdTestItem)->currentIndex(), 0);
}

TEST(Keys, SettingsWithoutAPortLeaveNoEntrySelected) {
    QTemporaryDir dir;
    const QString ini = dir.filePath("karvex.ini");
    Settings s;
    s.port = 0;
    ASSERT_TRUE(SaveSettings(ini, s));
    DialogRig rig(ini);
    EXPECT_EQ(As<QComboBox>(*rig.dlg, kIdComPort)->currentIndex(), -1);
    rig.Press(kIdConnect);
    ASSERT_EQ(OpenBoxes(*rig.dlg).size(), 1);
    CloseBoxes(*rig.dlg);
    rig.dlg->close();
    Settings again;
    ASSERT_EQ(LoadSettings(ini, again), 0);
    EXPECT_EQ(again.port, 0);
}

TEST(Keys, UnwritableSettingsStillClose) {
    QTemporaryDir dir;
    const QString ini = dir.filePath("missing-dir/karvex.ini");
    DialogRig rig(ini);
    EXPECT_TRUE(rig.dlg->close());
    EXPECT_FALSE(rig.dlg->isVisible());
    EXPECT_FALSE(QFileInfo::exists(ini));
}

}  // namespace
}  // namespace karvex::wt
