// The session: connect, execute, disconnect and destruction, with the threads it owns.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "sequencer/modem_session.h"
#include "sim/board.h"
#include "support/log_waits.h"
#include "support/running_link.h"
#include "support/timing.h"

namespace karvex {
namespace {

using namespace std::chrono_literals;
using karvex::testing::Bound;
using karvex::testing::MsSince;
using karvex::testing::RecordingPanel;
using karvex::testing::SteadyClock;
using karvex::testing::WaitIntoPauseAfter;
using karvex::testing::WaitUntil;
using sim::Behaviour;

TestInputs Item(int item) {
    TestInputs inputs;
    inputs.item = item;
    inputs.smsNumber = "1";
    return inputs;
}

class SessionTest : public ::testing::Test {
  protected:
    sim::Board board;
    SerialPort port;
    TrafficLog log;
    RecordingPanel panel;
    ModemSession session{log, panel, port};
};

TEST_F(SessionTest, AFailedConnectChangesNothing) {
    log.Append("kept");
    EXPECT_FALSE(session.Connect("/dev/karvex-missing"));
    EXPECT_FALSE(session.LinkOpen());
    EXPECT_EQ(log.Snapshot(), "kept");
    EXPECT_FALSE(session.Execute(Item(1)));  // nothing runs on a closed link
}

TEST_F(SessionTest, ConnectClearsTheLogAndExecuteRunsTheItem) {
    log.Append("old");
    ASSERT_TRUE(session.Connect(board.DevicePath()));
    EXPECT_EQ(log.Snapshot(), "");
    ASSERT_TRUE(session.Execute(Item(1)));
    EXPECT_FALSE(session.Execute(Item(2)));  // one sequence at a time
    session.WaitIdle();
    EXPECT_EQ(board.Received(), "AT+CGMR\r");
    EXPECT_NE(log.Snapshot().find("\r\nOK\r\n"), std::string::npos);
    EXPECT_EQ(panel.Enables(), (std::vector<bool>{false, true}));
    ASSERT_TRUE(session.Execute(Item(2)));  // and the next one after it
    session.WaitIdle();
    EXPECT_EQ(log.Snapshot().rfind("AT+CSQ\r", 0), 0u);  // each execution clears the log
}

TEST_F(SessionTest, DisconnectDuringARunStopsEverythingAtOnce) {
    board.SetBehaviour("AT+CGMR", Behaviour{.kind = Behaviour::Kind::Silent});
    ASSERT_TRUE(session.Connect(board.DevicePath()));
    ASSERT_TRUE(session.Execute(Item(1)));
    ASSERT_TRUE(board.WaitForReceived("AT+CGMR\r", 2s));
    const auto start = SteadyClock::now();
    session.Disconnect();
    EXPECT_LT(MsSince(start), Bound(100));
    EXPECT_FALSE(session.Running());
    EXPECT_FALSE(session.LinkOpen());
    EXPECT_EQ(panel.Enables(), (std::vector<bool>{false}));
    // The port is free again at once.
    EXPECT_TRUE(session.Connect(board.DevicePath()));
}

TEST_F(SessionTest, DisconnectWhileTheMonitorPausesAfterJst) {
    ASSERT_TRUE(session.Connect(board.DevicePath()));
    board.Send("\r\nSat Mar  7 09:05:30 2026 JST\r\n");
    // The line is logged just before the monitor's pause begins.
    ASSERT_TRUE(WaitUntil([&] { return log.Snapshot().find("JST") != std::string::npos; }));
    const auto start = SteadyClock::now();
    session.Disconnect();
    EXPECT_LT(MsSince(start), Bound(100));  // the pause is 500 ms
}

TEST(SessionLifetime, DestroyingTheSessionDuringADelayStepReturnsPromptly) {
    sim::Board board;
    SerialPort port;
    TrafficLog log;
    RecordingPanel panel;
    auto session = std::make_unique<ModemSession>(log, panel, port);
    ASSERT_TRUE(session->Connect(board.DevicePath()));
    TestInputs sms = Item(5);
    sms.phone = "09012345678";
    ASSERT_TRUE(session->Execute(sms));  // AT+CMGF=1, then a 3000 ms pause
    ASSERT_TRUE(WaitIntoPauseAfter(log, "AT+CMGF=1", 230));
    const auto start = SteadyClock::now();
    session.reset();
    EXPECT_LT(MsSince(start), 300);
    EXPECT_EQ(board.Received(), "AT+CMGF=1\r");  // nothing more reached the board
}

}  // namespace
}  // namespace karvex
