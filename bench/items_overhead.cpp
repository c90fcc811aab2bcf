// For each test item: its wall time on the simulated board against the least time it could take.
//
// The bound counts the item's delay steps, the clock item's pause, and for each waited command the
// board's own reply time plus the receive monitor's fixed pauses (30 ms after every line, 500 ms
// more after a line holding "JST", 200 ms before a success verdict), modelled on the board's sent
// bytes and their time stamps. Everything above it is overhead: thread start, purge, write,
// wake-ups, scheduling.
//
//   bench_items_overhead [repetitions]   (default 3; the median run per item is printed)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "link/serial_port.h"
#include "link/traffic_log.h"
#include "sequencer/modem_session.h"
#include "sequencer/operator_panel.h"
#include "sequencer/test_items.h"
#include "sim/board.h"
#include "tests/items/item_expectations.h"

namespace {

using namespace karvex;
using SteadyClock = std::chrono::steady_clock;

double Ms(SteadyClock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

class QuietPanel final : public OperatorPanel {
  public:
    void EnableInputs(bool) override {}
    void ShowMessage(const std::string& text) override {
        std::fprintf(stderr, "refused: %s\n", text.c_str());
    }
};

TestInputs Inputs(int item) {
    return testing::StandardInputs(item);
}

struct Line {
    SteadyClock::time_point ready;  // its LF left the board
    std::string text;
};

// The board's sent bytes cut into lines as the line reader cuts them: an LF ends a line from its
// third byte on, and a pause of more than a read time-out inside a line drops what came before.
std::vector<Line> SentLines(const std::vector<sim::TxChunk>& chunks) {
    std::vector<Line> lines;
    std::string current;
    SteadyClock::time_point last{};
    for (const sim::TxChunk& chunk : chunks) {
        if (chunk.at - last > std::chrono::milliseconds(101)) current.clear();
        last = chunk.at;
        for (char c : chunk.bytes) {
            current.push_back(c);
            if (c == '\n' && current.size() >= 3) {
                lines.push_back({chunk.at, current});
                current.clear();
            }
        }
    }
    return lines;
}

// The earliest verdict for a command that reached the board at `sent`: the monitor takes the lines
// that follow in turn, with its fixed pauses, until one holds `expected`.
SteadyClock::time_point EarliestVerdict(const std::vector<Line>& lines,
                                        SteadyClock::time_point sent, const std::string& expected) {
    using std::chrono::milliseconds;
    SteadyClock::time_point monitor = sent;
    for (const Line& line : lines) {
        if (line.ready < sent) continue;
        monitor = std::max(monitor, line.ready) + milliseconds(30);
        if (line.text.find("JST") != std::string::npos) monitor += milliseconds(500);
        if (line.text.find(expected) != std::string::npos) return monitor + milliseconds(200);
    }
    return monitor;  // no verdict seen: the bound ends with the lines
}

struct Figures {
    double wall = 0;
    double bound = 0;
};

Figures RunOnce(int item) {
    sim::Board board;
    board.SetTimeLine("Sat Mar  7 09:05:30 2026 JST");
    if (item == 7) {  // the store starts empty; give slot 1 a message
        board.SetBehaviour("AT+CMGR", {.kind = sim::Behaviour::Kind::Reply,
                                       .reply = std::string(testing::kStoredSmsReply)});
    }
    TrafficLog log;
    QuietPanel panel;
    SerialPort port;
    ModemSession session(log, panel, port);
    if (!session.Connect(board.DevicePath())) {
        std::fprintf(stderr, "cannot open %s\n", board.DevicePath().c_str());
        std::exit(1);
    }
    std::string message;
    const auto steps = BuildTestItem(Inputs(item), message);
    if (!steps) std::exit(1);

    const auto start = SteadyClock::now();
    session.Execute(Inputs(item));
    session.WaitIdle();
    const auto end = SteadyClock::now();

    // The bound: each command's earliest verdict, the delay steps between, and for the clock item
    // the pause and its one command (the last one the board took).
    const std::vector<Line> lines = SentLines(board.Sent());
    std::vector<sim::RxCommand> commands;
    for (sim::RxCommand& c : board.Commands()) {
        if (!c.text.empty()) commands.push_back(std::move(c));
    }
    double bound = 0;
    size_t k = 0;
    auto waited = [&](const std::string& expected) {
        const auto verdict =
            EarliestVerdict(lines, commands[k].at, expected.empty() ? "OK\r" : expected);
        bound += Ms(verdict - commands[k].at);
        ++k;
    };
    for (const CommandStep& step : *steps) {
        if (step.command[0] == '\0') break;
        if (step.command[0] == '*') {
            bound += step.timeout;
        } else if (k >= commands.size()) {
            std::fprintf(stderr, "item %d: the board took only %zu commands\n", item, k);
            std::exit(1);
        } else if (step.timeout == kNoWait) {
            ++k;
        } else {
            waited(step.expected);
        }
    }
    if (k < commands.size()) {  // the clock command after its pause
        bound += 5000;
        waited("");
    }
    return {Ms(end - start), bound};
}

}  // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    std::printf("item  wall_ms  bound_ms  overhead_ms  overhead_%%   (median of %d)\n",
                repetitions);
    double totalWall = 0;
    double totalBound = 0;
    for (int item = 0; item < kTestItemCount; ++item) {
        std::vector<Figures> runs;
        for (int r = 0; r < repetitions; ++r) runs.push_back(RunOnce(item));
        std::sort(runs.begin(), runs.end(), [](const Figures& a, const Figures& b) {
            return a.wall - a.bound < b.wall - b.bound;
        });
        const Figures& median = runs[runs.size() / 2];
        const double overhead = median.wall - median.bound;
        std::printf("%4d  %7.1f  %8.1f  %11.1f  %10.2f\n", item, median.wall, median.bound,
                    overhead, 100.0 * overhead / median.bound);
        totalWall += median.wall;
        totalBound += median.bound;
    }
    std::printf("all   %7.1f  %8.1f  %11.1f  %10.2f\n", totalWall, totalBound,
                totalWall - totalBound, 100.0 * (totalWall - totalBound) / totalBound);
    return 0;
}
