// What the reports say about a whole run, kept as the items end: per board and item the verdict
// counts and durations, per step the reply times, the item runs the HTML report shows. Its size
// does not grow with the number of rounds beyond fixed caps.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "cli/board_run.h"

namespace karvex::cli {

// Durations (ms) of one thing across rounds: count, exact minimum and maximum, and a histogram
// (buckets 1 ms wide up to 1 s, 10 ms up to 10 s, 100 ms up to 100 s, 1 s beyond) from which the
// median and the 99th percentile come to within a bucket's width.
class Durations {
  public:
    void Add(double ms);
    size_t Count() const { return count_; }
    double Min() const { return min_; }
    double Max() const { return max_; }
    // Nearest rank: the value below which lie at least q of all; 0 when there is none.
    double Quantile(double q) const;

  private:
    std::map<uint32_t, uint32_t> buckets_;  // bucket → count; a step's replies fill few
    size_t count_ = 0;
    double min_ = 0, max_ = 0;
};

struct StepFigures {
    int list = 0, index = 0;
    std::string command;        // as reports show it (masked), CP932
    Durations replies;          // write → verdict of the steps a line decided
    std::array<int, 5> ends{};  // how often it ended each way, by StepEnd
};

// What the JUnit report says of an item that did not pass in some round: the last such round,
// a failure (the board's answer) before an error (lost link, interruption).
struct NotPassed {
    int round = 0;
    bool failure = false;
    std::string type;     // the verdict word
    std::string message;  // UTF-8
    std::string log;      // the item's traffic, masked, UTF-8
};

struct ItemFigures {
    int position = 0, item = 0;
    std::string name;  // the item's short name, or a sequence's file name
    int runs = 0, passed = 0;
    std::vector<std::pair<std::string, int>> verdicts;  // verdict word → count, first seen first
    double seconds = 0;                                 // all rounds together
    Durations durations;                                // of each run, ms
    std::vector<StepFigures> steps;                     // by list and index
    int notPassedRuns = 0;
    NotPassed notPassed;
};

// An item run as the HTML report shows it: masked, its traffic capped.
struct KeptRun {
    int round = 0, position = 0, item = 0;
    std::string name;             // the item's short name, or a sequence's file name
    std::string verdict, reason;  // verdict word; what the reports say of a run that did not pass
    double seconds = 0, roundStart = 0;
    ItemTrace trace;
    size_t droppedBytes = 0;  // traffic beyond the cap, not kept
};

// Rounds in at most kMaxRoundBins bins: when there are more, neighbours merge (each bin then
// holds twice as many rounds).
struct RoundBin {
    int first = 0, last = 0;
    int passedRounds = 0, otherRounds = 0;
    std::string worst;  // the worst verdict word of its rounds
};

struct BoardFigures {
    const BoardTarget* board = nullptr;
    bool openFailed = false;
    int roundsDone = 0;
    std::vector<ItemFigures> items;  // by position in the plan; runs == 0: never ran
    std::vector<RoundBin> rounds;
    int roundsPerBin = 1;
    std::string roundWorst;  // of the round that is running
    std::vector<KeptRun> lastRound, thisRound;
    std::vector<KeptRun>
        notPassed;  // the first kKeptFailures runs that did not pass, and the latest
};

class RunSummary {
  public:
    static constexpr size_t kMaxRoundBins = 200;
    static constexpr size_t kKeptFailures = 8;
    static constexpr size_t kKeptTrafficBytes = 64 * 1024;  // per kept run

    RunSummary(const RunPlan& plan, std::string startedUtc);

    void Add(const BoardTarget& board, const ItemResult& result);
    void RoundDone(const BoardTarget& board);
    void OpenFailed(const BoardTarget& board);

    const RunPlan& Plan() const { return *plan_; }
    const std::string& StartedUtc() const { return started_; }
    const std::vector<BoardFigures>& Boards() const { return boards_; }
    double EndMs() const { return endMs_; }  // the latest end of an item, ms from the run's start
    bool AnyNotPassed() const;

  private:
    const RunPlan* plan_;
    std::string started_;
    std::vector<BoardFigures> boards_;
    double endMs_ = 0;
};

// The summary of a run of rounds: per board and item the pass rate and verdict counts, per step
// the reply times. As text (lines fit for a terminal) and as one JSON object {"summary": ...}.
std::string SummaryText(const RunSummary& summary);
std::string SummaryJson(const RunSummary& summary);

// How bad a verdict word is, for colours and for the worst of a round: 0 passed.
int Severity(const std::string& verdict);

}  // namespace karvex::cli
