// The serial port on a real pseudo-terminal: opening, exclusivity, time-outs, purge, writes, and
// everything after close or after the device vanished.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "link/serial_port.h"
#include "support/pty_pair.h"
#include "support/timing.h"

namespace karvex {
namespace {

using namespace std::chrono_literals;
using karvex::testing::Bound;
using karvex::testing::MsSince;
using karvex::testing::PtyPair;
using karvex::testing::SteadyClock;
using karvex::testing::WaitUntil;

// Returns how many bytes it took.
size_t FillOutputBuffer(const PtyPair& pty) {
    const int flags = fcntl(pty.Slave(), F_GETFL);
    fcntl(pty.Slave(), F_SETFL, flags | O_NONBLOCK);
    // Room comes back for a while as the kernel moves bytes on to the master's side: the buffer
    // is full once a pass after a pause writes nothing at all.
    size_t total = 0;
    for (bool wrote = true; wrote;) {
        wrote = false;
        char block[512] = {};
        for (ssize_t n; (n = ::write(pty.Slave(), block, sizeof block)) > 0;) {
            total += static_cast<size_t>(n);
            wrote = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return total;
}

// Bytes waiting in the port's receive queue, seen through the test's own descriptor.
int Waiting(const PtyPair& pty) {
    int n = -1;
    return ioctl(pty.Slave(), FIONREAD, &n) == 0 ? n : -1;
}

// True once `thread` is blocked in poll (or ppoll) inside the kernel.
bool BlockedInPoll(pid_t thread) {
    std::ifstream in("/proc/self/task/" + std::to_string(thread) + "/syscall");
    long number = -1;
    in >> number;
    return number == SYS_poll || number == SYS_ppoll;
}

TEST(DevicePath, ComNamesResolveBesideTheExecutable) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("karvex-dp-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir / "dosdevices");
    std::filesystem::create_symlink("/nonexistent/device", dir / "dosdevices" / "com7");
    std::filesystem::create_symlink("rfc2217://bench7:4001", dir / "dosdevices" / "com8");
    struct Case {
        std::string path;
        std::string expected;
    };
    const Case cases[] = {
        {"\\\\.\\COM7", (dir / "dosdevices" / "com7").string()},  // a dangling link still decides
        {"\\\\.\\COM8", "rfc2217://bench7:4001"},                 // a board on another machine
        {"\\\\.\\COM3", "/dev/ttyS2"},
        {"\\\\.\\COM99", "/dev/ttyS98"},
        {"\\\\.\\", ""},  // no entry selected
        {"\\\\.\\LPT1", ""},
        {"\\\\.\\COM", ""},
        {"/dev/pts/4", "/dev/pts/4"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ResolveDevicePath(c.path, dir.string()), c.expected) << c.path;
    }
    std::filesystem::remove_all(dir);
}

TEST(SerialPort, OpenFailsForMissingDevicesAndLeavesNothingOpen) {
    SerialPort port;
    for (const char* path :
         {"/dev/karvex-no-such-device", "\\\\.\\", "\\\\.\\COM99", "/etc/hostname"}) {
        EXPECT_FALSE(port.Open(path, 115200)) << path;  // /etc/hostname: not a tty
        EXPECT_FALSE(port.IsOpen());
        char c;
        EXPECT_EQ(port.Read(&c, 1), -1);
        EXPECT_EQ(port.Write("AT\r", 3), -1);
    }
}

TEST(SerialPort, SecondOpenerFailsEvenAsRootAndThePortIsFreeAfterClose) {
    if (geteuid() != 0) GTEST_SKIP() << "shows what holds against root: run as root";
    PtyPair pty;
    SerialPort first, second;
    ASSERT_TRUE(first.Open(pty.Path(), 115200));
    EXPECT_FALSE(second.Open(pty.Path(), 115200));
    first.Close();
    EXPECT_TRUE(second.Open(pty.Path(), 115200));  // the exclusive flag did not outlive the close
}

TEST(SerialPort, EmptyOneByteReadGivesUpAfterAbout101Ms) {
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.Path(), 115200));
    char c = 0;
    const auto start = SteadyClock::now();
    EXPECT_EQ(port.Read(&c, 1), 0);
    const auto ms = MsSince(start);
    EXPECT_GE(ms, 100);
    EXPECT_LT(ms, 400);
}

TEST(SerialPort, BytesPassUnchangedInBothDirections) {
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.Path(), 115200));
    const std::string out("TEST SMS 1\x1A\r\n\x11\x13\x7F\xFF", 16);
    EXPECT_EQ(port.Write(out.data(), static_cast<uint32_t>(out.size())), 16);
    EXPECT_EQ(pty.Receive(), out);

    const std::string in("\r\n\x00\x11\x13\x1A\xFFOK\r\n", 11);
    pty.Send(in);
    std::string got(in.size(), '\0');
    EXPECT_EQ(port.Read(got.data(), static_cast<uint32_t>(got.size())), 11);
    EXPECT_EQ(got, in);
}

TEST(SerialPort, AFreshUsbTtyBecomesRawWithoutSoftwareFlowControl) {
    PtyPair pty(karvex::testing::FreshUsbTtySettings());
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.Path(), 115200));
    termios got{};
    ASSERT_EQ(tcgetattr(pty.Slave(), &got), 0);
    EXPECT_EQ(got.c_iflag & (IXON | IXOFF | IXANY | ICRNL), 0u);
    EXPECT_EQ(got.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(got.c_oflag & OPOST, 0u);
    EXPECT_EQ(cfgetospeed(&got), static_cast<speed_t>(B115200));

    // An XOFF from the board is data: it must neither stop our output nor vanish.
    const std::string in("\x13+CSQ: 17,0\r\n\x11", 15);
    pty.Send(in);
    std::string got15(in.size(), '\0');
    EXPECT_EQ(port.Read(got15.data(), static_cast<uint32_t>(got15.size())), 15);
    EXPECT_EQ(got15, in);
    const std::string out("AT\x13\x11\r", 5);
    EXPECT_EQ(port.Write(out.data(), 5), 5);
    EXPECT_EQ(pty.Receive(), out);
}

