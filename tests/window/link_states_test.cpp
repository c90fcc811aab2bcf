// The connect and execute buttons on the real serial layer against the simulated board: enable
// states through a whole session, the log cleared by each connect, ports that do not open,
// disconnecting and closing while a sequence runs or when a signal ends the program.
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>

#include <chrono>
#include <thread>

#include "link/port_lock.h"
#include "link/program_path.h"
#include "tests/window/window_rig.h"
#include "window/log_menu.h"
#include "window/modem_test_app.h"
#include "window/stop_signals.h"

namespace karvex::wt {
namespace {

using namespace std::chrono_literals;
using sim::Behaviour;

constexpr int kWaitMs = 5000;

bool WaitForState(const CModemTestDlg& dlg, LinkView view, int ms = kWaitMs) {
    return QTest::qWaitFor([&] { return Enables(dlg) == ExpectedEnables(view); }, ms);
}

void RunItem(DialogRig& rig, int item) {
    As<QComboBox>(*rig.dlg, kIdTestItem)->setCurrentIndex(item);
    rig.Press(kIdExecute);
}

Behaviour Late(std::chrono::milliseconds delay) {
    Behaviour b;
    b.delay = delay;
    return b;
}

Behaviour Silent() {
    Behaviour b;
    b.kind = Behaviour::Kind::Silent;
    return b;
}

TEST(LinkStates, ConnectRunEndDisconnectConnect) {
    BoardAt at(11);
    at.board.SetBehaviour("AT+CGMR", Late(400ms));
    DialogRig rig;
    CModemTestDlg& dlg = *rig.dlg;

    dlg.Log().Append("left over\r\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return LogText(dlg) == "left over\n"; }, kWaitMs));

    rig.ConnectTo(11);
    ASSERT_TRUE(dlg.LinkOpen());
    EXPECT_EQ(Caption(dlg), QStringLiteral("切断"));
    EXPECT_EQ(Enables(dlg), ExpectedEnables(LinkView::Open));
    EXPECT_TRUE(LogText(dlg).isEmpty()) << "a connect empties the log";

    RunItem(rig, 1);
    ASSERT_TRUE(WaitForState(dlg, LinkView::Running)) << "the runner disables the inputs";
    EXPECT_EQ(Caption(dlg), QStringLiteral("切断"));
    ASSERT_TRUE(WaitForState(dlg, LinkView::Open)) << "the end of the run enables them";
    EXPECT_FALSE(dlg.Session().Running());
    EXPECT_TRUE(at.board.WaitForReceived("AT+CGMR\r", 100ms));
    ASSERT_TRUE(QTest::qWaitFor([&] { return LogText(dlg).endsWith("OK\n"); }, kWaitMs))
        << LogText(dlg).toStdString();
    EXPECT_TRUE(LogText(dlg).startsWith("AT+CGMR")) << LogText(dlg).toStdString();
    EXPECT_FALSE(LogText(dlg).contains(QChar(u'\r')));

    // The next run on the same link starts with an empty log.
    RunItem(rig, 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return LogText(dlg).contains("+CSQ:"); }, kWaitMs));
    ASSERT_TRUE(WaitForState(dlg, LinkView::Open));
    EXPECT_TRUE(LogText(dlg).startsWith("AT+CSQ")) << LogText(dlg).toStdString();
    EXPECT_FALSE(LogText(dlg).contains("CGMR")) << "each execute empties the log";

    rig.Press(kIdConnect);
    EXPECT_FALSE(dlg.LinkOpen());
    EXPECT_EQ(Caption(dlg), QStringLiteral("接続"));
    EXPECT_EQ(Enables(dlg), ExpectedEnables(LinkView::Closed));
    EXPECT_FALSE(LogText(dlg).isEmpty()) << "a disconnect keeps the log";

    rig.Press(kIdConnect);
    ASSERT_TRUE(dlg.LinkOpen());
    EXPECT_EQ(Enables(dlg), ExpectedEnables(LinkView::Open));
    EXPECT_TRUE(LogText(dlg).isEmpty()) << "every connect empties the log";
    EXPECT_TRUE(dlg.Log().Snapshot().empty());

