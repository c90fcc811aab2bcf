// A link with its receive monitor running, stopped the way the session stops it, and a panel that
// records what the core asked of the window.
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/receive_monitor.h"
#include "link/serial_port.h"
#include "sequencer/command_step.h"
#include "support/recording_panel.h"

namespace karvex::testing {

class RunningLink {
  public:
    explicit RunningLink(const std::string& path) {
        opened = port.Open(path, 115200);
        state.SetLinkOpen(opened);
        if (opened) monitor = std::thread([this] { ReceiveMonitor(state, port, log); });
    }
    ~RunningLink() { Disconnect(); }
    RunningLink(const RunningLink&) = delete;
    RunningLink& operator=(const RunningLink&) = delete;

    void Disconnect() {
        port.Shutdown();
        state.SetLinkOpen(false);
        if (monitor.joinable()) monitor.join();
        port.Close();
    }
    // Milliseconds from now until the result flag leaves Waiting, or -1 after `limit`.
    long long MsUntilVerdict(std::chrono::milliseconds limit) {
        const auto start = std::chrono::steady_clock::now();
        state.WaitForVerdict(start + limit);
        if (state.Result() == Verdict::Waiting) return -1;
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start)
            .count();
    }

    bool opened = false;
    SerialPort port;
    LinkState state;
    TrafficLog log;
    std::thread monitor;
};

}  // namespace karvex::testing
