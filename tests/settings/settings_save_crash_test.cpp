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
    s.apn = std::string(static_cast<size_t>(length), fill);
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
    // Save number i of a child writes contents[i % 2].
    const Settings contents[2] = {Filled(true, 2, 'b', 9000), Filled(false, 1, 'a', 4000)};
    const QByteArray bytes[2] = {Expected(contents[0]), Expected(contents[1])};
    ASSERT_TRUE(SaveSettings(path, contents[1]));

    std::mt19937 random(12345);
    // The delay range adapts to how fast the children save here (sanitizers, a loaded machine),
    // so that the kills keep landing before, inside and between saves.
    long maxDelayUs = 5000;
    int seen[2] = {0, 0};
    int midRun = 0;  // kills after at least one save that overwrote another child's file
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    int rounds = 0;
    for (; rounds < 300 && (rounds < 10 || std::chrono::steady_clock::now() < deadline); ++rounds) {
        int done[2];
        ASSERT_EQ(::pipe(done), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(done[0]);
            for (unsigned i = 0;; ++i) {
                SaveSettings(path, contents[i % 2]);
                (void)!::write(done[1], "s", 1);  // one byte per finished save
            }
        }
        ::close(done[1]);
        // Start-up time varies a lot, so the delay is timed from the first finished save.
        char buffer[4096];
        ssize_t n = ::read(done[0], buffer, 1);
        ASSERT_EQ(n, 1) << "the saving child ended before its first save";
        ::usleep(
            static_cast<useconds_t>(std::uniform_int_distribution<long>(0, maxDelayUs)(random)));
        ::kill(child, SIGKILL);
        ASSERT_EQ(Reap(child), -SIGKILL);
        long finished = 1;
        while ((n = ::read(done[0], buffer, sizeof buffer)) > 0) {
            finished += n;
        }
        ::close(done[0]);

        // The file is the last finished save's, or the next one's when the kill came after its
        // rename but before it was counted; never anything else.
        const QByteArray now = ReadBytes(path);
        const int last = static_cast<int>((finished - 1) % 2);
        ASSERT_TRUE(now == bytes[last] || now == bytes[1 - last])
            << "round " << rounds << ": " << now.size() << " bytes, neither old nor new";
        ++seen[now == bytes[0] ? 0 : 1];
        if (finished >= 2) {
            ++midRun;
        }
        if (finished < 3) {
            maxDelayUs = std::min(maxDelayUs * 2, 200000L);
        } else if (finished > 6) {
            maxDelayUs = std::max(maxDelayUs / 2, 500L);
        }
    }
    EXPECT_GT(midRun, 0);
    EXPECT_GT(seen[0], 0);
    EXPECT_GT(seen[1], 0);
    Settings loaded;
    EXPECT_EQ(LoadSettings(path, loaded), 0);
    std::printf(
        "%d rounds (%d after a second save), contents seen %d/%d, %lld temporary files "
        "left by kills\n",
        rounds, midRun, seen[0], seen[1],
        static_cast<long long>(OtherEntries(dir, "karvex.ini").size()));
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
