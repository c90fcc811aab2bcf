#include "sequencer/modem_session.h"

#include <future>
#include <system_error>

namespace karvex {

ModemSession::ModemSession(TrafficLog& log, OperatorPanel& panel, LinkPort& port,
                           MonitorTiming timing)
    : log_(log), panel_(panel), port_(port), timing_(timing) {}

ModemSession::~ModemSession() {
    Disconnect();
}

bool ModemSession::Start(std::thread& thread, std::function<void()> body,
                         const std::function<void()>& first, std::string& error) {
    std::promise<void> go;
    std::shared_future<void> ready = go.get_future().share();
    auto gated = [ready, body = std::move(body)] {
        ready.wait();
        body();
    };
    try {
        thread = starter_ ? starter_(std::move(gated)) : std::thread(std::move(gated));
    } catch (const std::system_error& e) {
        error = e.what();
        return false;
    }
    first();
    go.set_value();
    return true;
}

bool ModemSession::Connect(const std::string& devicePath, uint32_t baud) {
    if (state_.LinkOpen()) return false;
    if (!port_.Open(devicePath, baud)) return false;
    std::string error;
    const bool started = Start(
        monitor_, [this] { ReceiveMonitor(state_, port_, log_, timing_); },
        [this] {
            state_.SetLinkOpen(true);
            state_.Publish(Verdict::Waiting);
            log_.Clear();
        },
        error);
    // Without its monitor the link would time out on every step: it stays closed.
    if (!started) port_.Close();
    return started;
}

void ModemSession::Disconnect() {
    // Shut, stop, join, then close. The port is shut first, so that a worker woken from a pause
    // can no longer reach the board: every read, write and purge fails at once from here. Then the
    // flag wakes every sleep and wait, and only when both threads have gone is the descriptor
    // released.
    port_.Shutdown();
    state_.SetLinkOpen(false);
    if (monitor_.joinable()) monitor_.join();
    if (worker_.joinable()) worker_.join();
    port_.Close();
}

bool ModemSession::Execute(const TestInputs& inputs) {
    if (!state_.LinkOpen() || running_.load()) return false;
    if (worker_.joinable()) worker_.join();  // the previous sequence has ended
    std::string error;
    const bool started = Start(
        worker_,
        [this, inputs] {
            RunContext ctx{state_, port_, log_, panel_};
            SequenceWorker(ctx, inputs);
            {
                std::lock_guard lock(idleMutex_);
                running_.store(false);
            }
            idle_.notify_all();
        },
        [this] {
            log_.Clear();
            running_.store(true);
        },
        error);
    // Nothing was sent and the log is as it was; the inputs stay enabled for another try.
    if (!started) panel_.ShowMessage(std::string(kNoWorkerMessage) + "\n" + error);
    return started;
}

void ModemSession::WaitIdle() {
    std::unique_lock lock(idleMutex_);
    idle_.wait(lock, [this] { return !running_.load(); });
}

}  // namespace karvex
