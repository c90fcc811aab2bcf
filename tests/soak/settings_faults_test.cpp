// The settings file when the disk lets the operator down: a directory that cannot be written, and
// a disk that fills up during the save. The real window runs in a child process (offscreen), so
// that the child alone gives up its privileges or gets a file size limit; the operator closes it
// with a close request, which saves. The window must close as usual with no message, and the old
// file must stay whole, with no temporary file left beside it.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>

#include "resources/main_dialog.h"
#include "window/modem_test_dlg.h"
#include "window/settings_file.h"

namespace karvex::soak {
namespace {

constexpr uid_t kNobody = 65534;
const QByteArray kOldFile = "1\r\n7\r\nold-apn\r\nold-user\r\nold-pass\r\n0311112222\r\n";

// Child exit codes.
enum : int { kClosedQuietly = 0, kStillVisible = 2, kMessageShown = 3, kSetupFailed = 4 };

// Runs the window in a child: `prepare` sets up the child's limits, then the window loads
// `settings`, the operator types a new APN and closes it.
int CloseWindowInChild(const QString& settings, const std::function<bool()>& prepare) {
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) return -1;
    if (child == 0) {
        if (!prepare()) ::_exit(kSetupFailed);
        int argc = 1;
        char name[] = "settings_faults_test";
        char* argv[] = {name, nullptr};
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        int code = kClosedQuietly;
        {
            CModemTestDlg::Options options;
            options.settingsPath = settings;
            CModemTestDlg dlg(options);
            dlg.show();
            qobject_cast<QLineEdit*>(dlg.Control(res::kIdApn))->setText("new-apn");
            dlg.close();  // a close request, as from the title bar: it saves
            QCoreApplication::processEvents();
            if (dlg.isVisible()) code = kStillVisible;
            if (!dlg.findChildren<QMessageBox*>().isEmpty()) code = kMessageShown;
        }
        ::_exit(code);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList Entries(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

TEST(SettingsFaults, ReadOnlyDirectoryKeepsTheOldFileAndTheWindowCloses) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString dir = tmp.filePath("readonly");
    ASSERT_TRUE(QDir().mkdir(dir));
    const QString ini = dir + "/karvex.ini";
    ASSERT_TRUE(Write(ini, kOldFile));
    // Read and enter, but not write; root ignores the mode, so as root the child becomes nobody.
    ASSERT_EQ(::chmod(QFile::encodeName(tmp.path()).constData(), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(dir).constData(), 0555), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(ini).constData(), 0644), 0);

    const int code = CloseWindowInChild(ini, [] {
        if (::geteuid() != 0) return true;
        return ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0 && ::geteuid() == kNobody;
    });
    ::chmod(QFile::encodeName(dir).constData(), 0755);

    EXPECT_EQ(code, kClosedQuietly);
    EXPECT_EQ(Read(ini), kOldFile);
    EXPECT_EQ(Entries(dir), QStringList{"karvex.ini"});
}

TEST(SettingsFaults, DiskFullDuringTheSaveKeepsTheOldFileWhole) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString ini = tmp.filePath("karvex.ini");
    // The file size limit stands in for a full disk: a write past it fails (EFBIG, as ENOSPC).
    for (const rlim_t limit : {rlim_t{0}, rlim_t{10}, rlim_t{40}}) {
        SCOPED_TRACE(limit);
        ASSERT_TRUE(Write(ini, kOldFile));
        const int code = CloseWindowInChild(ini, [limit] {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit rl{limit, limit};
            return ::setrlimit(RLIMIT_FSIZE, &rl) == 0;
        });
        EXPECT_EQ(code, kClosedQuietly);
        EXPECT_EQ(Read(ini), kOldFile);
        EXPECT_EQ(Entries(tmp.path()), QStringList{"karvex.ini"}) << "no temporary file left";
    }
}

}  // namespace
}  // namespace karvex::soak
