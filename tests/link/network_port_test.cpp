// The network port against a real ser2net serving the simulated board, and against servers that
// refuse, keep other settings, never answer, or are not there.
#include <gtest/gtest.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <numeric>
#include <thread>
#include <vector>

#include "link/network_port.h"
#include "sim/board.h"
#include "support/ser2net.h"

namespace karvex {
namespace {

using namespace karvex::testing;
using Accepter = Ser2net::Accepter;
using std::chrono::seconds;

std::string EveryByteValue() {
    std::string bytes(256, '\0');
    std::iota(bytes.begin(), bytes.end(), '\0');
    return bytes;
}

class OverSer2net : public ::testing::TestWithParam<Accepter> {};

// 0xFF is the telnet escape, 0x11 and 0x13 are XON and XOFF, 0x0D is followed by NUL in telnet's
// text mode: every value must pass unchanged both ways.
TEST_P(OverSer2net, EveryByteValuePassesBothWays) {
    sim::Board board;
    Ser2net server(board.DevicePath());
    ASSERT_TRUE(server.Running());
    NetworkPort port;
    ASSERT_TRUE(port.Open(server.Address(GetParam()), 115200)) << port.FailureReason();
    const std::string all = EveryByteValue();

    board.Send(all);
    std::string got(all.size(), '\0');
    size_t n = 0;
    const auto start = SteadyClock::now();
    while (n < got.size() && MsSince(start) < Bound(5000)) {
        const int r = port.Read(got.data() + n, static_cast<uint32_t>(got.size() - n));
        ASSERT_GE(r, 0);
        n += static_cast<size_t>(r);
    }
    EXPECT_EQ(got, all);

    ASSERT_EQ(port.Write(all.data(), static_cast<uint32_t>(all.size())), 256);
    EXPECT_TRUE(board.WaitForReceived(all, std::chrono::milliseconds(Bound(5000))));
    EXPECT_EQ(board.Received(), all);
}

// The server goes away under an open port: reads and writes fail at once, as on a vanished
// device, nothing hangs, and the same port connects again once the server is back.
TEST_P(OverSer2net, AServerThatStopsIsAVanishedDeviceAndReconnects) {
    sim::Board board;
    Ser2net server(board.DevicePath());
    ASSERT_TRUE(server.Running());
    NetworkPort port;
    ASSERT_TRUE(port.Open(server.Address(GetParam()), 115200)) << port.FailureReason();
    server.Stop();
    char c = 0;
    const auto stopped = SteadyClock::now();
    while (port.Read(&c, 1) == 0 && MsSince(stopped) < Bound(2000)) {
    }
    EXPECT_EQ(port.Read(&c, 1), -1);
    EXPECT_EQ(port.Write("AT\r", 3), -1);
    EXPECT_LT(MsSince(stopped), Bound(1000));
    port.Close();

    ASSERT_TRUE(server.Start());
    ASSERT_TRUE(port.Open(server.Address(GetParam()), 115200)) << port.FailureReason();
    ASSERT_EQ(port.Write("AT\r", 3), 3);
    EXPECT_TRUE(board.WaitForReceived("AT\r", std::chrono::milliseconds(Bound(5000))));
}

INSTANTIATE_TEST_SUITE_P(Accepters, OverSer2net,
                         ::testing::Values(Accepter::Rfc2217, Accepter::Tcp), [](const auto& info) {
                             return info.param == Accepter::Rfc2217 ? "Rfc2217" : "RawTcp";
                         });

// What the board sent before a purge is dropped, also what was still on its way through the
// server when the purge was asked for.
TEST(NetworkPort, PurgeDropsWhatTheServerHadAlreadySent) {
    sim::Board board;
    Ser2net server(board.DevicePath());
    ASSERT_TRUE(server.Running());
    NetworkPort port;
    ASSERT_TRUE(port.Open(server.Address(Accepter::Rfc2217), 115200)) << port.FailureReason();
    board.Send("\r\nstale line\r\n");
    char c = 0;
    ASSERT_EQ(port.Read(&c, 1), 1);  // it is on its way
    port.Purge();
    EXPECT_EQ(port.Read(&c, 1), 0);
    ASSERT_EQ(port.Write("AT\r", 3), 3);
    std::string echo(3, '\0');
    EXPECT_EQ(port.Read(echo.data(), 3), 3);
    EXPECT_EQ(echo, "AT\r");
}

// The server's part of the opening as ser2net plays it, with `baud` for the baud rate.
std::string ServerAnswers(uint32_t baud) {
    std::string s = "\xFF\xFD\x2C";  // DO COM-PORT-OPTION
    const std::string values[] = {telnet::BaudValue(baud), "\x08", "\x01", "\x01", "\x01"};
    for (int i = 0; i < 5; ++i) {
        s += std::string("\xFF\xFA\x2C") + static_cast<char>(101 + i) + values[i] + "\xFF\xF0";
    }
    return s;
}

// Close wakes every blocked call: the thread waiting on the socket and the one waiting for what
// it brings; none of them touches the socket afterwards.
TEST(NetworkPort, CloseWakesEveryBlockedReadAtOnce) {
    ScriptedServer silent(ServerAnswers(115200));
    NetworkPort port;
    ASSERT_TRUE(port.Open(silent.Address(), 115200)) << port.FailureReason();
    std::atomic<int> returned{0};
    std::atomic<pid_t> tids[3] = {};
    std::vector<std::thread> readers;
    for (int i = 0; i < 3; ++i) {
        readers.emplace_back([&, i] {
            tids[i] = static_cast<pid_t>(syscall(SYS_gettid));
            char buffer[4000];  // a read time-out of 4.1 s
            EXPECT_EQ(port.Read(buffer, sizeof buffer), -1);
            ++returned;
        });
    }
    // Each reader asleep in the kernel: one in poll, the others on the condition variable.
    const auto asleep = [&](pid_t tid) {
        std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/syscall");
        long number = -1;
        in >> number;
        return number == SYS_poll || number == SYS_ppoll || number == SYS_futex;
    };
    ASSERT_TRUE(WaitUntil([&] {
        return std::all_of(std::begin(tids), std::end(tids),
                           [&](const auto& t) { return t != 0 && asleep(t); });
    }));
    const auto start = SteadyClock::now();
    port.Close();
    EXPECT_LT(MsSince(start), Bound(200));
    for (std::thread& t : readers) t.join();
    EXPECT_EQ(returned.load(), 3);
    EXPECT_LT(MsSince(start), Bound(200));
}

TEST(NetworkPort, OpenFailsInBoundedTimeAndSaysWhy) {
    sim::Board board;
    Ser2net server(board.DevicePath());
    ASSERT_TRUE(server.Running());
    ScriptedServer otherBaud(ServerAnswers(9600));
    ScriptedServer neverConfirms("\xFF\xFD\x2C");
    ScriptedServer silentHost("", true);
    uint16_t closed = 0;
    ::close(LoopbackListener(closed));
    const long long open = NetworkPort::kOpenTimeoutMs;
    struct Case {
        std::string address;
        const char* says;
        long long withinMs;
    };
    const Case cases[] = {
        {server.Address(Accepter::PlainTelnet), "refuses the COM port option", 1000},
        {otherBaud.Address(), "another baud rate", 1000},
        {neverConfirms.Address(), "did not confirm", open + 1000},
        {silentHost.Address(), "cannot connect", open + 1000},
        {"tcp://127.0.0.1:" + std::to_string(closed), "refused", 1000},
        // Never resolves, and is refused before any query could leave the machine.
        {"rfc2217://bench7.invalid:4001", "does not resolve", 100},
        {"rfc2217://127.0.0.1", "not an address", 100},
        {"tcp://127.0.0.1:65536", "not an address", 100},
        {"telnet://127.0.0.1:23", "not an address", 100},
    };
    for (const Case& c : cases) {
        NetworkPort port;
        const auto start = SteadyClock::now();
        EXPECT_FALSE(port.Open(c.address, 115200)) << c.address;
        EXPECT_LE(MsSince(start), Bound(c.withinMs)) << c.address;
        EXPECT_NE(port.FailureReason().find(c.says), std::string::npos)
            << c.address << ": " << port.FailureReason();
        char b = 0;
        EXPECT_EQ(port.Read(&b, 1), -1) << c.address;  // nothing stays open
    }
}

}  // namespace
}  // namespace karvex