TEST(SerialPort, CloseDropsWhatTheStalledLineHasNotTaken) {
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.Path(), 115200));
    const size_t queued = FillOutputBuffer(pty);
    port.Close();
    // Only what already sat in the board's own read buffer (4 KiB) may still arrive; the rest of
    // the queue was dropped rather than drained.
    const std::string arrived = pty.Receive(100ms);
    EXPECT_GT(queued, 16384u);
    EXPECT_LE(arrived.size(), 4096u);
}

TEST(SerialPort, PurgeDiscardsWhatWaitsAndReturnsAtOnceWhenEmpty) {
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.Path(), 115200));
    auto start = SteadyClock::now();
    port.Purge();
    EXPECT_LT(MsSince(start), Bound(20));

    pty.Send("\r\nstale\r\n");
    ASSERT_TRUE(WaitUntil([&] { return Waiting(pty) == 9; }));
    port.Purge();
    EXPECT_EQ(Waiting(pty), 0);
    pty.Send("X");
    char c = 0;
    EXPECT_EQ(port.Read(&c, 1), 1);
    EXPECT_EQ(c, 'X');
}

TEST(SerialPort, PurgeEndsUnderANeverEndingStream) {
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.Path(), 115200));
    std::atomic<bool> stop{false};
    // The flood must not block once the purge has stopped draining the device.
    fcntl(pty.Master(), F_SETFL, fcntl(pty.Master(), F_GETFL) | O_NONBLOCK);
    std::thread flood([&] {
        const std::string sentence =
            "$GPGGA,000000.00,3540.000,N,13945.000,E,1,08,1.0,40.0,M,,,,*00\r\n";
        while (!stop.load()) pty.Send(sentence);
    });
    ASSERT_TRUE(WaitUntil([&] { return Waiting(pty) > 0; }));
    const auto start = SteadyClock::now();
    port.Purge();
    const auto ms = MsSince(start);
    stop.store(true);
    flood.join();
    EXPECT_LT(ms, 500);  // bounded by one read time-out, plus slack for a loaded machine
}

TEST(SerialPort, WriteOnAFullBufferGivesUpAfterCountPlus100MsWithTheCountWritten) {
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.Path(), 115200));
    // Fill the device's output buffer through the test's own descriptor; nobody reads the master.
    FillOutputBuffer(pty);
    const std::string cmd(40, 'A');
    const auto start = SteadyClock::now();
    const int n = port.Write(cmd.data(), static_cast<uint32_t>(cmd.size()));
    const auto ms = MsSince(start);
    EXPECT_GE(n, 0);
    EXPECT_LT(n, 40);
    EXPECT_GE(ms, 139);
    EXPECT_LT(ms, 600);
}

TEST(SerialPort, EverythingFailsAfterCloseAndNeverTouchesAReusedDescriptor) {
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.Path(), 115200));
    port.Close();
    port.Close();  // a second close does nothing
    // Whatever file now gets the numbers the port had must stay untouched.
    const auto file =
        std::filesystem::temp_directory_path() / ("karvex-reuse-" + std::to_string(getpid()));
    int fds[4];
    for (int& fd : fds) fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    char c;
    EXPECT_EQ(port.Write("AT\r", 3), -1);
    EXPECT_EQ(port.Read(&c, 1), -1);
    port.Purge();
    EXPECT_EQ(std::filesystem::file_size(file), 0u);
    for (int fd : fds) ::close(fd);
    std::filesystem::remove(file);
    EXPECT_EQ(pty.Receive(50ms, 200ms), "");
}

TEST(SerialPort, CloseWakesABlockedReaderAndWriterAtOnce) {
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.Path(), 115200));
    FillOutputBuffer(pty);
    std::atomic<int> readResult{1}, writeResult{1};
    std::atomic<pid_t> readerId{0}, writerId{0};
    std::thread reader([&] {
        readerId = gettid();
        std::string buf(2000, '\0');  // a 2100 ms read
        readResult = port.Read(buf.data(), 2000);
    });
    std::thread writer([&] {
        writerId = gettid();
        const std::string big(2000, 'y');  // a 2100 ms write on a full buffer
        writeResult = port.Write(big.data(), 2000);
    });
    // Both must be inside their wait, not on their way to it.
    ASSERT_TRUE(WaitUntil([&] {
        return readerId != 0 && writerId != 0 && BlockedInPoll(readerId) && BlockedInPoll(writerId);
    }));
    const auto start = SteadyClock::now();
    port.Close();
    const auto ms = MsSince(start);
    reader.join();
    writer.join();
    EXPECT_LT(ms, Bound(200));
    EXPECT_EQ(readResult.load(), -1);
    EXPECT_LE(writeResult.load(), 0);
}

TEST(SerialPort, AVanishedDeviceFailsReadsAndWritesAtOnce) {
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.Path(), 115200));
    pty.CloseMaster();
    char c;
    const auto start = SteadyClock::now();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(port.Read(&c, 1), -1);
    EXPECT_LT(MsSince(start), Bound(50));
    EXPECT_EQ(port.Write("AT\r", 3), -1);
    port.Purge();
}

}  // namespace
}  // namespace karvex
