// The board idles without using the processor: with nobody attached, after the program closed
// the device (no hang-up spin), and while an answer waits for its time.
#include <ctime>
#include <thread>

#include "tests/sim/board_fixture.h"
#include "tests/support/timing.h"

namespace karvex::simtest {
namespace {

// Processor time the whole test process used during `span` (the sleep is the span measured).
Ms CpuDuring(Ms span) {
    timespec a{}, b{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &a);
    std::this_thread::sleep_for(span);
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &b);
    const long long ns = (b.tv_sec - a.tv_sec) * 1'000'000'000LL + (b.tv_nsec - a.tv_nsec);
    return Ms(ns / 1'000'000);
}

// Idle processor time allowed in 300 ms, more in a sanitizer build.
const Ms kIdleCpu(karvex::testing::Bound(30));

TEST_F(BoardTest, IdlesAtNoCpu) {
    EXPECT_LT(CpuDuring(Ms(300)), kIdleCpu) << "device open, nothing to do";

    board.SetBehaviour("AT", {.delay = Ms(2000)});
    ASSERT_TRUE(device->Write("AT\r"));
    ASSERT_TRUE(board.WaitForCommands(1, Ms(1000)));
    EXPECT_LT(CpuDuring(Ms(300)), kIdleCpu) << "waiting to answer";

    device->Close();
    EXPECT_LT(CpuDuring(Ms(300)), kIdleCpu) << "device closed by the program";

    board.Vanish();
    EXPECT_LT(CpuDuring(Ms(300)), kIdleCpu) << "vanished";
}

// Going away in the middle of everything: a slow answer, GPS, a program that holds the device.
TEST_F(BoardTest, DestroyedWhileBusy) {
    auto other = std::make_unique<sim::Board>();
    Device d(other->DevicePath());
    other->SetGpsInterval(Ms(0));
    other->SetBehaviour("AT+GPS", {.perByte = Ms(5)});
    ASSERT_TRUE(d.Write("AT+GPSSTART=0\r"));
    ASSERT_TRUE(other->WaitForCommands(1, Ms(1000)));
    // Busy for certain: the answer and sentences are on their way when the board goes.
    const auto busy = Steady::now();
    while (other->Sent().size() < 3 && MsSince(busy) < 5000) d.ReadFor(Ms(5));
    ASSERT_GE(other->Sent().size(), 3u);
    const auto start = Steady::now();
    other.reset();
    EXPECT_LT(MsSince(start), 1000);
    EXPECT_NE(d.PollEvents(Ms(1000)) & POLLHUP, 0);
}

}  // namespace
}  // namespace karvex::simtest
