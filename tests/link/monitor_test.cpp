// The receive monitor on a real pseudo-terminal: what lands in the log, which verdict is published
// and when, and how quickly it stops.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "link/receive_monitor.h"
#include "link/serial_port.h"
#include "support/cpu_time.h"
#include "support/pty_pair.h"
#include "support/running_link.h"
#include "support/timing.h"

namespace karvex {
namespace {

using namespace std::chrono_literals;
using karvex::testing::PtyPair;
using SteadyClock = std::chrono::steady_clock;

using MonitoredLink = karvex::testing::RunningLink;

TEST(ReceiveMonitor, LogsLinesAndPublishesVerdictsWithTheirPauses) {
    struct Case {
        const char* name;
        const char* expected;
        std::string bytes;
        std::string log;
        Verdict verdict;
        int minMs, maxMs;  // arrival of the verdict after the bytes were sent
    };
    const Case cases[] = {
        {"OK by default", "", "\r\nOK\r\n", "\r\nOK\r\n", Verdict::Success, 220, 600},
        {"information then OK", "", "\r\n+CSQ: 20,99\r\n\r\nOK\r\n",
         "\r\n+CSQ: 20,99\r\n\r\nOK\r\n", Verdict::Success, 250, 700},
        {"ERROR after 30 ms", "", "\r\nERROR\r\n", "\r\nERROR\r\n", Verdict::Failure, 25, 300},
        {"expected text replaces OK", "+KHTTP_IND", "\r\nOK\r\n\r\n+KHTTP_IND: 1,1\r\n",
         "\r\nOK\r\n\r\n+KHTTP_IND: 1,1\r\n", Verdict::Success, 250, 700},
        {"failure beats success in one line", "+KHTTP_IND", "\r\n+KHTTP_IND: 1,0 ERROR\r\n",
         "\r\n+KHTTP_IND: 1,0 ERROR\r\n", Verdict::Failure, 220, 600},
        {"JST delays the next line by 500 ms", "", "\r\nSat Mar  7 09:05:30 2026 JST\r\n\r\nOK\r\n",
         "\r\nSat Mar  7 09:05:30 2026 JST\r\n\r\nOK\r\n", Verdict::Success, 740, 1300},
        {"NUL cuts the line", "", std::string("\r\nO\0K\r\n", 7), "\r\nO", Verdict::Waiting, 0, 0},
        {"CME error is no failure reply", "", "\r\n+CME ERROR: 3\r\n", "\r\n+CME ERROR: 3\r\n",
         Verdict::Waiting, 0, 0},
        {"over-long line keeps its tail", "", std::string(85, 'x') + "\r\n", "xxxxx\r\n",
         Verdict::Waiting, 0, 0},
    };
    for (const Case& c : cases) {
        PtyPair pty;
        MonitoredLink link(pty.Path());
        ASSERT_TRUE(link.opened);
        link.state.SetExpected(c.expected);
        pty.Send(c.bytes);
        if (c.verdict == Verdict::Waiting) {
            EXPECT_EQ(link.MsUntilVerdict(500ms), -1) << c.name;
        } else {
            const long long ms = link.MsUntilVerdict(3s);
            EXPECT_EQ(link.state.Result(), c.verdict) << c.name;
            EXPECT_GE(ms, c.minMs) << c.name;
            EXPECT_LE(ms, c.maxMs) << c.name;
        }
        std::this_thread::sleep_for(50ms);  // the span measured: nothing more is logged late
        EXPECT_EQ(link.log.Snapshot(), c.log) << c.name;
    }
}

TEST(ReceiveMonitor, NeverShowsSuccessForALineThatAlsoFails) {
    PtyPair pty;
    MonitoredLink link(pty.Path());
    link.state.SetExpected("+KHTTP_IND");
    std::atomic<bool> sawSuccess{false}, stop{false};
    std::thread watcher([&] {
        while (!stop.load()) {
            if (link.state.Result() == Verdict::Success) sawSuccess = true;
            std::this_thread::yield();
        }
    });
    pty.Send("\r\n+KHTTP_IND: 1,1 ABORT\r\n");
    link.MsUntilVerdict(2s);
    std::this_thread::sleep_for(50ms);  // the span watched: no success shows up afterwards either
    stop = true;
    watcher.join();
    EXPECT_EQ(link.state.Result(), Verdict::Failure);
    EXPECT_FALSE(sawSuccess.load());
}

TEST(ReceiveMonitor, StopsAtOnceEvenDuringTheJstPause) {
    PtyPair pty;
    MonitoredLink link(pty.Path());
    pty.Send("\r\nSat Mar  7 09:05:30 2026 JST\r\n");
    // Wait until the line is logged: the monitor is now in its 500 ms pause.
    ASSERT_TRUE(karvex::testing::WaitUntil([&] { return link.log.Size() > 0; }));
    const auto start = SteadyClock::now();
    link.Disconnect();
    EXPECT_LT(karvex::testing::MsSince(start),
              karvex::testing::Bound(
                  150));  // the pauses are cut short; uninterruptible they would take ~530 ms
}

// A port whose every read fails at once, as after the device vanished.
class VanishedPort final : public Port {
  public:
    void Purge() override {}
    int Write(const void*, uint32_t) override { return -1; }
    int Read(void*, uint32_t) override {
        ++reads;
        return -1;
    }
    std::atomic<long> reads{0};
};

TEST(ReceiveMonitor, DoesNotSpinOnAVanishedDevice) {
    VanishedPort port;
    LinkState state;
    TrafficLog log;
    state.SetLinkOpen(true);
    std::thread monitor([&] { ReceiveMonitor(state, port, log); });
    std::this_thread::sleep_for(1s);
    state.SetLinkOpen(false);
    monitor.join();
    // One attempt per read time-out: about ten in a second, not millions.
    EXPECT_LE(port.reads.load(), 15);
    EXPECT_GE(port.reads.load(), 5);
}

TEST(ReceiveMonitor, UsesAlmostNoCpuAfterTheRealDeviceVanished) {
    PtyPair pty;
    MonitoredLink link(pty.Path());
    pty.CloseMaster();
    const double before = karvex::testing::CpuSeconds();
    std::this_thread::sleep_for(1s);  // the span measured, not a synchronisation
    EXPECT_LT(karvex::testing::CpuSeconds() - before,
              0.1);  // under 10% of a core; a spinning monitor takes all of it
}

}  // namespace
}  // namespace karvex
