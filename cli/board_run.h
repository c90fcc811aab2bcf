// One board's session: its own port, receive monitor and worker thread; the items run one after
// the other on the worker, and each result goes to the sink as soon as it is known.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/run_plan.h"
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
    int position = 0;  // 0-based position in the plan's item list
    int item = 0;
    ItemReport report;
    Ending ending = Ending::Ran;
    double seconds = 0;
    std::string log;  // the traffic log of this item, byte for byte
    // The log as reports show it: the user name and password masked, as in report.stop.
    std::string maskedLog;
};

// What a board is doing now, for the progress line.
struct BoardProgress {
    int position = -1;  // -1: not started or finished
    std::string command;
    std::chrono::steady_clock::time_point sentAt{};
    uint32_t timeoutMs = 0;
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

    void Start();
    // From any thread: the running item ends at once, no further item starts.
    void Stop();
    void Join();

    const BoardTarget& Target() const { return target_; }
    bool OpenFailed() const { return openFailed_; }
    const std::vector<ItemResult>& Results() const { return results_; }  // after Join
    BoardProgress Progress() const;

  private:
    void Work();
    ItemResult RunItem(int position, RunContext& ctx);
    void OnWrite(std::string_view bytes);

    BoardTarget target_;
    const RunPlan& plan_;
    Sink sink_;
    OpenFailedSink openFailedSink_;
    ModemPort modem_;
    WatchedPort port_;
    LinkState state_;
    TrafficLog log_;
    std::thread worker_;
    std::atomic<bool> stopRequested_{false};
    bool openFailed_ = false;
    std::vector<ItemResult> results_;
    mutable std::mutex progressMutex_;
    BoardProgress progress_;
    std::vector<uint32_t> timeouts_;  // of the running item's written steps, in order
    // The running item's commands that hold a user name or password, each with its masked form
    // (the worker's alone: set before the item runs, read as it writes).
    std::vector<std::pair<std::string, std::string>> masks_;
    size_t writes_ = 0;
};

}  // namespace karvex::cli
