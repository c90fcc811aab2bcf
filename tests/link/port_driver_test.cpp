// The serial port against drivers that behave otherwise than a pty: one that keeps other
// settings than asked for, a receive queue emptied between the wait and the read, another program
// or a re-plug between the lock's steps. The binary is linked with poll, tcsetattr and kill
// wrapped, so a test can step in where the driver (or another program) acts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "link/port_lock.h"
#include "link/serial_port.h"
#include "support/lock_dir.h"
#include "support/pty_pair.h"

namespace {
// Set by a test; runs in the port's own thread at the point named.
std::function<void(termios&)> g_driverKeeps;  // alters what tcsetattr hands to the driver
std::function<void()> g_afterPoll;            // runs once after a poll that saw the port readable
std::atomic<int> g_failTcsetattr{0};
std::function<void()> g_between;  // runs once at the next kill(), the lock's liveness check
}  // namespace

extern "C" {
int __real_tcsetattr(int fd, int action, const termios* tio);
int __wrap_tcsetattr(int fd, int action, const termios* tio) {
    if (g_failTcsetattr.load()) {
        errno = EINVAL;
        return -1;
    }
    termios kept = *tio;
    if (g_driverKeeps) g_driverKeeps(kept);
    return __real_tcsetattr(fd, action, &kept);
}

int __real_poll(pollfd* fds, nfds_t n, int timeout);
int __wrap_poll(pollfd* fds, nfds_t n, int timeout) {
    const int r = __real_poll(fds, n, timeout);
    if (r > 0 && (fds[0].revents & POLLIN) && g_afterPoll) {
        auto hook = std::move(g_afterPoll);
        g_afterPoll = nullptr;
        hook();
    }
    return r;
}

int __real_kill(pid_t pid, int sig);
int __wrap_kill(pid_t pid, int sig) {
    if (auto hook = std::exchange(g_between, nullptr)) hook();
    return __real_kill(pid, sig);
}
}

namespace karvex {
namespace {

namespace fs = std::filesystem;
using karvex::testing::PtyPair;

class PortDriverTest : public ::testing::Test {
  protected:
    void TearDown() override {
        g_driverKeeps = nullptr;
        g_afterPoll = nullptr;
        g_failTcsetattr = 0;
    }
    karvex::testing::ScopedLockDir locks_;
    const fs::path& lockDir_ = locks_.Path();
};

int ExclusiveFlag(int fd) {
    int exclusive = -1;
    return ioctl(fd, TIOCGEXCL, &exclusive) == 0 ? exclusive : -1;
}

TEST_F(PortDriverTest, AnOpenThatFailsAfterTakingThePortLeavesItAsItWas) {
    struct Case {
        const char* what;
        uint32_t baud;
        std::function<void(termios&)> keeps;
        bool tcsetattrFails;
    };
    const Case cases[] = {
        {"unsupported speed", 12345, nullptr, false},
        {"settings refused", 115200, nullptr, true},
        {"driver keeps 9600 baud", 115200, [](termios& t) { cfsetspeed(&t, B9600); }, false},
        // (A pty forces 8 bits without parity itself, so those cannot be kept wrong here.)
        {"driver keeps two stop bits", 115200, [](termios& t) { t.c_cflag |= CSTOPB; }, false},
        {"driver keeps XON/XOFF", 115200, [](termios& t) { t.c_iflag |= IXON; }, false},
        {"driver keeps echo", 115200, [](termios& t) { t.c_lflag |= ECHO; }, false},
    };
    for (const Case& c : cases) {
        PtyPair pty;
        g_driverKeeps = c.keeps;
        g_failTcsetattr = c.tcsetattrFails ? 1 : 0;
        SerialPort port;
        EXPECT_FALSE(port.Open(pty.Path(), c.baud)) << c.what;
        EXPECT_EQ(ExclusiveFlag(pty.Slave()), 0) << c.what;
        EXPECT_TRUE(fs::is_empty(lockDir_)) << c.what;
        g_driverKeeps = nullptr;
        g_failTcsetattr = 0;
        EXPECT_TRUE(port.Open(pty.Path(), 115200)) << c.what;  // nothing held it meanwhile
        EXPECT_EQ(ExclusiveFlag(pty.Slave()), 1) << c.what;
    }
}

TEST_F(PortDriverTest, WhatHappensBetweenTheLocksStepsNeverGivesUsAPortThatIsNotOurs) {
    PtyPair pty, replugged;
    const fs::path byId = lockDir_ / "usb-Maker_Board_0001-if00-port0";
    const fs::path lock = lockDir_ / LockFileName(pty.Path());
    PortLock other;
    // Each time we have found a stale lock (a PID above the kernel's limit) and judge it:
    const struct {
        const char* what;
        std::function<void()> meddle;
        bool otherHolds;
    } cases[] = {
        {"another program removes the same stale lock first and takes the port",
         [&] { other.Acquire(pty.Path()); }, true},
        {"the adapter is re-plugged: its by-id link now names another device",
         [&] { fs::remove(byId), fs::create_symlink(replugged.Path(), byId); }, false},
    };
    for (const auto& c : cases) {
        fs::remove(byId);
        fs::create_symlink(pty.Path(), byId);
        std::ofstream(lock) << "  99999999\n";
        g_between = c.meddle;
        SerialPort port;
        EXPECT_FALSE(port.Open(byId.string(), 115200)) << c.what;
        EXPECT_FALSE(g_between) << c.what << ": never came";
        EXPECT_EQ(fs::exists(lock), c.otherHolds) << c.what;
        other.Release();
    }
}

TEST_F(PortDriverTest, AQueueEmptiedBetweenWaitAndReadIsNoVanishedDevice) {
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.Path(), 115200));
    // The runner's purge on another thread at the worst moment: after the monitor's wait saw a
    // byte, before its read takes it.
    std::atomic<bool> emptied{false};
    g_afterPoll = [&] {
        tcflush(pty.Slave(), TCIFLUSH);
        emptied = true;
    };
    pty.Send("x");
    std::string got(4, '\0');
    std::thread board([&] {
        while (!emptied.load()) std::this_thread::yield();
        pty.Send("OK\r\n");
    });
    const auto start = std::chrono::steady_clock::now();
    const int n = port.Read(got.data(), 4);  // a 104 ms read
    board.join();
    ASSERT_TRUE(emptied.load());
    EXPECT_EQ(n, 4);
    EXPECT_EQ(got, "OK\r\n");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

}  // namespace
}  // namespace karvex
