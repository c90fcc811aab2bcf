// The UUCP lock file beside the port: a live owner, a lock still being written and one we cannot
// read keep us out, a stale lock is taken over, ours is there exactly while the port is open and
// goes even when we crash.
#include "link/port_lock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "link/serial_port.h"
#include "support/lock_dir.h"
#include "support/pty_pair.h"

namespace karvex {
namespace {

namespace fs = std::filesystem;
using karvex::testing::PtyPair;
using namespace std::chrono_literals;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

std::string PidText(long pid) {
    char text[16];
    std::snprintf(text, sizeof text, "%10ld\n", pid);
    return text;
}

// Whether another user (where we are root: root reads every file) takes the lock: 1 yes, 0 no.
int AcquiresAsAnotherUser(const std::string& device) {
    if (const pid_t child = fork(); child == 0) {
        _exit(getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)
                  ? 2
                  : PortLock().Acquire(device));
    } else {
        int status = 0;
        waitpid(child, &status, 0);
        return WEXITSTATUS(status);
    }
}

class PortLockTest : public ::testing::Test {
  protected:
    karvex::testing::ScopedLockDir locks_;
    const fs::path& dir_ = locks_.Path();
    PtyPair pty_;
    const fs::path lock_ = dir_ / LockFileName(pty_.Path());
};

TEST(LockFileName, NamesTheDeviceBelowDevAfterLinks) {
    PtyPair pty;
    const fs::path link = fs::temp_directory_path() / ("karvex-com-" + std::to_string(getpid()));
    fs::create_symlink(pty.Path(), link);
    std::string pts = pty.Path().substr(5);  // "pts/N"
    pts[3] = '_';
    struct Case {
        std::string device;
        std::string expected;
    };
    const Case cases[] = {
        {"/dev/ttyUSB0", "LCK..ttyUSB0"},  // no such device here: named as it stands
        {pty.Path(), "LCK.." + pts},
        {link.string(), "LCK.." + pts},  // a COM link or a by-id name locks its device
        {"/tmp/some/board", "LCK..board"},
    };
    for (const Case& c : cases) EXPECT_EQ(LockFileName(c.device), c.expected) << c.device;
    fs::remove(link);
}

TEST_F(PortLockTest, ALiveYoungOrUnreadableLockKeepsUsOutAndAStaleOneIsTakenOver) {
    std::ifstream pidMax("/proc/sys/kernel/pid_max");
    long maxPid = 0;
    pidMax >> maxPid;
    ASSERT_GT(maxPid, 1);
    struct Case {
        const char* what;
        std::string content;
        bool opens;
        std::chrono::seconds age{};  // since the lock was written
        bool readable = true;        // false: another user's 0600 lock
    };
    const Case cases[] = {
        {"live owner", PidText(getppid()), false},
        {"live owner, no padding", std::to_string(getppid()) + "\n", false},
        {"owner gone", PidText(maxPid), true},  // never handed out: pids stay below pid_max
        {"-1 when cut to a PID", "4294967295\n", true},  // kill(-1) reaches every process
        {"1 when cut to a PID", "4294967297\n", true},
        {"not a number, just written", "modem\n", false},
        {"not a number", "modem\n", true, 60s},
        {"empty, just written", "", false},
        {"empty", "", true, 60s},
        {"another user's, owner gone", PidText(maxPid), false, 60s, false},
    };
    fs::permissions(dir_, fs::perms::all | fs::perms::sticky_bit);  // as /run/lock is
    constexpr fs::perms kOwnerRw = fs::perms::owner_read | fs::perms::owner_write;
    for (const Case& c : cases) {
        WriteFile(lock_, c.content);
        fs::last_write_time(lock_, fs::file_time_type::clock::now() - c.age);
        if (!c.readable) fs::permissions(lock_, getuid() == 0 ? kOwnerRw : fs::perms::none);
        SerialPort port;
        EXPECT_EQ(c.readable ? port.Open(pty_.Path(), 115200) : AcquiresAsAnotherUser(pty_.Path()),
                  c.opens)
            << c.what;
        if (!c.readable) fs::permissions(lock_, kOwnerRw);
        if (c.opens) {
            EXPECT_EQ(ReadFile(lock_), PidText(getpid())) << c.what;
            port.Close();
            EXPECT_FALSE(fs::exists(lock_)) << c.what;
        } else {
            EXPECT_EQ(ReadFile(lock_), c.content) << c.what;  // someone else's lock stays
        }
        fs::remove(lock_);
    }
}

TEST_F(PortLockTest, OursIsThereWhileOpenAndAnotherProcessIsRefused) {
    // A file linked in the shared lock folder under a name the lock could be written through.
    WriteFile(dir_ / "planted", "secret");
    fs::create_hard_link(dir_ / "planted", lock_.string() + ".karvex." + std::to_string(getpid()));
    SerialPort port;
    ASSERT_TRUE(port.Open(pty_.Path(), 115200));
    EXPECT_EQ(ReadFile(dir_ / "planted"), "secret");
    EXPECT_EQ(ReadFile(lock_), PidText(getpid()));
    EXPECT_EQ(fs::status(lock_).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);
    // Another program that follows the convention: the lock alone stops it (flock and the
    // exclusive flag are ours, not its).
    const pid_t child = fork();
    if (child == 0) {
        PortLock other;
        _exit(other.Acquire(pty_.Path()) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(ReadFile(lock_), PidText(getpid()));
    port.Close();
    EXPECT_FALSE(fs::exists(lock_));
}

TEST_F(PortLockTest, TheLockOfACrashedRunIsStaleForTheNextStart) {
    const pid_t child = fork();
    if (child == 0) {
        SerialPort port;
        if (!port.Open(pty_.Path(), 115200)) _exit(1);
        raise(SIGKILL);  // no destructor, no close: as a crash leaves it
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_EQ(ReadFile(lock_), PidText(child));
    SerialPort port;
    EXPECT_TRUE(port.Open(pty_.Path(), 115200));
    EXPECT_EQ(ReadFile(lock_), PidText(getpid()));
}

TEST_F(PortLockTest, WithoutAWritableLockDirectoryThePortOpensWithoutALock) {
    setenv("KARVEX_LOCK_DIR", (dir_ / "missing").c_str(), 1);
    SerialPort port;
    EXPECT_TRUE(port.Open(pty_.Path(), 115200));
    EXPECT_TRUE(fs::is_empty(dir_));
}

}  // namespace
}  // namespace karvex
