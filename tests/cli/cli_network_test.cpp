// karvex-run against a board behind a real ser2net on 127.0.0.1: the server going away in the
// middle of an item is a lost link, reported at once, and the next run connects again.
#include <nlohmann/json.hpp>

#include "gtest/gtest.h"
#include "sim/board.h"
#include "tests/cli/cli_process.h"
#include "tests/support/ser2net.h"
#include "tests/support/timing.h"

namespace karvex::clitest {
namespace {

using testing::Bound;
using testing::MsBetween;
using testing::Ser2net;

TEST(KarvexRunOverNetwork, AServerStoppedMidItemIsALostLinkAndTheNextRunConnects) {
    ScratchDir dir("network-lost");
    sim::Board board;
    board.SetBehaviour("AT+CGATT=0", {.kind = sim::Behaviour::Kind::Silent});  // waits 8 s
    Ser2net server(board.DevicePath());
    ASSERT_TRUE(server.Running());
    const std::string address = server.Address(Ser2net::Accepter::Rfc2217);
    CliProcess run(
        {"--json", "--port", address, "--items", "init,revision", "--apn", "apn.example"},
        dir.path);
    ASSERT_TRUE(board.WaitForReceived("AT+CGATT=0\r", std::chrono::milliseconds(Bound(10000))));
    const auto stopped = SteadyClock::now();
    server.Stop();

    EXPECT_EQ(run.Wait(), 1) << run.Out() << run.Err();
    EXPECT_LT(MsBetween(stopped, run.Ended()), Bound(2000));  // not the step's 8 s time-out
    const std::vector<std::string> lines = Lines(run.Out());
    ASSERT_EQ(lines.size(), 2u) << run.Out();
    for (const std::string& line : lines) {
        EXPECT_EQ(nlohmann::json::parse(line)["verdict"], "link-lost") << line;
    }

    board.ClearBehaviours();
    board.ClearRecords();
    ASSERT_TRUE(server.Start());
    const Finished again = RunCli({"--port", address, "--items", "revision"}, dir.path);
    EXPECT_EQ(again.status, 0) << again.out << again.err;
    EXPECT_EQ(board.Received(), "AT+CGMR\r");
}

}  // namespace
}  // namespace karvex::clitest
