// A save that is cut short (the process killed, the disk full) leaves the old file whole.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>

#include "settings_test_util.h"
#include "window/settings_file.h"

namespace karvex {
namespace {

using testing::OtherEntries;
using testing::ReadBytes;

Settings Filled(bool tolva2, long port, char fill, int length) {
    Settings s;
    s.tolva2 = tolva2;
    s.port = port;
    s.apn = QString(length, QChar::fromLatin1(fill));
    s.user = s.apn;
    s.password = s.apn;
    s.phone = s.apn;
    return s;
}

// Writes `values` to a scratch file and returns its bytes: what a whole save produces.
QByteArray Expected(const Settings& values) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x.ini"));
    EXPECT_TRUE(SaveSettings(path, values));
    return ReadBytes(path);
}

// Waits for `pid` and returns its exit code, or -signal when a signal ended it.
int Reap(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

TEST(SaveCrashTest, KillAtRandomMomentsLeavesOldOrNewFileWhole) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("karvex.ini"));
    // Contents of different lengths, so that a mixture or a cut-off file cannot pass for either.
    const Settings a = Filled(false, 1, 'a', 4000);
    const Settings b = Filled(true, 2, 'b', 9000);
    const QByteArray bytesA = Expected(a);
    const QByteArray bytesB = Expected(b);
    ASSERT_TRUE(SaveSettings(path, a));

    // How long one save takes here, so that the kills land before, inside and between saves.
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(SaveSettings(path, i % 2 ? a : b));
    }
    const auto perSave = (std::chrono::steady_clock::now() - start) / 10;
    const long maxDelayUs = std::clamp<long>(
        std::chrono::duration_cast<std::chrono::microseconds>(perSave).count() * 3, 500, 20000);

    std::mt19937 random(12345);
    std::uniform_int_distribution<long> delay(0, maxDelayUs);
    int seenA = 0;
    int seenB = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    int rounds = 0;
    for (; rounds < 300 && std::chrono::steady_clock::now() < deadline; ++rounds) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(ready[0]);
            for (unsigned i = 0;; ++i) {
                SaveSettings(path, i % 2 ? a : b);
                if (i == 0) {
                    // Start-up time varies a lot (sanitizers), so the kill is timed from here.
                    (void)!::write(ready[1], "r", 1);
                    ::close(ready[1]);
                }
            }
        }
        ::close(ready[1]);
        char byte = 0;
        const bool started = ::read(ready[0], &byte, 1) == 1;
        ::close(ready[0]);
        ::usleep(static_cast<useconds_t>(delay(random)));
        ::kill(child, SIGKILL);
        ASSERT_EQ(Reap(child), -SIGKILL);
        ASSERT_TRUE(started) << "the saving child ended before its first save";

        const QByteArray now = ReadBytes(path);
        ASSERT_TRUE(now == bytesA || now == bytesB)
            << "round " << rounds << ": " << now.size() << " bytes, neither old nor new";
        (now == bytesA ? seenA : seenB)++;
    }
    // Both contents turned up, so the kills did land while saves were going on.
    EXPECT_GT(seenA, 0);
    EXPECT_GT(seenB, 0);
    Settings loaded;
    EXPECT_EQ(LoadSettings(path, loaded), 0);
    std::printf("%d rounds, old/new seen %d/%d, %lld temporary files left by kills\n", rounds,
                seenA, seenB, static_cast<long long>(OtherEntries(dir, "karvex.ini").size()));
}

TEST(SaveCrashTest, FullDiskKeepsOldFileAndLeavesNoTemporaryFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("karvex.ini"));
    const Settings old = Filled(false, 7, 'o', 10);
    ASSERT_TRUE(SaveSettings(path, old));
    const QByteArray oldBytes = ReadBytes(path);

    // The file size limit stands in for a full disk: writes past it fail (EFBIG), as with ENOSPC.
    for (const rlim_t limit : {rlim_t{0}, rlim_t{20}, rlim_t{4096}}) {
        SCOPED_TRACE(limit);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit rl{limit, limit};
            ::setrlimit(RLIMIT_FSIZE, &rl);
            const bool saved = SaveSettings(path, Filled(true, 3, 'n', 5000));
            ::_exit(saved ? 1 : 0);
        }
        EXPECT_EQ(Reap(child), 0) << "the save reported success";
        EXPECT_EQ(ReadBytes(path), oldBytes);
        EXPECT_TRUE(OtherEntries(dir, QStringLiteral("karvex.ini")).isEmpty());
    }
}

}  // namespace
}  // namespace karvex
