// One board's session: its own port, receive monitor and worker thread; the items run one after
// the other on the worker, and each result goes to the sink as soon as it is known.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/run_plan.h"
#include "cli/trace_recorder.h"
#include "cli/watched_port.h"
#include "link/link_state.h"
#include "link/modem_port.h"
#include "link/traffic_log.h"
#include "sequencer/test_items.h"

namespace karvex::cli {

enum class Ending {
    Ran,          // the item ran to its verdict
    Interrupted,  // stopped by Ctrl-C while it ran
    LinkGone,     // not sent: the link had been lost on an earlier item
};

struct ItemResult {
    int round = 0;     // from 1 in a run of rounds; 0 in a run without
    int position = 0;  // 0-based position in the plan's item list
    int item = 0;
    std::string name;  // the item's short name, or a sequence's file name
    ItemReport report;
    Ending ending = Ending::Ran;
    double seconds = 0;
    std::string log;  // the traffic log of this item, byte for byte
    // The log as reports show it: the user name and password masked, as in report.stop.
    std::string maskedLog;
    double roundStart = 0;  // ms from the run's start: 0 for the first round, else when it began
    ItemTrace trace;        // byte for byte, with the traffic that came since the last item
    ItemTrace maskedTrace;  // as reports show it: the traffic of the item alone, masked
};

// What a board tells beside its results, on its worker thread.
struct RunHooks {
    SteadyClock::time_point origin = SteadyClock::now();  // the run's start, shared by the boards
    // A round has ended (the last one too, however it ended).
    std::function<void(const BoardTarget&, int round)> roundDone;
    // Traffic that came while no item ran (between rounds, and at the end).
    std::function<void(const BoardTarget&, std::vector<TraceChunk>)> traffic;
};

// What a board is doing now, for the progress line.
struct BoardProgress {
    int position = -1;  // -1: not started or finished
    std::string command;
    std::chrono::steady_clock::time_point sentAt{};
    uint32_t timeoutMs = 0;
    int round = 0;
};

class BoardRun {
  public:
    using Sink = std::function<void(const BoardTarget&, const ItemResult&)>;
    // With why the port would not open, when the port knows (empty otherwise).
    using OpenFailedSink = std::function<void(const BoardTarget&, const std::string& reason)>;
    BoardRun(BoardTarget target, const RunPlan& plan, Sink sink, OpenFailedSink openFailed);
    ~BoardRun();  // stops and joins
    BoardRun(const BoardRun&) = delete;
    BoardRun& operator=(const BoardRun&) = delete;

    void SetHooks(RunHooks hooks);  // before Start
    void Start();
    // From any thread: the running item ends at once, no further item starts.
    void Stop();
    void Join();

    const BoardTarget& Target() const { return target_; }
    bool OpenFailed() const { return openFailed_; }
    // The last round's results, after Join.
    const std::vector<ItemResult>& Results() const { return results_; }
    BoardProgress Progress() const;

  private:
    void Work();
    // True when the board's run ends with this round.
    bool RunRound(int round, double roundStart, RunContext& ctx);
    // Runs the item `result` names (its position, item and name set) and fills in the rest.
    void RunItem(ItemResult& result, RunContext& ctx);
    // Waits until `at` (false when stopped first), handing on the traffic that comes meanwhile.
    bool WaitUntil(SteadyClock::time_point at);
    void HandOnTraffic();
    void OnWrite(std::string_view bytes);

    BoardTarget target_;
    const RunPlan& plan_;
    Sink sink_;
    OpenFailedSink openFailedSink_;
    RunHooks hooks_;
    TraceRecorder trace_{hooks_.origin};
    ModemPort modem_;
    WatchedPort port_;
    LinkState state_;
    TrafficLog log_;
    std::thread worker_;
    std::atomic<bool> stopRequested_{false};
    std::mutex waitMutex_;
    std::condition_variable wake_;  // Stop ends a wait for the next round
    bool openFailed_ = false;
    std::vector<ItemResult> results_;
    mutable std::mutex progressMutex_;
    BoardProgress progress_;
    std::vector<TraceStep> planned_;  // the running item's steps that write, in order
    // The running item's commands that hold a user name or password, each with its masked form
    // (the worker's alone: set before the item runs, read as it writes).
    std::vector<std::pair<std::string, std::string>> masks_;
    size_t nextStep_ = 0;  // where in planned_ the next write is looked for
    int round_ = 0;
};

}  // namespace karvex::cli
