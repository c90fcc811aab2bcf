// One simulated board and the real session (port, receive monitor, runner) connected to it.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "link/modem_port.h"
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

struct BoardRig {
    sim::Board board;
    TrafficLog log;
    RecordingPanel panel;
    ModemPort port;                          // a device path, or a board on another machine
    ModemSession session{log, panel, port};  // declared last: disconnects first

    BoardRig() { board.SetTimeLine(kServedTimeLine); }

    bool Connect() { return session.Connect(board.DevicePath()); }

    // Runs one item to its end.
    bool Run(const TestInputs& inputs) {
        if (!session.Execute(inputs)) return false;
        session.WaitIdle();
        return true;
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
