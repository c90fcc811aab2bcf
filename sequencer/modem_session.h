// The core facade the window drives: one link (port, receive monitor) and at most one sequence
// worker at a time. It owns both threads and joins them before anything they use goes away.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "link/link_state.h"
#include "link/modem_port.h"
#include "link/receive_monitor.h"
#include "link/traffic_log.h"
#include "sequencer/operator_panel.h"
#include "sequencer/test_items.h"

namespace karvex {

class ModemSession {
  public:
    ModemSession(TrafficLog& log, OperatorPanel& panel, LinkPort& port = ThePort(),
                 MonitorTiming timing = MonitorTiming{});
    ~ModemSession();  // disconnects: every thread joined, the port closed
    ModemSession(const ModemSession&) = delete;
    ModemSession& operator=(const ModemSession&) = delete;

    // Opens the port, sets the link-open flag, resets the result flag, clears the log and starts
    // the receive monitor. False (and nothing changed, the port closed again) when the port does
    // not open or the system has no thread for the monitor.
    bool Connect(const std::string& devicePath, uint32_t baud = 115200);

    // Clears the link-open flag, shuts the port (every blocked read or write returns), wakes and
    // joins the monitor and the worker, then closes the port. Returns within a few milliseconds.
    void Disconnect();

    // Clears the log and starts a sequence worker for `inputs`. False, with nothing done, while the
    // link is closed or another sequence is still running; also when the system has no thread for
    // the worker, and the panel then shows kNoWorkerMessage with the system's reason.
    bool Execute(const TestInputs& inputs);
    static constexpr const char* kNoWorkerMessage = "実行できませんでした。";

    // How the session starts its threads. A test may put in one that throws std::system_error, as
    // std::thread does when the system cannot start one; empty: std::thread.
    using ThreadStarter = std::function<std::thread(std::function<void()> body)>;
    void SetThreadStarter(ThreadStarter starter) { starter_ = std::move(starter); }

    bool LinkOpen() const { return state_.LinkOpen(); }
    bool Running() const { return running_.load(); }
    // Blocks until the current sequence (if any) has ended; for tests and benchmarks.
    void WaitIdle();

    LinkState& State() { return state_; }

  private:
    // Starts `body` on `thread`, but lets it run only after `first` was done on this thread, so
    // that a start that fails leaves everything as it was. False when it failed; `error` then
    // holds the system's reason.
    bool Start(std::thread& thread, std::function<void()> body, const std::function<void()>& first,
               std::string& error);

    TrafficLog& log_;
    OperatorPanel& panel_;
    LinkPort& port_;
    MonitorTiming timing_;
    LinkState state_;
    std::thread monitor_;
    std::thread worker_;
    std::atomic<bool> running_{false};
    std::mutex idleMutex_;
    std::condition_variable idle_;
    ThreadStarter starter_;
};

}  // namespace karvex
