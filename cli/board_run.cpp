#include "cli/board_run.h"

#include "link/receive_monitor.h"
#include "sequencer/item_catalogue.h"
#include "sequencer/operator_panel.h"

namespace karvex::cli {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr uint32_t kBaud = 115200;
constexpr uint32_t kClockStepTimeoutMs = 15000;  // the network-time item's clock command

// Nobody sits at a board run: the inputs were checked before anything was opened, and there are no
// controls to switch.
class NoPanel final : public OperatorPanel {
  public:
    void EnableInputs(bool) override {}
    void ShowMessage(const std::string&) override {}
};

// The time-outs of the steps that write, in the order they write; for the network-time item the
// clock command comes last.
std::vector<uint32_t> WrittenStepTimeouts(const TestInputs& inputs) {
    std::vector<uint32_t> timeouts;
    std::string message;
    if (const auto list = BuildTestItem(inputs, message)) {
        for (const CommandStep& step : *list) {
            if (step.command[0] != '\0' && step.command[0] != '*') timeouts.push_back(step.timeout);
        }
    }
    if (inputs.item == kNetworkTimeItem) timeouts.push_back(kClockStepTimeoutMs);
    return timeouts;
}

using Masks = std::vector<std::pair<std::string, std::string>>;

// The item's commands that show a user name or password, each with the form reports give it.
Masks SecretCommands(const TestInputs& inputs) {
    Masks masks;
    std::string message;
    const auto list = BuildTestItem(inputs, message);
    const std::vector<std::string> masked = MaskedCommands(inputs);
    for (size_t i = 0; list && i < masked.size(); ++i) {
        const std::string command = (*list)[i].command;
        if (command != masked[i]) masks.emplace_back(command, masked[i]);
    }
    return masks;
}

// `text` (the bytes of a command, a line or a log) with every secret command in it masked.
std::string Masked(std::string text, const Masks& masks) {
    for (const auto& [secret, shown] : masks) {
        for (size_t at = text.find(secret); at != std::string::npos;
             at = text.find(secret, at + shown.size())) {
            text.replace(at, secret.size(), shown);
        }
    }
    return text;
}

}  // namespace

BoardRun::BoardRun(BoardTarget target, const RunPlan& plan, Sink sink, OpenFailedSink openFailed)
    : target_(std::move(target)),
      plan_(plan),
      sink_(std::move(sink)),
      openFailedSink_(std::move(openFailed)),
      port_(
          modem_,
          [this] {
              // The device has gone: the running step ends now rather than at its time-out.
              modem_.Shutdown();
              state_.SetLinkOpen(false);
          },
          [this](std::string_view bytes) { OnWrite(bytes); }) {}

BoardRun::~BoardRun() {
    Stop();
    Join();
}

void BoardRun::Start() {
    worker_ = std::thread([this] { Work(); });
}

void BoardRun::Stop() {
    stopRequested_.store(true);
    port_.Closing();
    modem_.Shutdown();
    state_.SetLinkOpen(false);
}

void BoardRun::Join() {
    if (worker_.joinable()) worker_.join();
}

BoardProgress BoardRun::Progress() const {
    std::lock_guard lock(progressMutex_);
    return progress_;
}

void BoardRun::OnWrite(std::string_view bytes) {
    std::lock_guard lock(progressMutex_);
    if (!bytes.empty() && bytes.back() == '\r') bytes.remove_suffix(1);
    progress_.command = Masked(std::string(bytes), masks_);
    progress_.sentAt = SteadyClock::now();
    progress_.timeoutMs = writes_ < timeouts_.size() ? timeouts_[writes_] : 0;
    ++writes_;
}

void BoardRun::Work() {
    if (!modem_.Open(target_.device, kBaud)) {
        openFailed_ = true;
        openFailedSink_(target_, modem_.FailureReason());
        return;
    }
    state_.SetLinkOpen(true);
    state_.Publish(Verdict::Waiting);
    // A Stop that came before the flag was set would otherwise be undone by it.
    if (stopRequested_.load()) state_.SetLinkOpen(false);
    std::thread monitor([this] { ReceiveMonitor(state_, port_, log_); });

    NoPanel panel;
    RunContext ctx{state_, port_, log_, panel};
    for (size_t position = 0; position < plan_.items.size() && !stopRequested_.load(); ++position) {
        ItemResult result;
        if (state_.LinkOpen()) {
            result = RunItem(static_cast<int>(position), ctx);
        } else {
            result.position = static_cast<int>(position);
            result.item = plan_.items[position];
            result.report.verdict = ItemVerdict::LinkLost;
            result.ending = Ending::LinkGone;
        }
        results_.push_back(result);
        sink_(target_, result);
        if (result.ending == Ending::Interrupted) break;
        if (plan_.stopOnFailure && result.report.verdict != ItemVerdict::Passed) break;
    }
    {
        std::lock_guard lock(progressMutex_);
        progress_.position = -1;
    }
    // Shut, stop, join, then close: no thread touches the descriptor after it was released.
    port_.Closing();
    modem_.Shutdown();
    state_.SetLinkOpen(false);
    monitor.join();
    modem_.Close();
}

ItemResult BoardRun::RunItem(int position, RunContext& ctx) {
    ItemResult result;
    result.position = position;
    result.item = plan_.items[static_cast<size_t>(position)];
    TestInputs inputs = plan_.inputs;
    inputs.item = result.item;
    {
        std::lock_guard lock(progressMutex_);
        timeouts_ = WrittenStepTimeouts(inputs);
        masks_ = SecretCommands(inputs);
        writes_ = 0;
        progress_ = BoardProgress{position, {}, SteadyClock::now(), 0};
    }
    log_.Clear();
    const auto start = SteadyClock::now();
    result.report = RunTestItem(ctx, inputs);
    result.seconds = std::chrono::duration<double>(SteadyClock::now() - start).count();
    result.log = log_.Snapshot();
    // Only the byte-exact log files keep the user name and password; every report masks them.
    result.maskedLog = Masked(result.log, masks_);
    result.report.stop.command = Masked(result.report.stop.command, masks_);
    result.report.stop.line = Masked(result.report.stop.line, masks_);
    if (stopRequested_.load() && result.report.verdict != ItemVerdict::Passed) {
        result.ending = Ending::Interrupted;
    }
    return result;
}

}  // namespace karvex::cli
