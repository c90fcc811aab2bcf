// What the operator sees when the board misbehaves, through the real window: item 2 (AT+CSQ, one
// step of 5000 ms) against each fault; the traffic log as the window holds it, how long the run
// took, and that the controls come back. Each case runs in a process of its own on its own COM
// port, so the slow ones run side by side.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <string>

#include "sequencer/command_step.h"
#include "tests/soak/event_loop.h"
#include "tests/soak/window_soak_rig.h"
#include "window/log_widget.h"

namespace karvex::soak {
namespace {

using namespace std::chrono_literals;
using sim::Behaviour;
using Kind = sim::Behaviour::Kind;
using SteadyClock = std::chrono::steady_clock;

constexpr long long kStepMs = 5000;   // item 2's one step
constexpr long long kSlackMs = 1500;  // a loaded two-core machine, sanitizers included

// Line noise with a NUL, a lone CP932 lead byte, Ctrl-Z and 0xFF, and more than 80 bytes.
const std::string kNoise = std::string("\xFF\x1A\x81 noise\0\r\r", 13) + std::string(100, '#');

struct Fault {
    const char* name;
    int com;
    Behaviour behaviour;
    std::string logEnd;  // what the log ends with when the run has ended
    long long minMs;     // from the press to the end of the run
    long long maxMs;
    std::string laterLogEnd = {};  // what it ends with a little later (a late answer)
};

void PrintTo(const Fault& f, std::ostream* os) {
    *os << f.name;
}

size_t Count(const std::string& text, std::string_view needle) {
    size_t n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
        ++n;
    }
    return n;
}

class FaultTable : public ::testing::TestWithParam<Fault> {};

TEST_P(FaultTable, WhatTheOperatorSees) {
    const Fault& f = GetParam();
    WindowRig rig(f.com);
    rig.board.SetBehaviour("AT+CSQ", f.behaviour);
    rig.Connect();
    ASSERT_TRUE(rig.dlg->LinkOpen());

    const auto start = SteadyClock::now();
    rig.Execute(2);
    ASSERT_TRUE(RunUntil([&] { return !rig.dlg->Session().Running(); }, 20s));
    const long long ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start).count();
    RunFor(50ms);  // the run's last requests to the window are carried out
    EXPECT_TRUE(rig.ExecuteEnabled()) << "the controls come back";
    const std::string log = rig.dlg->Log().Snapshot();

    EXPECT_TRUE(log.starts_with("AT+CSQ\r")) << log;
    EXPECT_TRUE(log.ends_with(f.logEnd)) << log;
    EXPECT_GE(ms, f.minMs);
    EXPECT_LE(ms, f.maxMs);
    EXPECT_LE(Count(log, kTimeoutText), 1u) << log;
    EXPECT_TRUE(rig.OpenMessages().isEmpty()) << "faults of the board go to the log only";
    EXPECT_EQ(rig.Caption(), QStringLiteral("切断")) << "the link stays open";

    if (!f.laterLogEnd.empty()) {
        EXPECT_TRUE(
            RunUntil([&] { return rig.dlg->Log().Snapshot().ends_with(f.laterLogEnd); }, 5s))
            << rig.dlg->Log().Snapshot();
    }
    // The view shows the same text.
    EXPECT_TRUE(RunUntil(
        [&] { return rig.ViewText() == LogWidget::ShownText(rig.dlg->Log().Snapshot()); }, 5s));
}

Behaviour Late(std::chrono::milliseconds delay) {
    Behaviour b;
    b.delay = delay;
    return b;
}

const std::string kTimeout(kTimeoutText);

INSTANTIATE_TEST_SUITE_P(
    Board, FaultTable,
    ::testing::Values(
        Fault{"answers", 70, {}, "\r\nOK\r\n", 200, 200 + kSlackMs},
        Fault{"silent",
              71,
              {.kind = Kind::Silent},
              "AT+CSQ\r" + kTimeout,
              kStepMs,
              kStepMs + kSlackMs},
        Fault{"error", 72, {.kind = Kind::Error}, "\r\nERROR\r\n", 0, kSlackMs},
        Fault{"numbered error is no failure reply",
              73,
              {.kind = Kind::Reply, .reply = "\r\n+CME ERROR: 3\r\n"},
              "+CME ERROR: 3\r\n" + kTimeout,
              kStepMs,
              kStepMs + kSlackMs},
        Fault{"late within the time-out", 74, Late(2000ms), "\r\nOK\r\n", 2200, 2200 + kSlackMs},
        Fault{"late past the time-out", 75, Late(6000ms), kTimeout, kStepMs, kStepMs + kSlackMs,
              "\r\nOK\r\n"},
        Fault{"noise before the answer", 76, {.before = kNoise}, "\r\nOK\r\n", 200, 200 + kSlackMs},
        Fault{"noise instead of the answer",
              77,
              {.kind = Kind::Reply, .reply = kNoise + "\r\n"},
              kTimeout,
              kStepMs,
              kStepMs + kSlackMs},
        Fault{"vanishes on the command",
              78,
              {.kind = Kind::Vanish},
              "AT+CSQ\r" + kTimeout,
              kStepMs,
              kStepMs + kSlackMs}),
    [](const auto& info) {
        std::string name;
        for (const char* c = info.param.name; *c != '\0'; ++c) {
            if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
        }
        return name;
    });

// After the device vanished, the next run cannot write its command: the send error at once.
TEST(FaultTableVanished, NextRunEndsWithTheSendError) {
    WindowRig rig(79);
    rig.Connect();
    ASSERT_TRUE(rig.dlg->LinkOpen());
    rig.board.Vanish();
    const auto start = SteadyClock::now();
    rig.Execute(2);
    ASSERT_TRUE(RunUntil([&] { return !rig.dlg->Session().Running(); }, 10s));
    const long long ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start).count();
    EXPECT_EQ(rig.dlg->Log().Snapshot(), "AT+CSQ\rCOM send error.\r\n");
    EXPECT_LE(ms, kSlackMs);
    EXPECT_TRUE(rig.OpenMessages().isEmpty());
}

}  // namespace
}  // namespace karvex::soak
