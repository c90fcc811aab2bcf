// The step runner against the simulated board: what goes on the wire, what lands in the log, how
// each kind of ending leaves the input controls, and that nobody polls.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <thread>
#include <vector>

#include "sequencer/command_step.h"
#include "sim/board.h"
#include "support/cpu_time.h"
#include "support/running_link.h"
#include "support/timing.h"

namespace karvex {
namespace {

using namespace std::chrono_literals;
using karvex::testing::MsSince;
using karvex::testing::RecordingPanel;
using karvex::testing::RunningLink;
using karvex::testing::SteadyClock;
using karvex::testing::WaitUntil;
using sim::Behaviour;

struct StepSpec {
    const char* command;
    uint32_t timeout;
    const char* expected = "";
};

std::vector<CommandStep> List(std::initializer_list<StepSpec> specs) {
    std::vector<CommandStep> steps;
    for (const StepSpec& s : specs) {
        CommandStep step;
        EXPECT_TRUE(MakeStep(step, s.command, s.timeout, s.expected));
        steps.push_back(step);
    }
    steps.emplace_back();  // end marker
    return steps;
}

size_t Count(const std::string& haystack, std::string_view needle) {
    size_t n = 0;
    for (size_t p = haystack.find(needle); p != std::string::npos; p = haystack.find(needle, p + 1))
        ++n;
    return n;
}

class RunnerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        link = std::make_unique<RunningLink>(board.DevicePath());
        ASSERT_TRUE(link->opened);
    }
    RunContext Context() { return RunContext{link->state, link->port, link->log, panel}; }
    void Run(const std::vector<CommandStep>& steps) {
        RunContext ctx = Context();
        RunSteps(ctx, steps.data());
    }
    // Closes the link from another thread, the way a disconnect does, once `ready` holds (or
    // after 10 s, when the test's own check then fails).
    template <class Ready>
    std::thread DisconnectWhen(Ready ready) {
        return std::thread([this, ready] {
            WaitUntil(ready, 10s);
            link->port.Shutdown();
            link->state.SetLinkOpen(false);
        });
    }
    std::string Log() const { return link->log.Snapshot(); }

    sim::Board board;
    std::unique_ptr<RunningLink> link;
    RecordingPanel panel;
};

TEST_F(RunnerTest, AnEmptyListDisablesAndEnablesAndSendsNothing) {
    Run(List({}));
    EXPECT_EQ(panel.Enables(), (std::vector<bool>{false, true}));
    // The span measured: nothing arrives late either.
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(board.Received(), "");
    EXPECT_EQ(Log(), "");
}

TEST_F(RunnerTest, SendsEachCommandWithOneCrAndLogsItBeforeTheReply) {
    Run(List({{"AT+CSQ", 5000}, {"AT+CGMR", 5000}}));
    EXPECT_EQ(board.Received(), "AT+CSQ\rAT+CGMR\r");
    const std::string log = Log();
    EXPECT_EQ(log.rfind("AT+CSQ\r", 0), 0u) << log;  // the command comes first, then its echo
    EXPECT_NE(log.find("+CSQ: 18,99"), std::string::npos) << log;
    EXPECT_LT(log.find("+CSQ: 18,99"), log.find("AT+CGMR\r"));
    EXPECT_EQ(panel.Enables(), (std::vector<bool>{false, true}));
}

