// The Windows port under Wine, on the simulated board behind \\.\COMn: open and refusal, the comm
// time-outs, bytes unchanged, purge, close waking blocked calls, a vanished device.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "link/serial_port.h"
#include "sim/board.h"
#include "support/running_link.h"

// After the core's headers: windows.h defines E_FAIL as a macro.
#include <windows.h>

namespace karvex {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

long long MsSince(SteadyClock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - t).count();
}

long long CpuMicros() {
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000000LL + r.ru_utime.tv_usec +
           r.ru_stime.tv_usec;
}

// Waits until the board has handed `n` chunks to the device (they are then readable at once).
bool WaitForSent(const sim::Board& board, size_t n) {
    const auto deadline = SteadyClock::now() + 2s;
    while (board.Sent().size() < n) {
        if (SteadyClock::now() > deadline) return false;
    }
    return true;
}

// Fills the device's output path while the board does not read. Room comes back for a while as
// the kernel moves bytes on to the board's side: the path is full once two writes in a row, each
// waiting its whole time-out, move nothing.
void FillOutput(sim::Board& board, SerialPort& port) {
    board.SetReading(false);
    const std::string chunk(64, 'f');
    int idle = 0;
    for (int i = 0; i < 20000 && idle < 2; ++i) {
        idle = port.Write(chunk.data(), 64) == 0 ? idle + 1 : 0;
    }
    ASSERT_EQ(idle, 2) << "the output never filled";
}

TEST(WinPort, OpenRefusesWhatIsNoComPortAndLeavesNothingOpen) {
    SerialPort port;
    for (const char* path : {"", "\\\\.\\", "\\\\.\\COM200", "Z:\\etc\\hostname", "C:\\"}) {
        EXPECT_FALSE(port.Open(path, 115200)) << path;
        EXPECT_FALSE(port.IsOpen()) << path;
        char c;
        EXPECT_EQ(port.Read(&c, 1), -1) << path;
        EXPECT_EQ(port.Write("AT\r", 3), -1) << path;
    }
}

TEST(WinPort, OpensTheBoardAgainAfterClose) {
    sim::Board board;
    SerialPort port;
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(port.Open(board.DevicePath(), 115200)) << round;
        EXPECT_EQ(port.Write("AT\r", 3), 3);
        port.Close();
    }
    EXPECT_TRUE(board.WaitForCommands(3, 2s));
}

TEST(WinPort, EmptyOneByteReadGivesUpAfterAbout101Ms) {
    sim::Board board;
    SerialPort port;
    ASSERT_TRUE(port.Open(board.DevicePath(), 115200));
    for (uint32_t count : {1u, 50u}) {
        std::string buffer(count, '\0');
        const auto start = SteadyClock::now();
        EXPECT_EQ(port.Read(buffer.data(), count), 0);
        const long long ms = MsSince(start);
        EXPECT_GE(ms, count + 99) << count;
        EXPECT_LT(ms, count + 400) << count;
    }
}

TEST(WinPort, BytesPassUnchangedInBothDirections) {
    sim::Board board;
    SerialPort port;
    ASSERT_TRUE(port.Open(board.DevicePath(), 115200));
    // XON, XOFF, NUL, 0x1A and 0xFF travel as data: binary mode, no software flow control.
    const std::string in("\r\n\x00\x11\x13\x1A\xFFOK\r\n", 11);
    board.Send(in);
    std::string got(in.size(), '\0');
    EXPECT_EQ(port.Read(got.data(), static_cast<uint32_t>(got.size())), 11);
    EXPECT_EQ(got, in);

    const std::string out("TEST SMS 1\x1A\r\n\x11\x13\x7F\xFF", 16);
    EXPECT_EQ(port.Write(out.data(), static_cast<uint32_t>(out.size())), 16);
    EXPECT_TRUE(board.WaitForReceived(out, 2s));
    EXPECT_EQ(board.Received(), out);
}

TEST(WinPort, PurgeDiscardsWhatWaitsAndReturnsAtOnceWhenEmpty) {
    sim::Board board;
    SerialPort port;
    ASSERT_TRUE(port.Open(board.DevicePath(), 115200));
    auto start = SteadyClock::now();
    port.Purge();
    EXPECT_LT(MsSince(start), 50);

    board.Send("\r\nstale\r\n");
    ASSERT_TRUE(WaitForSent(board, 1));
    port.Purge();
    board.Send("X");
    char c = 0;
    EXPECT_EQ(port.Read(&c, 1), 1);
    EXPECT_EQ(c, 'X');
}

