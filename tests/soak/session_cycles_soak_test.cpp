// A thousand connects and disconnects of one session with the board talking all the while, a
// sequence started in every tenth and cut short by the disconnect. Every cycle must connect, and
// afterwards the process holds as many descriptors and threads as before and about as much memory.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "sequencer/modem_session.h"
#include "sim/board.h"
#include "tests/soak/process_levels.h"
#include "tests/support/timing.h"

namespace karvex {
namespace {

using namespace std::chrono_literals;
using karvex::testing::SteadyClock;
using karvex::testing::WaitUntil;

constexpr int kCycles = 1000;
constexpr int kWarmUpCycles = 20;
// Memory that may stay behind: allocator caches and the arenas of threads that came and went.
constexpr long kRssToleranceKiB = 4 * 1024;
constexpr long kHeapToleranceKiB = 512;

// Counts what the core asks of the window and keeps nothing, so it cannot grow.
class CountingPanel final : public OperatorPanel {
  public:
    void EnableInputs(bool enable) override { (enable ? enables : disables).fetch_add(1); }
    void ShowMessage(const std::string&) override { messages.fetch_add(1); }
    std::atomic<int> enables{0}, disables{0}, messages{0};
};

TestInputs Item(int item) {
    TestInputs inputs;
    inputs.item = item;
    return inputs;
}

class Cycle {
  public:
    Cycle() {
        board.SetNetworkDelay(20ms);
        path = board.DevicePath();
    }

    // One connect, some traffic, perhaps a sequence, one disconnect.
    void Run(int i) {
        ASSERT_TRUE(session.Connect(path)) << "cycle " << i;
        const std::string line = "\r\n+CREG: 0," + std::to_string(i % 6) + "\r\n";
        board.Send(line);
        if (i % 10 == 5) {
            // A sequence cut short: the command reaches the board, the link closes mid-run.
            const int item = 1 + (i / 10) % 2;
            ASSERT_TRUE(session.Execute(Item(item))) << "cycle " << i;
            ASSERT_TRUE(board.WaitForCommands(1, 3s)) << "cycle " << i;
            ++cutShort;
        } else if (i % 100 == 50) {
            // Now and then a sequence that runs to its end, to show the link still works.
            ASSERT_TRUE(session.Execute(Item(2)));
            session.WaitIdle();
            EXPECT_NE(log.Snapshot().find("\r\nOK\r\n"), std::string::npos) << log.Snapshot();
            ++completed;
        } else if (i % 3 == 0) {
            // The board's line gets through before the link closes.
            EXPECT_TRUE(
                WaitUntil([&] { return log.Snapshot().find(line) != std::string::npos; }, 3s))
                << "cycle " << i;
        }
        session.Disconnect();
        EXPECT_FALSE(session.Running());
        board.ClearRecords();
    }

    sim::Board board;
    std::string path;
    SerialPort port;
    TrafficLog log;
    CountingPanel panel;
    ModemSession session{log, panel, port};
    int cutShort = 0;
    int completed = 0;
};

TEST(SessionSoak, ThousandConnectCyclesGiveBackDescriptorsThreadsAndMemory) {
    Cycle cycle;
    for (int i = 0; i < kWarmUpCycles; ++i) cycle.Run(i);
    if (::testing::Test::HasFatalFailure()) return;
    const soak::Levels before = soak::Measure();
    soak::Print("before", before);

    const auto start = SteadyClock::now();
    for (int i = 0; i < kCycles; ++i) {
        cycle.Run(i);
        if (::testing::Test::HasFatalFailure()) return;
    }
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start).count();

    const soak::Levels after = soak::Measure();
    soak::Print("after", after);
    std::printf("[soak] %d cycles in %lld ms (%d runs cut short, %d run to the end)\n", kCycles,
                static_cast<long long>(ms), cycle.cutShort, cycle.completed);
    EXPECT_EQ(after.fds, before.fds);
    EXPECT_EQ(after.threads, before.threads);
    EXPECT_LE(after.heapKiB - before.heapKiB, kHeapToleranceKiB);
    if (!soak::kSanitized) {
        EXPECT_LE(after.rssKiB - before.rssKiB, kRssToleranceKiB);
    }
    EXPECT_EQ(cycle.panel.messages.load(), 0);
}

}  // namespace
}  // namespace karvex