TEST_F(RunnerTest, HowARunEnds) {
    struct Case {
        const char* name;
        Behaviour behaviour;  // for AT+CSQ, the second of three steps
        uint32_t timeout;
        bool timeoutText;
        int minMs, maxMs;
        StepEnd end;  // as the stop record tells it
    };
    Behaviour silent{.kind = Behaviour::Kind::Silent};
    Behaviour error{.kind = Behaviour::Kind::Error};
    Behaviour both{.kind = Behaviour::Kind::OkAndError};
    Behaviour cme{.kind = Behaviour::Kind::Reply, .reply = "\r\n+CME ERROR: 3\r\n"};
    Behaviour late{.kind = Behaviour::Kind::Normal, .delay = 1500ms};
    const Case cases[] = {
        {"failure reply", error, 5000, false, 0, 1500, StepEnd::FailureReply},
        {"expected reply and ERROR in one line", both, 5000, false, 0, 1500, StepEnd::FailureReply},
        {"silence", silent, 700, true, 700, 2500, StepEnd::TimedOut},
        {"+CME ERROR is no failure reply", cme, 700, true, 700, 2500, StepEnd::TimedOut},
        {"reply later than the time-out", late, 700, true, 700, 2500, StepEnd::TimedOut},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        board.ClearBehaviours();
        board.SetBehaviour("AT+CSQ", c.behaviour);
        link.reset();  // a fresh link per case: nothing of the last case's traffic is left
        link = std::make_unique<RunningLink>(board.DevicePath());
        board.ClearRecords();
        RecordingPanel casePanel;
        RunContext ctx{link->state, link->port, link->log, casePanel};
        const auto steps = List({{"AT", 5000}, {"AT+CSQ", c.timeout}, {"AT+CGMR", 5000}});
        const auto start = SteadyClock::now();
        StepStop stop;
        EXPECT_EQ(RunSteps(ctx, steps.data(), &stop), RunOutcome::StepFailed);
        const auto ms = MsSince(start);
        EXPECT_EQ(board.Received(), "AT\rAT+CSQ\r");  // the list stopped; later steps unsent
        // The stop names the second step and, for a failure reply, the very line that held it.
        EXPECT_EQ(stop.index, 1);
        EXPECT_EQ(stop.command, "AT+CSQ");
        EXPECT_EQ(stop.end, c.end);
        const bool failure = c.end == StepEnd::FailureReply;
        EXPECT_EQ(stop.line.find("ERROR\r\n") != std::string::npos, failure) << stop.line;
        if (failure) {
            EXPECT_NE(Log().find(stop.line), std::string::npos) << stop.line;
        }
        EXPECT_EQ(Count(Log(), "...timeout...\r\n"), c.timeoutText ? 1u : 0u) << Log();
        EXPECT_GE(ms, c.minMs);
        EXPECT_LE(ms, c.maxMs);
        EXPECT_EQ(casePanel.Enables(), (std::vector<bool>{false, true}));
    }
}

TEST_F(RunnerTest, TimeoutTextComesOnceAfterTheTimeOut) {
    board.SetBehaviour("AT+CSQ", Behaviour{.kind = Behaviour::Kind::Silent});
    std::thread watcher;
    const auto start = SteadyClock::now();
    long long firstSeenMs = -1;
    watcher = std::thread([&] {
        if (WaitUntil([&] { return Log().find("...timeout...") != std::string::npos; }, 3s))
            firstSeenMs = MsSince(start);
    });
    Run(List({{"AT+CSQ", 1000}}));
    watcher.join();
    EXPECT_GE(firstSeenMs, 1000);
    EXPECT_LT(firstSeenMs, 1500);
    EXPECT_EQ(Count(Log(), "...timeout..."), 1u) << Log();
    EXPECT_TRUE(Log().ends_with("...timeout...\r\n")) << Log();
}

TEST_F(RunnerTest, WriteFailureLogsTheCommandThenTheSendError) {
    board.Vanish();
    Run(List({{"AT+CSQ", 5000}, {"AT", 5000}}));
    EXPECT_EQ(Log(), "AT+CSQ\rCOM send error.\r\n");
    EXPECT_EQ(panel.Enables(), (std::vector<bool>{false, true}));
}

TEST_F(RunnerTest, ExpectedReplyOfOneStepDoesNotCarryOver) {
    // The second step must wait for OK: a +KHTTP_IND line alone does not complete it.
    board.SetBehaviour("AT+KHTTPCLOSE", Behaviour{.kind = Behaviour::Kind::Reply,
                                                  .reply = "\r\n+KHTTP_IND: 1,1\r\n"});
    board.SetBehaviour(
        "AT+KSLEEP", Behaviour{.kind = Behaviour::Kind::Reply, .reply = "\r\n+KHTTP_IND: 1,1\r\n"});
    Run(List({{"AT+KSLEEP=2", 3000, "+KHTTP_IND"}, {"AT+KHTTPCLOSE=1", 800}, {"AT", 5000}}));
    EXPECT_EQ(board.Received(), "AT+KSLEEP=2\rAT+KHTTPCLOSE=1\r");
    EXPECT_EQ(Count(Log(), "...timeout...\r\n"), 1u);
}

