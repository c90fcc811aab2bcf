// Prints the link's figures, measured on a pseudo-terminal against the simulated board:
//   1. CPU used while one step waits 10 s for a reply that never comes;
//   2. turnaround: the module's final LF of a success line to the first byte of the next command;
//   3. a disconnect while the monitor sleeps its "JST" pause and the runner waits: time to join
//      both threads and close the port;
//   4. CPU with the link open after the device vanished;
//   5. closing the port while its line is stalled (hardware flow control on, the peer never
//      reading, the output queue full); Linux only, where the stalled line is a pty.
// Usage: bench_link [commands-for-turnaround (default 200)]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "sequencer/command_step.h"
#include "sequencer/modem_session.h"
#include "sim/board.h"
#include "support/cpu_time.h"
#ifndef _WIN32
#include "support/pty_pair.h"  // the stalled line is a pty with RTS/CTS set
#endif
#include "support/running_link.h"

using namespace std::chrono_literals;
using karvex::testing::CpuSeconds;
using karvex::testing::RecordingPanel;
using karvex::testing::RunningLink;
using SteadyClock = std::chrono::steady_clock;

namespace {

double Ms(SteadyClock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

std::vector<karvex::CommandStep> Steps(const char* command, uint32_t timeout, int count) {
    std::vector<karvex::CommandStep> steps(static_cast<size_t>(count) + 1);
    for (int i = 0; i < count; ++i)
        karvex::MakeStep(steps[static_cast<size_t>(i)], command, timeout);
    return steps;
}

// The board runs in this process: its own thread's CPU is counted too, which makes these upper
// bounds for the program alone.
void WaitCpu() {
    karvex::sim::Board board;
    board.SetBehaviour("AT+CSQ", {.kind = karvex::sim::Behaviour::Kind::Silent});
    RunningLink link(board.DevicePath());
    RecordingPanel panel;
    karvex::RunContext ctx{link.state, link.port, link.log, panel};
    const auto steps = Steps("AT+CSQ", 10000, 1);
    const double cpu0 = CpuSeconds();
    const auto t0 = SteadyClock::now();
    karvex::RunSteps(ctx, steps.data());
    const double wall = Ms(SteadyClock::now() - t0) / 1000.0;
    const double cpu = CpuSeconds() - cpu0;
    std::printf("wait for a reply that never comes: %.2f s wall, %.4f s CPU = %.3f%% of a core\n",
                wall, cpu, 100.0 * cpu / wall);
}

// With echo on, the echoed command is a line of its own and costs the monitor another 30 ms
// pause; the figure that matters is the one with echo off (item 0 turns it off).
void Turnaround(int count, bool echo) {
    karvex::sim::Board board;
    RunningLink link(board.DevicePath());
    RecordingPanel panel;
    karvex::RunContext ctx{link.state, link.port, link.log, panel};
    if (!echo) {
        const auto off = Steps("ATE0", 5000, 1);
        karvex::RunSteps(ctx, off.data());
    }
    const auto steps = Steps("AT", 5000, count);
    board.ClearRecords();
    karvex::RunSteps(ctx, steps.data());
    const auto commands = board.Commands();
    const auto sent = board.Sent();
    std::vector<double> gaps;
    for (size_t i = 1; i < commands.size(); ++i) {
        // The last chunk the board sent before command i arrived ends with the OK line of i-1.
        SteadyClock::time_point lastLf{};
        for (const auto& chunk : sent) {
            if (chunk.at <= commands[i].at && chunk.bytes.ends_with("OK\r\n")) lastLf = chunk.at;
        }
        gaps.push_back(Ms(commands[i].at - lastLf));
    }
    std::sort(gaps.begin(), gaps.end());
    if (gaps.empty()) return;
    auto pct = [&](double p) { return gaps[static_cast<size_t>(p * (gaps.size() - 1))]; };
    std::printf(
        "turnaround, echo %s, over %zu commands: min %.1f ms, median %.1f ms, p99 %.1f ms,"
        " max %.1f ms (fixed pauses: 230 ms, 260 ms with echo)\n",
        echo ? "on" : "off", gaps.size(), gaps.front(), pct(0.5), pct(0.99), gaps.back());
}

void DisconnectDuringPause() {
    std::vector<double> times;
    for (int round = 0; round < 20; ++round) {
        karvex::sim::Board board;
        board.SetBehaviour("AT+CSQ", {.kind = karvex::sim::Behaviour::Kind::Reply,
                                      .reply = "\r\nSat Mar  7 09:05:30 2026 JST\r\n"});
        karvex::SerialPort port;
        karvex::TrafficLog log;
        RecordingPanel panel;
        karvex::ModemSession session(log, panel, port);
        session.Connect(board.DevicePath());
        karvex::TestInputs inputs;
        inputs.item = 2;  // AT+CSQ, answered by a JST line: the monitor pauses, the runner waits
        session.Execute(inputs);
        while (log.Snapshot().find("JST") == std::string::npos) std::this_thread::sleep_for(1ms);
        const auto t0 = SteadyClock::now();
        session.Disconnect();
        times.push_back(Ms(SteadyClock::now() - t0));
    }
    std::sort(times.begin(), times.end());
    std::printf(
        "disconnect during the JST pause with a step waiting (20 rounds): median %.2f ms,"
        " max %.2f ms\n",
        times[times.size() / 2], times.back());
}

void VanishedCpu() {
    karvex::sim::Board board;
    RunningLink link(board.DevicePath());
    board.Vanish();
    std::this_thread::sleep_for(200ms);
    const double cpu0 = CpuSeconds();
    std::this_thread::sleep_for(5s);
    const double cpu = CpuSeconds() - cpu0;
    std::printf("link open after the device vanished: %.4f s CPU in 5 s = %.3f%% of a core\n", cpu,
                100.0 * cpu / 5.0);
}

#ifndef _WIN32
void CloseOnAStalledLine() {
    std::vector<double> times;
    size_t queued = 0;
    for (int round = 0; round < 20; ++round) {
        termios stalled = karvex::testing::RawSettings();
        stalled.c_cflag |= CRTSCTS;
        karvex::testing::PtyPair pty(stalled);
        karvex::SerialPort port;
        if (!port.Open(pty.Path(), 115200)) {
            std::printf("close on a stalled line: the pty did not open\n");
            return;
        }
        const std::string block(4096, 'A');
        queued = 0;
        // Nobody reads the other side: each write takes what fits and gives up after its time-out.
        for (int n; (n = port.Write(block.data(), static_cast<uint32_t>(block.size()))) > 0;) {
            queued += static_cast<size_t>(n);
            if (static_cast<size_t>(n) < block.size()) break;
        }
        const auto t0 = SteadyClock::now();
        port.Close();
        times.push_back(Ms(SteadyClock::now() - t0));
    }
    std::sort(times.begin(), times.end());
    std::printf(
        "close with %zu bytes stalled in the output queue (20 rounds): median %.3f ms,"
        " max %.3f ms\n",
        queued, times[times.size() / 2], times.back());
}
#endif

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 200;
    WaitCpu();
    Turnaround(count, false);
    Turnaround(count, true);
    DisconnectDuringPause();
    VanishedCpu();
#ifndef _WIN32
    CloseOnAStalledLine();
#endif
    return 0;
}