TEST(WinPort, PurgeEndsUnderANeverEndingStream) {
    sim::Board board;
    board.SetGpsInterval(0ms);  // NMEA sentences as fast as the device takes them
    SerialPort port;
    ASSERT_TRUE(port.Open(board.DevicePath(), 115200));
    ASSERT_EQ(port.Write("AT+GPSSTART=0\r", 14), 14);
    ASSERT_TRUE(WaitForSent(board, 20));
    const auto start = SteadyClock::now();
    port.Purge();
    EXPECT_LT(MsSince(start), 500);  // bounded by one read time-out, plus slack under Wine
}

TEST(WinPort, WriteOnAFullBufferGivesUpAfterCountPlus100MsWithTheCountWritten) {
    sim::Board board;
    SerialPort port;
    ASSERT_TRUE(port.Open(board.DevicePath(), 115200));
    FillOutput(board, port);
    const std::string command(40, 'A');
    const auto start = SteadyClock::now();
    const int n = port.Write(command.data(), 40);
    const long long ms = MsSince(start);
    EXPECT_GE(n, 0);
    EXPECT_LT(n, 40);
    EXPECT_GE(ms, 139);
    EXPECT_LT(ms, 700);
}

TEST(WinPort, CloseWakesABlockedReaderAndWriterAtOnce) {
    sim::Board board;
    SerialPort port;
    ASSERT_TRUE(port.Open(board.DevicePath(), 115200));
    FillOutput(board, port);
    std::atomic<int> readResult{1}, writeResult{1};
    std::thread reader([&] {
        std::string buffer(2000, '\0');  // a 2100 ms read
        readResult = port.Read(buffer.data(), 2000);
    });
    std::thread writer([&] {
        const std::string big(2000, 'y');  // a 2100 ms write on a full buffer
        writeResult = port.Write(big.data(), 2000);
    });
    // Not synchronisation (the results must hold in any order): time for both calls to block,
    // so that the close has something to wake.
    std::this_thread::sleep_for(200ms);
    const auto start = SteadyClock::now();
    port.Close();
    reader.join();
    writer.join();
    EXPECT_LT(MsSince(start), 200);
    EXPECT_EQ(readResult.load(), -1);
    EXPECT_LE(writeResult.load(), 0);
}

TEST(WinPort, EverythingFailsAfterCloseAndNeverTouchesAReusedHandle) {
    sim::Board board;
    SerialPort port;
    ASSERT_TRUE(port.Open(board.DevicePath(), 115200));
    port.Close();
    port.Close();  // a second close does nothing
    // Files opened now may get the handle values the port had: they must stay untouched.
    wchar_t dir[MAX_PATH], name[MAX_PATH];
    ASSERT_NE(GetTempPathW(MAX_PATH, dir), 0u);
    ASSERT_NE(GetTempFileNameW(dir, L"kvx", 0, name), 0u);
    HANDLE files[4];
    for (HANDLE& f : files) {
        f = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        ASSERT_NE(f, INVALID_HANDLE_VALUE);
    }
    char c;
    EXPECT_EQ(port.Write("AT\r", 3), -1);
    EXPECT_EQ(port.Read(&c, 1), -1);
    port.Purge();
    LARGE_INTEGER size{};
    EXPECT_TRUE(GetFileSizeEx(files[0], &size));
    EXPECT_EQ(size.QuadPart, 0);
    for (HANDLE f : files) CloseHandle(f);
    DeleteFileW(name);
    EXPECT_FALSE(board.WaitForReceived("AT", 200ms));
}

TEST(WinPort, AVanishedDeviceFailsReadsAndWritesAtOnce) {
    sim::Board board;
    SerialPort port;
    ASSERT_TRUE(port.Open(board.DevicePath(), 115200));
    board.Vanish();
    char c;
    const auto start = SteadyClock::now();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(port.Read(&c, 1), -1);
    EXPECT_LT(MsSince(start), 200);
    EXPECT_EQ(port.Write("AT\r", 3), -1);
    port.Purge();
}

TEST(WinPort, AVanishedDeviceCostsTheMonitorNoCpu) {
    sim::Board board;
    testing::RunningLink link(board.DevicePath());
    ASSERT_TRUE(link.opened);
    board.Vanish();
    const long long before = CpuMicros();
    const auto start = SteadyClock::now();
    // The monitor keeps failing and pausing for this second; a spin would use all of it.
    std::this_thread::sleep_for(1s);
    const long long cpu = CpuMicros() - before;
    const long long wall = MsSince(start) * 1000;
    EXPECT_LT(cpu, wall / 10);
    link.Disconnect();
}

}  // namespace
}  // namespace karvex