// A step's own failure replies are that step's alone: the next one is judged by the four fixed
// replies again, so a numbered SMS error there is no failure and the step times out.
TEST_F(RunnerTest, FailureRepliesOfOneStepDoNotCarryOver) {
    board.SetBehaviour(
        "AT+CMGR", Behaviour{.kind = Behaviour::Kind::Reply, .reply = "\r\n+CMS ERROR: 321\r\n"});
    const std::vector<std::string> cms = {"+CMS ERROR"};
    auto steps = List({{"AT", 5000}, {"AT+CMGR=2", 700}});
    steps[0].failures = cms;
    RunContext ctx = Context();
    StepStop stop;
    EXPECT_EQ(RunSteps(ctx, steps.data(), &stop), RunOutcome::StepFailed);
    EXPECT_EQ(stop.index, 1);
    EXPECT_EQ(stop.end, StepEnd::TimedOut);
}

TEST_F(RunnerTest, DelayStepSendsNothingWhileTheLogKeepsFilling) {
    const auto steps = List({{"*", 800}, {"AT", 5000}});
    std::thread unsolicited([&] {
        std::this_thread::sleep_for(200ms);  // a point inside the 800 ms delay, not a sync
        board.Send("\r\n+CREG: 1\r\n");
    });
    const auto start = SteadyClock::now();
    Run(steps);
    unsolicited.join();
    const auto cmds = board.Commands();
    ASSERT_EQ(cmds.size(), 1u);
    EXPECT_EQ(cmds[0].text, "AT");
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(cmds[0].at - start).count(),
              795);
    EXPECT_EQ(Log().rfind("\r\n+CREG: 1\r\nAT\r", 0), 0u) << Log();
}

TEST_F(RunnerTest, NoWaitStepGoesOnRightAfterItsWrite) {
    board.SetBehaviour("AT+CMGS", Behaviour{.kind = Behaviour::Kind::Silent});
    Run(List({{"AT+CMGS=\"1\"", kNoWait}, {"AT", 5000}}));
    const auto cmds = board.Commands();
    ASSERT_EQ(cmds.size(), 2u);
    EXPECT_LT(
        std::chrono::duration_cast<std::chrono::milliseconds>(cmds[1].at - cmds[0].at).count(),
        150);
    EXPECT_EQ(panel.Enables(), (std::vector<bool>{false, true}));
}

TEST_F(RunnerTest, DisconnectWhileWaitingEndsSilentlyAndLeavesTheControlsDisabled) {
    board.SetBehaviour("AT+CSQ", Behaviour{.kind = Behaviour::Kind::Silent});
    std::thread disconnect = DisconnectWhen([this] { return board.Received() == "AT+CSQ\r"; });
    const auto start = SteadyClock::now();
    Run(List({{"AT+CSQ", 5000}, {"AT", 5000}}));
    const auto ms = MsSince(start);
    disconnect.join();
    EXPECT_LT(ms, 1000);
    EXPECT_EQ(Log().find("...timeout..."), std::string::npos);
    EXPECT_EQ(panel.Enables(), (std::vector<bool>{false}));  // never enabled on a closed link
}

TEST_F(RunnerTest, DisconnectDuringADelayFailsTheNextCommandAtOnce) {
    // Nothing shows the delay from outside: the disconnect comes at a point well inside it.
    const auto begun = SteadyClock::now();
    std::thread disconnect = DisconnectWhen([begun] { return MsSince(begun) >= 200; });
    const auto start = SteadyClock::now();
    Run(List({{"*", 3000}, {"AT+CSQ", 5000}, {"*", 3000}}));
    const auto ms = MsSince(start);
    disconnect.join();
    EXPECT_LT(ms, 1000);  // the pause is cut short
    EXPECT_EQ(Log(), "AT+CSQ\rCOM send error.\r\n");
    EXPECT_EQ(panel.Enables(), (std::vector<bool>{false}));
}

TEST_F(RunnerTest, WaitingForAReplyUsesNoCpu) {
    board.SetBehaviour("AT+CSQ", Behaviour{.kind = Behaviour::Kind::Silent});
    const double before = karvex::testing::CpuSeconds();
    Run(List({{"AT+CSQ", 1500}}));
    EXPECT_LT(karvex::testing::CpuSeconds() - before,
              0.15);  // under 10% of a core over 1.5 s; a busy poll takes all of it
}

}  // namespace
}  // namespace karvex
