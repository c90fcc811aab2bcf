// The log's context menu and Ctrl+S in the real window: the saved file holds the log's bytes
// exactly, under the suggested name; a failed save shows its reason and changes nothing; copy and
// select all act on the view as an edit control does.
#include <sys/resource.h>
#include <sys/stat.h>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QRegularExpression>
#include <csignal>

#include "tests/window/window_rig.h"
#include "window/log_menu.h"
#include "window/modem_test_app.h"

namespace karvex::wt {
namespace {

// Traffic as the board and the runner leave it: CR LF, an echo's lone CR, CP932 text, noise.
const std::string kTraffic = std::string("AT+CGMR\r\r\nR5.5\r\n\r\nOK\r\nｱﾌﾟ\x82\xA0\r\n") +
                             std::string("\x1A\xFF\0x\n\n\n", 7) + "...timeout...\r\n";

struct SaveRig : DialogRig {
    SaveRig() {
        EXPECT_TRUE(dir.isValid());
        dlg->Log().Append(kTraffic);
        EXPECT_TRUE(QTest::qWaitFor([this] { return !LogText(*dlg).isEmpty(); }));
        dlg->LogContextMenu().SetChooseFile([this](QWidget& window, const QString& suggested) {
            EXPECT_EQ(&window, dlg.get());
            offered.append(suggested);
            return answer;
        });
    }
    LogWidget* Edit() const { return &LogView(*dlg); }
    void PressCtrlS() {
        Edit()->setFocus();
        QTest::keyClick(Edit(), Qt::Key_S, Qt::ControlModifier);
    }
    QByteArray Read(const QString& path) const {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
        return file.readAll();
    }
    QStringList Entries() const {
        return QDir(dir.path())
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    }

    QTemporaryDir dir;
    QString answer;
    QStringList offered;
};

TEST(LogSave, CtrlSWritesTheLogsBytesUnderTheSuggestedName) {
    SaveRig rig;
    As<QComboBox>(*rig.dlg, kIdComPort)->setCurrentIndex(2);
    rig.answer = rig.dir.filePath(QStringLiteral("traffic.log"));
    const QString shown = LogText(*rig.dlg);
    // The stamp has whole seconds, and time() reads a clock that may lag this one by a tick.
    const QDateTime before = QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch() - 1);
    rig.PressCtrlS();
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);

    ASSERT_EQ(rig.offered.size(), 1);
    const QRegularExpression name(QStringLiteral("^karvex-COM3-(\\d{8}-\\d{6})\\.log$"));
    const auto match = name.match(QFileInfo(rig.offered[0]).fileName());
    ASSERT_TRUE(match.hasMatch()) << rig.offered[0].toStdString();
    const QDateTime stamp =
        QDateTime::fromString(match.captured(1), QStringLiteral("yyyyMMdd-HHmmss"));
    EXPECT_TRUE(stamp >= before && stamp <= after) << match.captured(1).toStdString();
    EXPECT_EQ(QFileInfo(rig.offered[0]).absolutePath(), QDir::homePath());

