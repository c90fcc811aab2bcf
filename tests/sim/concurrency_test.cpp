// Every public operation from several threads at once while the program talks to the board and
// the device comes and goes: nothing races (run under ThreadSanitizer), nothing hangs.
#include <atomic>
#include <thread>
#include <vector>

#include "tests/sim/board_fixture.h"

namespace karvex::simtest {
namespace {

TEST_F(BoardTest, PublicOperationsFromManyThreads) {
    board.SetGpsInterval(Ms(5));
    std::atomic<bool> done{false};
    std::vector<std::thread> threads;
    threads.emplace_back([&] {  // the program's side
        for (int i = 0; i < 40 && !done; ++i) {
            device->Write(i % 10 == 0 ? "AT+GPSSTART=0\r" : "AT+CSQ\r");
            device->ReadFor(Ms(5));
        }
    });
    threads.emplace_back([&] {
        for (int i = 0; !done; ++i) {
            board.SetBehaviour("AT+CSQ", {.perByte = Ms(i % 2)});
            board.Send("\r\nRING\r\n");
            board.SetReading(i % 3 != 0);
            board.SetGpsInterval(Ms(i % 7));
            std::this_thread::sleep_for(Ms(2));
        }
    });
    threads.emplace_back([&] {
        while (!done) {
            (void)board.Received();
            (void)board.Sent();
            (void)board.Commands();
            (void)board.ClockValue();
            (void)board.StoredMessages();
            (void)board.GpsRunning();
            (void)board.DevicePath();
            board.WaitForReceived("never", Ms(1));
            std::this_thread::sleep_for(Ms(1));
        }
    });
    threads.emplace_back([&] {
        for (int i = 0; i < 5; ++i) {
            std::this_thread::sleep_for(Ms(40));
            board.Vanish();
            board.Reappear();
            board.ClearRecords();
        }
        done = true;
    });
    for (auto& t : threads) t.join();
    board.SetReading(true);
    board.ClearBehaviours();

    Device fresh(board.DevicePath());
    ASSERT_TRUE(fresh.IsOpen());
    ASSERT_TRUE(fresh.Write("AT+GPSSTOP\r"));
    EXPECT_NE(fresh.ReadUntil("+GPSEVSTOP: 1\r\n", Ms(3000)).find("+GPSEVSTOP: 1"),
              std::string::npos);
}

}  // namespace
}  // namespace karvex::simtest
