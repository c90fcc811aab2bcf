// karvex-run driving 16 simulated boards at once (the boards live in this process, the program
// runs as a child so that its CPU time is its own):
//   - CPU of karvex-run over a run of items 1, 2, 4, 6 in a loop, and over a pure wait (every
//     board silent on one command for its 5 s time-out), as a share of one core;
//   - per board, the time from the board's final LF of a reply to the next command's arrival
//     (median and 99th percentile);
//   - start to first command: from starting the program to each board's first command;
//   - the same gaps with the trace, HTML and JUnit reports on, to see what tracing costs.
//
// Measured twice in one run: the boards on local ports, then behind ser2net on 127.0.0.1.
//
//   bench_cli_boards [boards] [rounds]   (default 16 boards, 10 rounds of the four items)
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/karvex_run_child.h"
#include "sim/board.h"
#include "tests/support/ser2net.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

double Ms(SteadyClock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct ChildRun {
    double wallSeconds = 0;
    double cpuSeconds = 0;
    int status = -1;
    SteadyClock::time_point started{};
};

// Runs karvex-run with `args`, its output thrown away; its own CPU time from wait4.
ChildRun Run(const std::vector<std::string>& args) {
    ChildRun run;
    run.started = SteadyClock::now();
    const pid_t pid = karvex::bench::StartKarvexRun(args);
    if (pid < 0) return run;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.wallSeconds = std::chrono::duration<double>(SteadyClock::now() - run.started).count();
    auto secs = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    run.cpuSeconds = secs(usage.ru_utime) + secs(usage.ru_stime);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    const size_t at = std::min(values.size() - 1, static_cast<size_t>(p * values.size()));
    return values[at];
}

// Lines in `bytes` as the line reader cuts them: an LF ends a line from the line's third byte on.
int LineCount(const std::string& bytes) {
    int lines = 0;
    size_t length = 0;
    for (const char c : bytes) {
        ++length;
        if (c == '\n' && length >= 3) {
            ++lines;
            length = 0;
        }
    }
    return lines;
}

struct Gap {
    double ms;     // the reply's final LF to the next command's arrival
    double fixed;  // the monitor's own pauses in it: 30 ms per line of the reply, 200 ms more
};

// For each command after the first `skip`: the gap after the previous command's reply.
std::vector<Gap> Gaps(const karvex::sim::Board& board, size_t skip) {
    std::vector<Gap> gaps;
    const auto sent = board.Sent();
    const auto commands = board.Commands();
    for (size_t i = std::max<size_t>(skip, 1); i < commands.size(); ++i) {
        std::string reply;
        SteadyClock::time_point last{};
        for (const auto& chunk : sent) {
            if (chunk.at > commands[i - 1].at && chunk.at < commands[i].at) {
                reply += chunk.bytes;
                last = chunk.at;
            }
        }
        if (last == SteadyClock::time_point{}) continue;
        gaps.push_back({Ms(commands[i].at - last), 30.0 * LineCount(reply) + 200.0});
    }
    return gaps;
}

// One measurement of `boards`, each opened by karvex-run under its name in `names`.
void Measure(const char* label, std::vector<std::unique_ptr<karvex::sim::Board>>& boards,
             const std::vector<std::string>& names, int rounds) {
    const int boardCount = static_cast<int>(boards.size());
    std::printf("=== %s\n", label);
    std::vector<std::string> ports;
    for (size_t i = 0; i < boards.size(); ++i) {
        boards[i]->ClearBehaviours();
        boards[i]->ClearRecords();
        ports.push_back("--port");
        ports.push_back(names[i]);
    }

    // Item 0 first turns the echo off (ATE0), as a bench run would; its nine commands are not
    // counted.
    constexpr size_t kInitCommands = 9;
    std::string items = "0";
    for (int r = 0; r < rounds; ++r) items += ",1,2,4,6";
    // The same run without and with every report that records time (trace, HTML, JUnit), twice
    // each in turn: what tracing costs the reaction shows against the runs' own spread.
    const std::string reports =
        (std::filesystem::temp_directory_path() / ("bench-cli-boards-" + std::to_string(getpid())))
            .string();
    struct Figures {
        double excessMedian, excessP99;
    };
    auto measure = [&](bool traced, bool perBoard) {
        for (auto& board : boards) board->ClearRecords();
        std::vector<std::string> args = ports;
        args.insert(args.end(), {"--items", items, "--apn", "internet"});
        if (traced) {
            args.insert(args.end(), {"--trace-dir", reports + "/trace", "--html",
                                     reports + "/report.html", "--junit", reports + "/report.xml"});
        }
        const ChildRun loop = Run(args);
        std::printf(
            "%s%d boards, item 0 then items 1,2,4,6 x %d: exit %d, %.2f s wall, %.3f s CPU = "
            "%.2f%% of a core\n",
            traced ? "traced: " : "", boardCount, rounds, loop.status, loop.wallSeconds,
            loop.cpuSeconds, 100.0 * loop.cpuSeconds / loop.wallSeconds);

        std::vector<double> medians, p99s, excessMedians, excessP99s, firsts;
        for (size_t i = 0; i < boards.size(); ++i) {
            std::vector<double> gaps, excess;
            for (const Gap& g : Gaps(*boards[i], kInitCommands)) {
                gaps.push_back(g.ms);
                excess.push_back(g.ms - g.fixed);
            }
            medians.push_back(Percentile(gaps, 0.5));
            p99s.push_back(Percentile(gaps, 0.99));
            excessMedians.push_back(Percentile(excess, 0.5));
            excessP99s.push_back(Percentile(excess, 0.99));
            const auto commands = boards[i]->Commands();
            if (!commands.empty()) firsts.push_back(Ms(commands.front().at - loop.started));
            if (!perBoard) continue;
            std::printf(
                "  board %2zu: final LF -> next command median %.1f ms, p99 %.1f ms; above the "
                "monitor's pauses median %.1f ms, p99 %.1f ms (%zu gaps)\n",
                i + 1, medians.back(), p99s.back(), excessMedians.back(), excessP99s.back(),
                gaps.size());
        }
        auto worst = [](const std::vector<double>& v) {
            return *std::max_element(v.begin(), v.end());
        };
        std::printf(
            "final LF -> next command: worst board median %.1f ms, worst board p99 %.1f ms\n",
            worst(medians), worst(p99s));
        std::printf(
            "  of which above the monitor's fixed pauses (30 ms a line, 200 ms before the "
            "verdict): worst median %.1f ms, worst p99 %.1f ms\n",
            worst(excessMedians), worst(excessP99s));
        std::printf("start -> first command: min %.1f ms, median %.1f ms, max %.1f ms\n",
                    Percentile(firsts, 0), Percentile(firsts, 0.5), Percentile(firsts, 1.0));
        return Figures{worst(excessMedians), worst(excessP99s)};
    };
    std::vector<Figures> plain, traced;
    for (int pass = 0; pass < 2; ++pass) {
        plain.push_back(measure(false, pass == 0));
        traced.push_back(measure(true, false));
    }
    std::printf(
        "above the monitor's pauses, worst board: plain median %.1f / %.1f ms, p99 %.1f / %.1f "
        "ms; traced median %.1f / %.1f ms, p99 %.1f / %.1f ms\n",
        plain[0].excessMedian, plain[1].excessMedian, plain[0].excessP99, plain[1].excessP99,
        traced[0].excessMedian, traced[1].excessMedian, traced[0].excessP99, traced[1].excessP99);
    std::filesystem::remove_all(reports);

    // A pure wait: every board silent on AT+CSQ until the step's 5 s time-out.
    for (auto& board : boards) {
        karvex::sim::Behaviour silent;
        silent.kind = karvex::sim::Behaviour::Kind::Silent;
        board->SetBehaviour("AT+CSQ", silent);
        board->ClearRecords();
    }
    std::vector<std::string> args = ports;
    args.insert(args.end(), {"--items", "2"});
    const ChildRun wait = Run(args);
    std::printf(
        "%d boards waiting on a silent step (5 s time-out): exit %d, %.2f s wall, %.3f s "
        "CPU = %.2f%% of a core\n",
        boardCount, wait.status, wait.wallSeconds, wait.cpuSeconds,
        100.0 * wait.cpuSeconds / wait.wallSeconds);
}

}  // namespace