    EXPECT_EQ(rig.Read(rig.answer), QByteArray::fromStdString(kTraffic));
    struct stat st {};
    ASSERT_EQ(stat(QFile::encodeName(rig.answer).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);  // the log may hold the password item 0 sends
    EXPECT_EQ(rig.Entries(), QStringList{QStringLiteral("traffic.log")});  // no temporary left
    EXPECT_TRUE(OpenBoxes(*rig.dlg).isEmpty());
    EXPECT_EQ(rig.dlg->Log().Snapshot(), kTraffic);  // the log and its view are untouched
    EXPECT_EQ(LogText(*rig.dlg), shown);

    // The next save starts where this one went, and replaces a file in place; with no port
    // selected the name has no port part. The log is now a night's worth of blocks: all of it.
    As<QComboBox>(*rig.dlg, kIdComPort)->setCurrentIndex(-1);
    std::string more;
    while (more.size() < 3 * TrafficLog::kBlockBytes)
        more += "$GPGGA," + std::to_string(more.size()) + "\r\n";
    rig.dlg->Log().Append(more);
    rig.PressCtrlS();
    ASSERT_EQ(rig.offered.size(), 2);
    EXPECT_EQ(QFileInfo(rig.offered[1]).absolutePath(), QFileInfo(rig.answer).absolutePath());
    EXPECT_TRUE(QFileInfo(rig.offered[1])
                    .fileName()
                    .contains(QRegularExpression(QStringLiteral("^karvex-\\d{8}-\\d{6}\\.log$"))));
    EXPECT_EQ(rig.Read(rig.answer), QByteArray::fromStdString(kTraffic + more));
}

TEST(LogSave, FailuresShowTheReasonAndChangeNothing) {
    enum class Fault { NoFolder, Folder, FileTooLarge, Cancelled };
    const struct {
        const char* name;
        Fault fault;
        const char* reason;  // empty: no message at all
    } cases[] = {
        {"folder missing", Fault::NoFolder, "No such file or directory"},
        {"a folder at the name", Fault::Folder, "Is a directory"},
        {"disk full while writing", Fault::FileTooLarge, "File too large"},
        {"file dialog cancelled", Fault::Cancelled, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SaveRig rig;
        const QString old = rig.dir.filePath(QStringLiteral("old.log"));
        {
            QFile file(old);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("old\r\n");
        }
        switch (c.fault) {
            case Fault::NoFolder:
                rig.answer = rig.dir.filePath(QStringLiteral("gone/x.log"));
                break;
            case Fault::Folder:
                rig.answer = rig.dir.filePath(QStringLiteral("sub"));
                ASSERT_TRUE(QDir(rig.dir.path()).mkdir(QStringLiteral("sub")));
                break;
            case Fault::FileTooLarge:
                rig.answer = old;
                break;
            case Fault::Cancelled:
                rig.answer.clear();
                break;
        }
        // A file size limit makes the write fail part-way, as a full disk does.
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        if (c.fault == Fault::FileTooLarge) {
            rlimit small = saved;
            small.rlim_cur = 16;
            setrlimit(RLIMIT_FSIZE, &small);
        }
        const QStringList before = rig.Entries();
        rig.PressCtrlS();
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);

        EXPECT_EQ(rig.offered.size(), 1);
        EXPECT_EQ(rig.Read(old), QByteArray("old\r\n"));
        EXPECT_EQ(rig.Entries(), before);
        EXPECT_EQ(rig.dlg->Log().Snapshot(), kTraffic);
        const QList<QMessageBox*> boxes = OpenBoxes(*rig.dlg);
        if (c.reason[0] == '\0') {
            EXPECT_TRUE(boxes.isEmpty());
            continue;
        }
        ASSERT_EQ(boxes.size(), 1);
        EXPECT_TRUE(boxes[0]->text().startsWith(QStringLiteral("ログを保存できませんでした。\n")));
        EXPECT_TRUE(boxes[0]->text().endsWith(QString::fromUtf8(c.reason)))
            << boxes[0]->text().toStdString();
        EXPECT_EQ(boxes[0]->windowTitle(), ApplicationTitle());
        CloseBoxes(*rig.dlg);
    }
}

TEST(LogMenu, CopyAndSelectAllActLikeAnEditControl) {
    SaveRig rig;
    rig.answer.clear();
    auto captions = [](QMenu& menu) {
        QStringList out;
        for (QAction* a : menu.actions()) out.append(a->isSeparator() ? QString("-") : a->text());
        return out;
    };
    std::unique_ptr<QMenu> menu(rig.dlg->LogContextMenu().CreateMenu());
    EXPECT_EQ(captions(*menu), (QStringList{QStringLiteral("コピー"), QStringLiteral("すべて選択"),
                                            QStringLiteral("-"), QStringLiteral("ログを保存…")}));
    EXPECT_FALSE(menu->actions()[0]->isEnabled());  // nothing selected
    menu->actions()[1]->trigger();
    EXPECT_EQ(rig.Edit()->SelectedText(), rig.Edit()->Text());

    menu.reset(rig.dlg->LogContextMenu().CreateMenu());
    ASSERT_TRUE(menu->actions()[0]->isEnabled());
    QApplication::clipboard()->clear();
    menu->actions()[0]->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), rig.Edit()->Text());
    menu->actions()[3]->trigger();
    EXPECT_EQ(rig.offered.size(), 1);

    // A right click (or the menu key) on the log opens the same menu.
    const QPoint at(10, 10);
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, rig.Edit()->viewport()->mapToGlobal(at));
    QApplication::sendEvent(rig.Edit()->viewport(), &click);
    QMenu* popup = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* m = qobject_cast<QMenu*>(w); m != nullptr && m->isVisible()) popup = m;
    }
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(captions(*popup).size(), 4);
    popup->close();
}

}  // namespace
}  // namespace karvex::wt
