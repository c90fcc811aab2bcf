// karvex-run's report code on its own, where a whole run would take too long or could not show
// the fault: statistics of long replies, thousands of rounds, the trace's chunks and escaping,
// and the long-run options.
#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

#include "cli/reports.h"
#include "cli/run_plan.h"
#include "cli/run_summary.h"
#include "cli/trace_recorder.h"
#include "gtest/gtest.h"
#include "tests/cli/browser.h"

namespace karvex::cli {
namespace {

// The histogram's bucket width at `ms`.
double Width(double ms) {
    return ms < 1000 ? 1 : ms < 10000 ? 10 : ms < 100000 ? 100 : 1000;
}

TEST(Durations, QuantilesWithinABucketOfTheExactOnes) {
    std::vector<std::vector<double>> sets = {
        {231.2, 231.9, 260.4, 262.0, 290.7},  // the monitor's pauses and a little
        {15000},                              // one clock step's time-out
        {},
    };
    for (int i = 0; i < 900; ++i) sets[2].push_back(1000 + i * 9.7);  // HTTP replies, 1 to 10 s
    sets.push_back(std::vector<double>(99, 5000.4));
    sets.back().push_back(30000);  // a network time-out among quick ones
    for (const std::vector<double>& values : sets) {
        Durations d;
        for (const double v : values) d.Add(v);
        std::vector<double> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(d.Count(), values.size());
        EXPECT_EQ(d.Min(), sorted.front());
        EXPECT_EQ(d.Max(), sorted.back());
        for (const double q : {0.5, 0.99}) {
            const double exact = sorted[static_cast<size_t>(std::ceil(q * sorted.size())) - 1];
            EXPECT_NEAR(d.Quantile(q), exact, Width(exact) / 2) << "q " << q << " of " << exact;
        }
    }
}

RunPlan OneBoardOneItem() {
    RunPlan plan;
    plan.boards.push_back({"COM3", "\\\\.\\COM3", 0});
    plan.items = {2};
    plan.repeat = 0;
    plan.htmlPath = "report.html";
    return plan;
}

ItemResult MadeUpRun(int round, bool fails) {
    ItemResult r;
    r.round = round;
    r.item = 2;
    r.seconds = 0.29;
    TraceStep step;
    step.index = 0;
    step.command = "AT+CSQ";
    step.timeout = 5000;
    step.written = round * 1000.0;
    step.ended = step.written + (fails ? 60 : 290);
    step.end = fails ? StepEnd::FailureReply : StepEnd::Done;
    r.maskedTrace.steps = {step};
    r.maskedTrace.chunks = {{step.written, true, "AT+CSQ\r"}};
    if (fails) {
        r.report.verdict = ItemVerdict::Failed;
        r.report.stop = {0, StepEnd::FailureReply, "AT+CSQ", "ERROR\r\n"};
    }
    return r;
}

// Ten thousand rounds, a failure every 500: the rounds stay in at most 200 bins that cover each
// round once, the failures in bins drawn as failed; the HTML keeps the first eight failing runs
// and the latest; the JUnit report names the latest failure and the count, before an error.
TEST(RunSummary, LongRunsStayBoundedAndLoseNoRound) {
    const RunPlan plan = OneBoardOneItem();
    RunSummary summary(plan, "2026-03-07T00:00:00.000Z");
    constexpr int kRounds = 10000;
    for (int round = 1; round <= kRounds; ++round) {
        summary.Add(plan.boards[0], MadeUpRun(round, round % 500 == 0));
        summary.RoundDone(plan.boards[0]);
    }
    ItemResult interrupted = MadeUpRun(kRounds + 1, true);
    interrupted.ending = Ending::Interrupted;
    summary.Add(plan.boards[0], interrupted);
    summary.RoundDone(plan.boards[0]);

    const BoardFigures& b = summary.Boards()[0];
    ASSERT_LE(b.rounds.size(), RunSummary::kMaxRoundBins);
    int next = 1, passed = 0, other = 0;
    for (const RoundBin& bin : b.rounds) {
        EXPECT_EQ(bin.first, next);
        next = bin.last + 1;
        passed += bin.passedRounds;
        other += bin.otherRounds;
        if (bin.last / 500 > (bin.first - 1) / 500) {
            EXPECT_EQ(bin.worst, "failed") << bin.first;
        } else if (bin.last <= kRounds) {
            EXPECT_EQ(bin.worst, "passed") << bin.first;
        }
    }
    EXPECT_EQ(next, kRounds + 2);
    EXPECT_EQ(passed, kRounds - kRounds / 500);
    EXPECT_EQ(other, kRounds / 500 + 1);

    std::vector<int> kept;
    for (const KeptRun& run : b.notPassed) kept.push_back(run.round);
    EXPECT_EQ(kept, (std::vector<int>{500, 1000, 1500, 2000, 2500, 3000, 3500, 4000, kRounds + 1}));
    const ItemFigures& f = b.items[0];
    EXPECT_EQ(f.steps.size(), 1u);
    EXPECT_EQ(f.steps[0].replies.Count(), static_cast<size_t>(kRounds + 1));
    const std::string junit = JUnitXml(summary);
    EXPECT_NE(junit.find("failed at step 1 (AT+CSQ): ERROR (round 10000; did not pass in 21 of "
                         "10001 rounds)"),
              std::string::npos)
        << junit;
}

// A received line is one chunk timed at its first byte: a CR LF in front stays with it, a read
// time-out in the middle does not cut it, a write does, and so does a flood without line ends.
TEST(TraceRecorder, OneChunkPerLineAndPerWrite) {
    struct Case {
        const char* name;
        std::vector<std::string> events;  // ">bytes" written, "<bytes" read byte by byte, "" a
                                          // read that timed out
        std::vector<std::string> chunks;  // the same way
    };
    const std::string flood(600, 'x');
    const Case cases[] = {
        {"echo",
         {">AT+CSQ\r", "<AT+CSQ\r\r\n\r\n+CSQ: 18,99\r\n\r\nOK\r\n"},
         {">AT+CSQ\r", "<AT+CSQ\r\r\n", "<\r\n+CSQ: 18,99\r\n", "<\r\nOK\r\n"}},
        {"slow", {"<\r\nO", "", "<K\r\n"}, {"<\r\nOK\r\n"}},
        {"write", {"<par", ">AT\r", "<tial\r\n"}, {"<par", ">AT\r", "<tial\r\n"}},
        {"flood", {"<" + flood}, {"<" + flood.substr(0, 512), "<" + flood.substr(512)}},
    };
    for (const Case& c : cases) {
        TraceRecorder recorder(SteadyClock::now());
        for (const std::string& e : c.events) {
            if (e.empty()) recorder.Read(nullptr, 0);
            if (!e.empty() && e[0] == '>') recorder.Wrote(e.substr(1));
            for (size_t i = 1; !e.empty() && e[0] == '<' && i < e.size(); ++i) {
                recorder.Read(&e[i], 1);
            }
        }
        std::vector<std::string> chunks;
        for (const TraceChunk& chunk : recorder.Take().chunks) {
            chunks.push_back((chunk.sent ? ">" : "<") + chunk.bytes);
        }
        EXPECT_EQ(chunks, c.chunks) << c.name;
    }
}

// Every byte comes back from its JSON string; a command stays greppable.
TEST(TraceFile, BytesComeBackFromTheirJsonString) {
    std::string every;
    for (int i = 0; i < 256; ++i) every += static_cast<char>(i);
    const std::string json = JsonBytes(every + "AT+KCNXCFG=1,\"GPRS\"");
    EXPECT_EQ(clitest::Bytes(nlohmann::json::parse(json)), every + "AT+KCNXCFG=1,\"GPRS\"");
    EXPECT_TRUE(
        std::all_of(json.begin(), json.end(), [](char c) { return c >= 0x20 && c < 0x7F; }));
    EXPECT_NE(JsonBytes("AT+CGMR\r").find("AT+CGMR"), std::string::npos);
}

// The long-run options: units together, and which limit a run has when only some are given.
TEST(Options, RoundsAndDurations) {
    struct Case {
        std::vector<std::string> args;
        int repeat;
        long long forMs, everyMs;
    };
    const Case cases[] = {
        {{}, 1, 0, 0},
        {{"--for", "90m"}, 0, 5400000, 0},
        {{"--for", "1h30m", "--repeat", "5"}, 5, 5400000, 0},
        {{"--every", "1.5s"}, 0, 0, 1500},
        {{"--every", "500ms", "--for", "12h"}, 0, 43200000, 500},
        {{"--for", "2d"}, 0, 172800000, 0},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"karvex-run", "--port", "COM3", "--items", "1"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        const auto parsed = ParseCommandLine(static_cast<int>(argv.size()), argv.data());
        ASSERT_TRUE(std::holds_alternative<RunPlan>(parsed)) << args.back();
        const RunPlan& plan = std::get<RunPlan>(parsed);
        EXPECT_EQ(plan.repeat, c.repeat) << args.back();
        EXPECT_EQ(plan.runFor.count(), c.forMs) << args.back();
        EXPECT_EQ(plan.every.count(), c.everyMs) << args.back();
    }
}

}  // namespace
}  // namespace karvex::cli
