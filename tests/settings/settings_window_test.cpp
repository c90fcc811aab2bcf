// The settings file as the real window reads and writes it, under the offscreen platform.
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QWindow>
#include <functional>
#include <memory>

#include "link/program_places.h"
#include "resources/main_dialog.h"
#include "settings_test_util.h"
#include "window/modem_test_dlg.h"
#include "window/settings_file.h"

namespace karvex {
namespace {

using namespace res;
using testing::OtherEntries;
using testing::ReadBytes;
using testing::WriteBytes;

// One application object for the process, destroyed when the tests are done.
class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

  private:
    int argc_ = 1;
    char name_[21] = "settings_window_test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

const auto* const kQtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

class SettingsWindowTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    QString Path() const { return dir_.filePath(QStringLiteral("karvex.ini")); }

    static std::unique_ptr<CModemTestDlg> Open(const QString& settingsPath) {
        CModemTestDlg::Options options;
        options.settingsPath = settingsPath;
        auto dlg = std::make_unique<CModemTestDlg>(options);
        dlg->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
        return dlg;
    }

    template <class W>
    static W* Get(const CModemTestDlg& dlg, int id) {
        auto* w = qobject_cast<W*>(dlg.Control(id));
        EXPECT_NE(w, nullptr) << id;
        return w;
    }

    static void ExpectDefaults(const CModemTestDlg& dlg) {
        EXPECT_TRUE(Get<QRadioButton>(dlg, kIdTolva1)->isChecked());
        EXPECT_FALSE(Get<QRadioButton>(dlg, kIdTolva2)->isChecked());
        EXPECT_EQ(Get<QComboBox>(dlg, kIdComPort)->currentText(), QStringLiteral("COM1"));
        for (int id : {kIdApn, kIdUser, kIdPassword, kIdPhone}) {
            EXPECT_EQ(Get<QLineEdit>(dlg, id)->text(), QString()) << id;
        }
        EXPECT_EQ(Get<QLineEdit>(dlg, kIdSmsNumber)->text(), QStringLiteral("1"));
    }

