#include "sequencer/modem_session.h"

namespace karvex {

ModemSession::ModemSession(TrafficLog& log, OperatorPanel& panel, LinkPort& port,
                           MonitorTiming timing)
    : log_(log), panel_(panel), port_(port), timing_(timing) {}

ModemSession::~ModemSession() {
    Disconnect();
}

bool ModemSession::Connect(const std::string& devicePath, uint32_t baud) {
    if (state_.LinkOpen()) return false;
    if (!port_.Open(devicePath, baud)) return false;
    state_.SetLinkOpen(true);
    state_.Publish(Verdict::Waiting);
    log_.Clear();
    monitor_ = std::thread([this] { ReceiveMonitor(state_, port_, log_, timing_); });
    return true;
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
    log_.Clear();
    running_.store(true);
    worker_ = std::thread([this, inputs] {
        RunContext ctx{state_, port_, log_, panel_};
        SequenceWorker(ctx, inputs);
        {
            std::lock_guard lock(idleMutex_);
            running_.store(false);
        }
        idle_.notify_all();
    });
    return true;
}

void ModemSession::WaitIdle() {
    std::unique_lock lock(idleMutex_);
    idle_.wait(lock, [this] { return !running_.load(); });
}

}  // namespace karvex