int main(int argc, char** argv) {
    const int boardCount = argc > 1 ? std::atoi(argv[1]) : 16;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 10;
    std::vector<std::unique_ptr<karvex::sim::Board>> boards;
    std::vector<std::string> devices;
    for (int i = 0; i < boardCount; ++i) {
        boards.push_back(std::make_unique<karvex::sim::Board>());
        devices.push_back(boards.back()->DevicePath());
    }
    // In one run, so that all see the same machine: the boards on local ports, then the same
    // boards behind ser2net on 127.0.0.1 (one server each), set up as the README says
    // (chardelay: false) and with ser2net's default chardelay.
    Measure("local ports", boards, devices, rounds);
    for (const bool chardelay : {false, true}) {
        std::vector<std::unique_ptr<karvex::testing::Ser2net>> servers;
        std::vector<std::string> addresses;
        for (const std::string& device : devices) {
            servers.push_back(std::make_unique<karvex::testing::Ser2net>(device, chardelay));
            if (!servers.back()->Running()) {
                std::fprintf(stderr, "ser2net did not start for %s\n", device.c_str());
                return 1;
            }
            addresses.push_back(
                servers.back()->Address(karvex::testing::Ser2net::Accepter::Rfc2217));
        }
        Measure(chardelay ? "rfc2217://127.0.0.1, ser2net with its default chardelay"
                          : "rfc2217://127.0.0.1, ser2net with chardelay: false",
                boards, addresses, rounds);
    }
    return 0;
}
