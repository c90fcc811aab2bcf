// One simulated board and the real session (port, receive monitor, runner) connected to it.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "link/serial_port.h"
#include "link/traffic_log.h"
#include "sequencer/modem_session.h"
#include "sim/board.h"
#include "tests/items/item_expectations.h"
#include "tests/support/recording_panel.h"
#include "tests/support/timing.h"

namespace karvex::testing {

using Ms = std::chrono::milliseconds;

// The time line the rig's board serves, and the clock command it must lead to.
inline constexpr const char* kServedTimeLine = "Sat Mar  7 09:05:30 2026 JST";
inline constexpr const char* kClockCommand = "AT+CCLK=\"26/03/07,09:05:30+09\"";
inline constexpr uint32_t kBeforeClockMs = 5000;

// The steps an item takes on a board serving kServedTimeLine: item 3 goes on, after a pause, with
// the clock command (written here as a pause and a step).
inline std::vector<Step> ExpectedRun(int item, bool tolva2 = false) {
    std::vector<Step> steps = ExpectedSteps(item, tolva2);
    if (item == 3) {
        steps.push_back({"*", kBeforeClockMs, ""});
        steps.push_back({kClockCommand, 15000, ""});
    }
    return steps;
}

// The bytes the board must receive for `steps`: each command and its CR.
inline std::string WireBytes(const std::vector<Step>& steps) {
    std::string bytes;
    for (const Step& s : steps) {
        if (!s.IsDelay()) bytes += s.command + "\r";
    }
    return bytes;
}

constexpr long long kVerdictMs = 230;  // a success verdict follows its line by 230 ms
constexpr long long kSlackMs = 1500;   // the board's own reply time and a loaded machine
// The board stamps a byte when its thread reads it, which on a loaded machine can be a few
// milliseconds after the byte was written; gaps are whole milliseconds. Lower bounds allow that.
constexpr long long kStampMs = 10;

// Each command's arrival against the one before: at least the verdict time of a waited step plus
// the delay steps between them, and never the whole time-out of a step that was answered.
inline void ExpectSpacing(const std::vector<Step>& steps, const std::vector<sim::RxCommand>& got) {
    size_t k = 0;
    long long lower = 0;
    for (const Step& step : steps) {
        if (step.IsDelay()) {
            lower += step.timeout;
            continue;
        }
        ASSERT_LT(k, got.size()) << "missing " << step.command;
        if (k > 0) {
            const long long gap = MsBetween(got[k - 1].at, got[k].at);
            EXPECT_GE(gap, lower - kStampMs) << "before " << step.command;
            EXPECT_LE(gap, lower + kSlackMs) << "before " << step.command;
        }
        lower = step.timeout == kWriteOnly ? 0 : kVerdictMs;
        ++k;
    }
}

struct BoardRig {
    sim::Board board;
    TrafficLog log;
    RecordingPanel panel;
    SerialPort port;
    ModemSession session{log, panel, port};  // declared last: disconnects first

    BoardRig() { board.SetTimeLine(kServedTimeLine); }

    bool Connect() { return session.Connect(board.DevicePath()); }

    // Runs one item to its end.
    bool Run(const TestInputs& inputs) {
        if (!session.Execute(inputs)) return false;
        session.WaitIdle();
        return true;
    }

    // Runs one item on this thread, as the worker does, and tells how it ended.
    ItemReport Report(const TestInputs& inputs) {
        log.Clear();
        RunContext ctx{session.State(), port, log, panel};
        return RunTestItem(ctx, inputs);
    }

    // Commands as the board took them (the CR after an SMS text's 0x1A makes no command).
    std::vector<sim::RxCommand> Commands() const {
        std::vector<sim::RxCommand> commands;
        for (sim::RxCommand& c : board.Commands()) {
            if (!c.text.empty()) commands.push_back(std::move(c));
        }
        return commands;
    }
};

}  // namespace karvex::testing