    QTemporaryDir dir_;
};

TEST_F(SettingsWindowTest, StartWithoutFileShowsDefaultsAndCreatesNothing) {
    auto dlg = Open(Path());
    EXPECT_EQ(dlg->SettingsPath(), Path());
    ExpectDefaults(*dlg);
    EXPECT_TRUE(OtherEntries(dir_, {}).isEmpty());
}

TEST_F(SettingsWindowTest, FileIsLoadedIntoTheControls) {
    WriteBytes(Path(),
               "1xyz\r\n5\r\n  apn.example \r\n\x83\x86\x81\x5B\x83\x55\r\npass word\r\n"
               "0312345678\r\n");
    auto dlg = Open(Path());
    EXPECT_FALSE(Get<QRadioButton>(*dlg, kIdTolva1)->isChecked());
    EXPECT_TRUE(Get<QRadioButton>(*dlg, kIdTolva2)->isChecked());
    EXPECT_EQ(Get<QComboBox>(*dlg, kIdComPort)->currentText(), QStringLiteral("COM5"));
    EXPECT_EQ(Get<QLineEdit>(*dlg, kIdApn)->text(), QStringLiteral("  apn.example "));
    EXPECT_EQ(Get<QLineEdit>(*dlg, kIdUser)->text(), QStringLiteral(u"ユーザ"));
    EXPECT_EQ(Get<QLineEdit>(*dlg, kIdPassword)->text(), QStringLiteral("pass word"));
    EXPECT_EQ(Get<QLineEdit>(*dlg, kIdPhone)->text(), QStringLiteral("0312345678"));
    EXPECT_EQ(Get<QLineEdit>(*dlg, kIdSmsNumber)->text(), QStringLiteral("1"));
}

TEST_F(SettingsWindowTest, ShortFileGivesTheDefaults) {
    WriteBytes(Path(), "1\r\n5\r\napn\r\nuser\r\npass\r\n");
    auto dlg = Open(Path());
    ExpectDefaults(*dlg);
}

struct CloseCase {
    const char* name;
    std::function<void(CModemTestDlg&)> close;
};

// A close request (the title bar's button, through the window system or QWidget::close) saves.
TEST_F(SettingsWindowTest, CloseRequestSavesTheControls) {
    const CloseCase cases[] = {
        {"QWidget::close", [](CModemTestDlg& d) { d.close(); }},
        {"window system close", [](CModemTestDlg& d) { d.windowHandle()->close(); }},
    };
    for (const CloseCase& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(Path());
        auto dlg = Open(Path());
        Get<QRadioButton>(*dlg, kIdTolva2)->setChecked(true);
        Get<QComboBox>(*dlg, kIdComPort)->setCurrentIndex(2);
        Get<QLineEdit>(*dlg, kIdApn)->setText(QStringLiteral(" internet "));
        Get<QLineEdit>(*dlg, kIdUser)->setText(QStringLiteral(u"テスト"));
        Get<QLineEdit>(*dlg, kIdPassword)->setText(QStringLiteral("secret"));
        Get<QLineEdit>(*dlg, kIdPhone)->setText(QString());
        c.close(*dlg);
        QCoreApplication::processEvents();
        EXPECT_FALSE(dlg->isVisible());
        EXPECT_EQ(dlg->result(), CModemTestDlg::IDCANCEL);
        EXPECT_EQ(ReadBytes(Path()),
                  QByteArray("1\r\n3\r\ninternet\r\n\x83\x65\x83\x58\x83\x67\r\nsecret\r\n\r\n"));
        EXPECT_TRUE(OtherEntries(dir_, QStringLiteral("karvex.ini")).isEmpty());
    }
}

TEST_F(SettingsWindowTest, PortThatSelectsNoEntryIsSavedAsZero) {
    for (const char* line2 : {"0", "100", "word"}) {
        SCOPED_TRACE(line2);
        WriteBytes(Path(), QByteArray("0\r\n") + line2 + "\r\na\r\nb\r\nc\r\nd\r\n");
        auto dlg = Open(Path());
        EXPECT_EQ(Get<QComboBox>(*dlg, kIdComPort)->currentIndex(), -1);
        dlg->close();
        EXPECT_EQ(ReadBytes(Path()), QByteArray("0\r\n0\r\na\r\nb\r\nc\r\nd\r\n"));
    }
}

struct KeyCase {
    const char* name;
    Qt::Key key;
    int result;
};

TEST_F(SettingsWindowTest, EnterAndEscEndTheWindowWithoutSaving) {
    const KeyCase cases[] = {
        {"Esc", Qt::Key_Escape, CModemTestDlg::IDCANCEL},
        {"Enter", Qt::Key_Return, CModemTestDlg::IDOK},
        {"keypad Enter", Qt::Key_Enter, CModemTestDlg::IDOK},
    };
    const QByteArray old = "0\r\n2\r\nold\r\n\r\n\r\n\r\n";
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(Path(), old);
        auto dlg = Open(Path());
        Get<QLineEdit>(*dlg, kIdApn)->setText(QStringLiteral("changed"));
        Get<QRadioButton>(*dlg, kIdTolva2)->setChecked(true);
        QWidget* focus = dlg->focusWidget() != nullptr ? dlg->focusWidget() : dlg.get();
        QTest::keyClick(focus, c.key);
        QCoreApplication::processEvents();
        EXPECT_FALSE(dlg->isVisible());
        EXPECT_EQ(dlg->result(), c.result);
        EXPECT_EQ(ReadBytes(Path()), old);
    }
}

TEST_F(SettingsWindowTest, UncreatableFileIsNotReportedAndTheWindowCloses) {
    const QString notADir = dir_.filePath(QStringLiteral("plain"));
    WriteBytes(notADir, "x");
    const QString path = notADir + QStringLiteral("/karvex.ini");
    auto dlg = Open(path);
    ExpectDefaults(*dlg);
    Get<QLineEdit>(*dlg, kIdApn)->setText(QStringLiteral("apn"));
    dlg->close();
    QCoreApplication::processEvents();
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), CModemTestDlg::IDCANCEL);
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_EQ(OtherEntries(dir_, {}), QStringList{QStringLiteral("plain")});
    // No message box or other window was left open.
    for (QWidget* w : QApplication::topLevelWidgets()) {
        EXPECT_FALSE(w->isVisible()) << w->metaObject()->className();
    }
}

// With an empty settings path even the file beside the executable is neither read nor written.
TEST_F(SettingsWindowTest, EmptySettingsPathReadsAndWritesNothing) {
    const QString beside = QFile::decodeName(ThisProgramsPlaces().besideSettings.c_str());
    ASSERT_FALSE(beside.isEmpty());
    const QByteArray content = "1\r\n7\r\nbeside\r\nu\r\np\r\nq\r\n";
    WriteBytes(beside, content);
    struct Cleanup {
        QString path;
        ~Cleanup() { QFile::remove(path); }
    } cleanup{beside};

    auto dlg = Open(QString());
    EXPECT_TRUE(dlg->SettingsPath().isEmpty());
    ExpectDefaults(*dlg);
    Get<QLineEdit>(*dlg, kIdApn)->setText(QStringLiteral("changed"));
    dlg->close();
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(ReadBytes(beside), content);
    EXPECT_TRUE(OtherEntries(dir_, {}).isEmpty());
}

}  // namespace
}  // namespace karvex