    // The reopened link runs items as before.
    RunItem(rig, 1);
    ASSERT_TRUE(WaitForState(dlg, LinkView::Running));
    ASSERT_TRUE(WaitForState(dlg, LinkView::Open));
    EXPECT_TRUE(LogText(dlg).endsWith("OK\n"));
}

// Presses connect on a port that will not open (COM`n`, or no entry when n is 0): one "COM
// error." box, modal to the window with the application title, and nothing else changes.
void ExpectComError(DialogRig& rig, int n) {
    CModemTestDlg& dlg = *rig.dlg;
    dlg.Log().Append("kept\r\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return LogText(dlg) == "kept\n"; }, kWaitMs));
    As<QComboBox>(dlg, kIdComPort)->setCurrentIndex(n - 1);
    rig.Press(kIdConnect);

    const QList<QMessageBox*> boxes = OpenBoxes(dlg);
    ASSERT_EQ(boxes.size(), 1);
    QMessageBox* box = boxes.front();
    EXPECT_EQ(box->text(), QStringLiteral("COM error."));
    EXPECT_EQ(box->windowTitle(), ApplicationTitle());
    EXPECT_EQ(box->windowTitle(), QStringLiteral("karvex_window_test"));
    EXPECT_EQ(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    EXPECT_EQ(box->parentWidget(), &dlg);

    EXPECT_FALSE(dlg.LinkOpen());
    EXPECT_EQ(Caption(dlg), QStringLiteral("接続"));
    EXPECT_EQ(Enables(dlg), ExpectedEnables(LinkView::Closed));
    EXPECT_EQ(LogText(dlg), QStringLiteral("kept\n"));
    CloseBoxes(dlg);
    EXPECT_TRUE(OpenBoxes(dlg).isEmpty());
    dlg.Log().Clear();
}

TEST(ComError, MissingDeviceAndNoSelection) {
    // COM99 has no dosdevices link beside the test and no /dev/ttyS98.
    if (QFileInfo::exists("/dev/ttyS98") ||
        QFileInfo::exists(QString::fromStdString(ExecutableDir() + "/dosdevices/com99"))) {
        GTEST_SKIP() << "COM99 exists on this machine";
    }
    DialogRig rig;
    ExpectComError(rig, 99);
    // No entry selected: the bare "\\.\" prefix does not open either.
    ExpectComError(rig, 0);
}

TEST(ComError, DeviceHeldByAnotherProgram) {
    BoardAt at(12);
    SerialPort other;
    ASSERT_TRUE(other.Open("\\\\.\\COM12", 115200));
    DialogRig rig;
    ExpectComError(rig, 12);

    // Once the other holder lets go, the same press connects.
    other.Close();
    rig.Press(kIdConnect);
    EXPECT_TRUE(rig.dlg->LinkOpen());
    EXPECT_TRUE(OpenBoxes(*rig.dlg).isEmpty());
}

TEST(LinkStates, DisconnectDuringARunStopsItAndStaysClosed) {
    BoardAt at(13);
    at.board.SetBehaviour("AT+CGMR", Silent());  // the run waits out its 5 s time-out
    DialogRig rig;
    CModemTestDlg& dlg = *rig.dlg;
    rig.ConnectTo(13);
    ASSERT_TRUE(dlg.LinkOpen());
    RunItem(rig, 1);
    ASSERT_TRUE(WaitForState(dlg, LinkView::Running));
    ASSERT_TRUE(at.board.WaitForReceived("AT+CGMR\r", 2s));

    QElapsedTimer timer;
    timer.start();
    rig.Press(kIdConnect);
    const qint64 pressMs = timer.elapsed();
    EXPECT_EQ(Caption(dlg), QStringLiteral("接続"));
    EXPECT_FALSE(dlg.LinkOpen());
    EXPECT_FALSE(dlg.Session().Running()) << "the sequence has stopped when the press returns";
    EXPECT_LT(pressMs, 1000) << "the disconnect does not wait out the step's time-out";
    EXPECT_EQ(Enables(dlg), ExpectedEnables(LinkView::Closed));

    // Whatever the ended run reported on its way out must not reopen the inputs: the span
    // measured, with the event loop running so that anything queued is delivered.
    QTest::qWait(300);
    EXPECT_EQ(Enables(dlg), ExpectedEnables(LinkView::Closed));
    EXPECT_FALSE(LogText(dlg).contains("...timeout..."));
    EXPECT_EQ(at.board.Commands().size(), 1u);
}

TEST(LinkStates, WorkerEnablesApplyOnlyWhileTheLinkIsOpen) {
    BoardAt at(17);
    DialogRig rig;
    CModemTestDlg& dlg = *rig.dlg;
    auto fromWorker = [&](bool enable) {
        std::thread worker([&] { dlg.Panel().EnableInputs(enable); });
        worker.join();
        QCoreApplication::processEvents();
    };
    fromWorker(true);
    EXPECT_EQ(Enables(dlg), ExpectedEnables(LinkView::Closed)) << "closed link: ignored";
    fromWorker(false);
    EXPECT_EQ(Enables(dlg), ExpectedEnables(LinkView::Closed)) << "the radios stay enabled";

    rig.ConnectTo(17);
    ASSERT_TRUE(dlg.LinkOpen());
    fromWorker(false);
    EXPECT_EQ(Enables(dlg), ExpectedEnables(LinkView::Running));
    fromWorker(true);
    EXPECT_EQ(Enables(dlg), ExpectedEnables(LinkView::Open));

    // A request made before a disconnect and delivered after a reconnect belongs to the old
    // link: it must not disable the new link's idle controls.
    std::thread stale([&] { dlg.Panel().EnableInputs(false); });
    stale.join();
    rig.Press(kIdConnect);  // disconnect
    rig.Press(kIdConnect);  // connect again
    ASSERT_TRUE(dlg.LinkOpen());
    QCoreApplication::processEvents();
    EXPECT_EQ(Enables(dlg), ExpectedEnables(LinkView::Open));
}

TEST(LinkStates, OperatorMessageFromASequence) {
    BoardAt at(15);
    DialogRig rig;
    CModemTestDlg& dlg = *rig.dlg;
    rig.ConnectTo(15);
    ASSERT_TRUE(dlg.LinkOpen());
    RunItem(rig, 0);  // the APN field is empty
    ASSERT_TRUE(QTest::qWaitFor([&] { return !OpenBoxes(dlg).isEmpty(); }, kWaitMs));
    const QList<QMessageBox*> boxes = OpenBoxes(dlg);
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes.front()->text(), QStringLiteral("APN設定は必須です。"));
    EXPECT_EQ(boxes.front()->windowTitle(), ApplicationTitle());
    EXPECT_EQ(boxes.front()->windowModality(), Qt::WindowModal);
    EXPECT_EQ(QApplication::activeModalWidget(), boxes.front());
    // Nothing was sent and the link is still open and idle.
    dlg.Session().WaitIdle();
    QCoreApplication::processEvents();
    EXPECT_EQ(Enables(dlg), ExpectedEnables(LinkView::Open));
    EXPECT_TRUE(at.board.Commands().empty());
    CloseBoxes(dlg);

    // A field the item cannot send as shown: the message names it; nothing goes out.
    struct Case {
        int item, field;
        const char *text, *message;
    };
    for (const Case& c :
         {Case{0, kIdApn, "internet\"\rAT+CFUN=4\rAT", "APNに制御文字は使えません。"},
          Case{9, kIdPassword, "pé", "パスワードに送信できない文字があります。"}}) {
        As<QLineEdit>(dlg, c.field)->setText(QString::fromUtf8(c.text));
        RunItem(rig, c.item);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !OpenBoxes(dlg).isEmpty(); }, kWaitMs));
        EXPECT_EQ(OpenBoxes(dlg).front()->text(), QString::fromUtf8(c.message));
        CloseBoxes(dlg);
        dlg.Session().WaitIdle();
    }
    EXPECT_TRUE(at.board.Commands().empty());
}

