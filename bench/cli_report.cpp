// The cost of karvex-run's reports for a big run, on the program's own code: 16 boards × 12
// items × 100 rounds of made-up but typical results (each step a write, its echo, a reply line
// and OK; 3% of the item runs failing) fed to the run's summary as the boards would feed it, then
// the JUnit and HTML reports written as at the end of the run. Prints the times and the sizes.
//
//   bench_cli_report [boards] [rounds]   (default 16 boards, 100 rounds; all twelve items)
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "cli/html_report.h"
#include "cli/reports.h"
#include "cli/run_summary.h"
#include "link/log_file.h"

namespace {

using namespace karvex;
using namespace karvex::cli;
using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Item `item` as a board runs it from `start` (ms): its steps, their traffic, its verdict.
ItemResult MadeUpRun(const RunPlan& plan, int round, int item, double start, std::mt19937& random) {
    ItemResult r;
    r.round = round;
    r.position = item;
    r.item = item;
    TestInputs inputs = plan.inputs;
    inputs.item = item;
    std::string message;
    const auto list = BuildTestItem(inputs, message);
    std::uniform_real_distribution<double> reply(231, 300);
    const bool fails = std::uniform_int_distribution<int>(0, 99)(random) < 3;
    double t = start, pause = 0;
    for (size_t i = 0; list && (*list)[i].command[0] != '\0'; ++i) {
        const CommandStep& step = (*list)[i];
        if (step.command[0] == '*') {
            pause += step.timeout;
            continue;
        }
        t += pause;
        TraceStep s;
        s.index = static_cast<int>(i);
        s.command = step.command;
        s.timeout = step.timeout;
        s.pauseBeforeMs = static_cast<uint32_t>(pause);
        s.written = t;
        s.ended = t + reply(random);
        const bool last = (*list)[i + 1].command[0] == '\0';
        s.end = fails && last ? StepEnd::FailureReply : StepEnd::Done;
        s.line = s.end == StepEnd::Done ? "\r\nOK\r\n" : "\r\nERROR\r\n";
        r.trace.chunks.push_back({t, true, s.command + "\r"});
        r.trace.chunks.push_back({t + 1, false, s.command + "\r\r\n"});
        r.trace.chunks.push_back({t + 31, false, "+INFO: 18,99\r\n"});
        r.trace.chunks.push_back({t + 61, false, s.line});
        if (s.end == StepEnd::FailureReply) {
            r.report.verdict = ItemVerdict::Failed;
            r.report.stop = {static_cast<int>(i), StepEnd::FailureReply, s.command, s.line};
        }
        t = s.ended;
        pause = 0;
        r.trace.steps.push_back(std::move(s));
    }
    r.trace.start = start;
    r.trace.end = t;
    r.seconds = (t - start) / 1000;
    for (const TraceChunk& chunk : r.trace.chunks) r.log += chunk.bytes;
    r.maskedLog = r.log;
    r.maskedTrace = r.trace;
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    const int boards = argc > 1 ? std::atoi(argv[1]) : 16;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 100;
    RunPlan plan;
    for (int b = 0; b < boards; ++b) plan.boards.push_back({"COM" + std::to_string(b + 1), "", b});
    for (int i = 0; i < kTestItemCount; ++i) plan.items.push_back(i);
    plan.inputs.apn = "internet";
    plan.inputs.user = "user";
    plan.inputs.password = "pass";
    plan.inputs.phone = "09012345678";
    plan.inputs.smsNumber = "1";
    plan.repeat = rounds;
    plan.htmlPath = "report.html";
    plan.junitPath = "report.xml";

    RunSummary summary(plan, "2026-03-07T00:00:00.000Z");
    std::mt19937 random(7);
    double adding = 0;
    for (int round = 1; round <= rounds; ++round) {
        for (const BoardTarget& board : plan.boards) {
            double t = (round - 1) * 60000.0;
            for (const int item : plan.items) {
                ItemResult r = MadeUpRun(plan, round, item, t, random);
                r.roundStart = (round - 1) * 60000.0;
                t = r.trace.end + 1;
                const auto start = Clock::now();
                summary.Add(board, r);
                adding += MsSince(start);
            }
            summary.RoundDone(board);
        }
    }
    const int runs = boards * kTestItemCount * rounds;
    std::printf(
        "%d boards x %d items x %d rounds: adding the %d item runs to the summary %.1f ms "
        "(%.1f us each)\n",
        boards, kTestItemCount, rounds, runs, adding, 1000 * adding / runs);

    const std::filesystem::path dir = std::filesystem::temp_directory_path();
    const std::string html =
        (dir / ("bench-report-" + std::to_string(getpid()) + ".html")).string();
    const std::string junit =
        (dir / ("bench-report-" + std::to_string(getpid()) + ".xml")).string();
    for (int pass = 1; pass <= 3; ++pass) {
        auto start = Clock::now();
        const RunSummary copy = summary;  // as karvex-run draws it: from a copy
        const double copying = MsSince(start);
        start = Clock::now();
        const std::string page = HtmlReport(copy);
        const double drawing = MsSince(start);
        start = Clock::now();
        SaveLogFile(html, page);
        const double saving = MsSince(start);
        start = Clock::now();
        const std::string xml = JUnitXml(summary);
        SaveLogFile(junit, xml);
        const double junitMs = MsSince(start);
        std::printf(
            "pass %d: HTML %.0f KiB: copy %.1f ms, draw %.1f ms, save %.1f ms; JUnit %.0f "
            "KiB: %.1f ms\n",
            pass, page.size() / 1024.0, copying, drawing, saving, xml.size() / 1024.0, junitMs);
    }
    std::filesystem::remove(html);
    std::filesystem::remove(junit);
    return 0;
}
