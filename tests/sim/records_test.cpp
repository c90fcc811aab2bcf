// What the board records: every byte with its arrival time, commands stamped with their first
// byte, every write with its time; and the waits on them.
#include <thread>

#include "tests/sim/board_fixture.h"

namespace karvex::simtest {
namespace {

TEST_F(BoardTest, StampsBytesCommandsAndWrites) {
    const auto t0 = Steady::now();
    ASSERT_TRUE(device->Write("AT+C"));
    ASSERT_TRUE(board.WaitForReceived("AT+C", Ms(2000)));
    const auto t1 = Steady::now();
    std::this_thread::sleep_for(Ms(60));  // a gap the stamps must show, not a synchronisation
    const auto t2 = Steady::now();
    ASSERT_TRUE(device->Write("SQ\r"));
    ASSERT_EQ(device->ReadCount(26, Ms(2000)), "AT+CSQ\r\r\n+CSQ: 18,99\r\n\r\nOK\r\n");
    const auto t3 = Steady::now();

    const auto bytes = board.ReceivedBytes();
    ASSERT_EQ(bytes.size(), 7u);
    EXPECT_EQ(board.Received(), "AT+CSQ\r");
    for (size_t i = 0; i < bytes.size(); ++i) {
        EXPECT_EQ(bytes[i].byte, static_cast<uint8_t>("AT+CSQ\r"[i]));
        const bool early = i < 4;
        EXPECT_GE(bytes[i].at, early ? t0 : t2) << i;
        EXPECT_LE(bytes[i].at, early ? t1 : t3) << i;
    }
    const auto commands = board.Commands();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].text, "AT+CSQ");
    EXPECT_EQ(commands[0].at, bytes[0].at);  // the arrival of its first byte

    const auto sent = board.Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_GE(sent[0].at, bytes[6].at);
    EXPECT_LE(sent[0].at, t3);

    board.ClearRecords();
    EXPECT_TRUE(board.ReceivedBytes().empty());
    EXPECT_TRUE(board.Received().empty());
    EXPECT_TRUE(board.Commands().empty());
    EXPECT_TRUE(board.Sent().empty());
}

TEST_F(BoardTest, WaitsEndAtTheirDeadline) {
    auto start = Steady::now();
    EXPECT_FALSE(board.WaitForReceived("never", Ms(100)));
    EXPECT_GE(MsSince(start), 99);
    start = Steady::now();
    EXPECT_FALSE(board.WaitForCommands(1, Ms(100)));
    EXPECT_GE(MsSince(start), 99);
    EXPECT_LT(MsSince(start), 2000);
}

TEST_F(BoardTest, WaitWakesOnArrival) {
    std::thread writer([this] {
        std::this_thread::sleep_for(Ms(50));  // the write comes while the wait is under way
        device->Write("AT\r");
    });
    const auto start = Steady::now();
    EXPECT_TRUE(board.WaitForCommands(1, Ms(5000)));
    EXPECT_LT(MsSince(start), 2000);
    writer.join();
}

TEST_F(BoardTest, RecordingCanBeTurnedOff) {
    board.SetRecording(false);
    EXPECT_EQ(Exchange("AT\r", 9), "AT\r\r\nOK\r\n");
    EXPECT_TRUE(board.Received().empty());
    EXPECT_TRUE(board.Sent().empty());
}

TEST_F(BoardTest, ObserverSeesBothDirections) {
    std::mutex mutex;
    std::string seen;
    board.SetObserver([&](bool received, std::string_view bytes) {
        std::lock_guard lock(mutex);
        seen += (received ? "<" : ">") + std::string(bytes) + "|";
    });
    EXPECT_EQ(Exchange("AT\r", 9), "AT\r\r\nOK\r\n");
    Exchange("AT\r", 9);  // the observer is called before the board next waits
    std::lock_guard lock(mutex);
    EXPECT_EQ(seen.substr(0, 16), "<AT\r|>AT\r\r\nOK\r\n|");
}

}  // namespace
}  // namespace karvex::simtest