TEST(Closing, DuringARunJoinsEverythingQuickly) {
    BoardAt at(14);
    at.board.SetBehaviour("AT+CGMR", Silent());
    QTemporaryDir dir;
    const QString ini = dir.filePath("karvex.ini");
    DialogRig rig(ini);
    rig.ConnectTo(14);
    ASSERT_TRUE(rig.dlg->LinkOpen());
    RunItem(rig, 1);
    ASSERT_TRUE(WaitForState(*rig.dlg, LinkView::Running));

    QElapsedTimer timer;
    timer.start();
    rig.dlg->close();  // a close request, as from the title bar
    EXPECT_FALSE(rig.dlg->isVisible());
    rig.dlg.reset();
    const qint64 ms = timer.elapsed();
    EXPECT_LT(ms, 1000) << "closing with a run in progress took " << ms << " ms";
    EXPECT_TRUE(QFileInfo::exists(ini)) << "a close request saves the settings";

    // The port has been released: another opener gets it at once.
    SerialPort again;
    EXPECT_TRUE(again.Open("\\\\.\\COM14", 115200));
}

// Ended from outside, the window releases the port and its lock file (the signals' default
// action would leave the lock behind), also while the log's file dialog runs its own loop.
TEST(Closing, ASignalFromOutsideReleasesThePortAndItsLock) {
    BoardAt at(18);
    const QString lock = QString::fromStdString(
        LockDirectory() + "/" + LockFileName(ResolveDevicePath("\\\\.\\COM18", ExecutableDir())));
    for (const auto& [signal, inFileDialog] :
         {std::pair(SIGTERM, false), std::pair(SIGHUP, true)}) {
        SCOPED_TRACE(signal);
        DialogRig rig;
        rig.ConnectTo(18);
        ASSERT_TRUE(QFileInfo::exists(lock));
        const StopSignals stop([&] { rig.dlg->OnStopSignal(); });
        QTimer::singleShot(0, rig.dlg.get(), [s = signal] { raise(s); });
        bool leftOpen = false;  // a dialog left open fails the test rather than hang it
        QTimer::singleShot(kWaitMs, rig.dlg.get(), [&] {
            if (QWidget* open = QApplication::activeModalWidget()) leftOpen = open->close();
        });
        if (inFileDialog) rig.dlg->LogContextMenu().Save();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !rig.dlg->isVisible(); }, kWaitMs));
        EXPECT_FALSE(QFileInfo::exists(lock));
        EXPECT_FALSE(leftOpen);
    }
}

}  // namespace
}  // namespace karvex::wt
