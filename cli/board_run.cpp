#include "cli/board_run.h"

#include <algorithm>
#include <iterator>
#include <utility>

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

constexpr uint32_t kClockPauseMs = 5000;  // before it

// The item's steps that write, in the order they write, each with the pauses taken before it;
// for the network-time item the clock command (not known before it is built) comes last.
std::vector<TraceStep> WrittenSteps(const TestInputs& inputs) {
    std::vector<TraceStep> steps;
    std::string message;
    uint32_t pause = 0;
    if (const auto list = BuildTestItem(inputs, message)) {
        for (size_t i = 0; i < list->size() && (*list)[i].command[0] != '\0'; ++i) {
            const CommandStep& step = (*list)[i];
            if (step.command[0] == '*') {
                pause += step.timeout;
                continue;
            }
            TraceStep planned;
            planned.index = static_cast<int>(i);
            planned.command = step.command;
            planned.timeout = step.timeout;
            planned.pauseBeforeMs = std::exchange(pause, 0);
            steps.push_back(std::move(planned));
        }
    }
    if (!inputs.sequence && inputs.item == kNetworkTimeItem) {
        TraceStep clock;
        clock.list = 1;
        clock.index = 0;
        clock.timeout = kClockStepTimeoutMs;
        clock.pauseBeforeMs = kClockPauseMs;
        steps.push_back(std::move(clock));
    }
    return steps;
}

// Which of `planned` (from `from` on) a written command is: the next that sends it. A list that
// stops early skips the rest of it, so the clock command, empty in the plan, matches any text.
size_t FindPlanned(const std::vector<TraceStep>& planned, size_t from, std::string_view command) {
    for (size_t i = from; i < planned.size(); ++i) {
        if (planned[i].command == command || planned[i].command.empty()) return i;
    }
    return planned.size();
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

// The trace of an item as reports show it: its own traffic (none from before it began), each
// chunk, command and line masked. A received chunk is one line at most, and a command is no
// longer than one, so a secret command is never cut in two.
ItemTrace MaskedTrace(const ItemTrace& trace, const Masks& masks) {
    ItemTrace shown;
    shown.start = trace.start;
    shown.end = trace.end;
    for (const TraceChunk& chunk : trace.chunks) {
        if (chunk.t >= trace.start)
            shown.chunks.push_back({chunk.t, chunk.sent, Masked(chunk.bytes, masks)});
    }
    shown.steps = trace.steps;
    for (TraceStep& step : shown.steps) {
        step.command = Masked(std::move(step.command), masks);
        step.line = Masked(std::move(step.line), masks);
    }
    return shown;
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
          [this](std::string_view bytes) { OnWrite(bytes); }, &trace_) {}

BoardRun::~BoardRun() {
    Stop();
    Join();
}

void BoardRun::SetHooks(RunHooks hooks) {
    hooks_ = std::move(hooks);
    trace_.SetOrigin(hooks_.origin);
}

void BoardRun::Start() {
    worker_ = std::thread([this] { Work(); });
}

void BoardRun::Stop() {
    {
        std::lock_guard lock(waitMutex_);
        stopRequested_.store(true);
    }
    wake_.notify_all();
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
    const size_t step = FindPlanned(planned_, nextStep_, bytes);
    progress_.timeoutMs = step < planned_.size() ? planned_[step].timeout : 0;
    nextStep_ = step + 1;
}

bool BoardRun::WaitUntil(SteadyClock::time_point at) {
    // The traffic that comes meanwhile (GPS sentences, unsolicited lines) is handed on now and
    // then, so that a long wait neither holds it back from the trace nor gathers it in memory.
    constexpr auto kHandOn = std::chrono::seconds(2);
    for (;;) {
        HandOnTraffic();
        std::unique_lock lock(waitMutex_);
        const auto until = std::min(at, SteadyClock::now() + kHandOn);
        if (wake_.wait_until(lock, until, [this] { return stopRequested_.load(); })) return false;
        if (SteadyClock::now() >= at) return true;
    }
}

void BoardRun::HandOnTraffic() {
    ItemTrace between = trace_.Take();
    if (hooks_.traffic && !between.chunks.empty()) {
        hooks_.traffic(target_, std::move(between.chunks));
    }
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
    RunContext ctx{state_, port_, log_, panel, &trace_};
    const auto& origin = hooks_.origin;
    auto next = origin;  // when the next round may start
    for (int round = 1; plan_.repeat == 0 || round <= plan_.repeat; ++round) {
        const auto due = std::max(next, SteadyClock::now());
        if (plan_.runFor.count() > 0 && round > 1 && due - origin >= plan_.runFor) break;
        if (round > 1 && !WaitUntil(next)) break;
        const auto started = SteadyClock::now();
        next = started + plan_.every;
        const bool ended = RunRound(round, round == 1 ? 0.0 : trace_.Ms(started), ctx);
        if (hooks_.roundDone) hooks_.roundDone(target_, round);
        if (ended) break;
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
    HandOnTraffic();
}

bool BoardRun::RunRound(int round, double roundStart, RunContext& ctx) {
    results_.clear();
    round_ = plan_.Repeating() ? round : 0;
    for (size_t position = 0; position < plan_.items.size() && !stopRequested_.load(); ++position) {
        ItemResult result;
        result.position = static_cast<int>(position);
        result.item = plan_.items[position];
        result.name = ItemName(plan_, result.item);
        if (state_.LinkOpen()) {
            RunItem(result, ctx);
        } else {
            result.report.verdict = ItemVerdict::LinkLost;
            result.ending = Ending::LinkGone;
            // Not sent: it takes no time, at the moment it was given up.
            result.trace.start = result.trace.end = trace_.Now();
            result.maskedTrace.start = result.maskedTrace.end = result.trace.start;
        }
        result.round = round_;
        result.roundStart = roundStart;
        sink_(target_, result);
        const bool interrupted = result.ending == Ending::Interrupted;
        const bool passed = result.report.verdict == ItemVerdict::Passed;
        // The traces have gone to the reports; only the round's results are kept.
        result.trace = {};
        result.maskedTrace = {};
        results_.push_back(std::move(result));
        if (interrupted || (plan_.stopOnFailure && !passed)) return true;
    }
    // A lost link ends the board's run: later rounds would only repeat the loss.
    return stopRequested_.load() || !state_.LinkOpen();
}

void BoardRun::RunItem(ItemResult& result, RunContext& ctx) {
    const TestInputs inputs = InputsFor(plan_, result.item);
    {
        std::lock_guard lock(progressMutex_);
        planned_ = WrittenSteps(inputs);
        masks_ = SecretCommands(inputs);
        nextStep_ = 0;
        progress_ = BoardProgress{result.position, {}, SteadyClock::now(), 0, round_};
    }
    log_.Clear();
    ItemTrace before = trace_.Take();  // what came since the last item
    const auto start = SteadyClock::now();
    result.report = RunTestItem(ctx, inputs);
    const auto end = SteadyClock::now();
    result.seconds = std::chrono::duration<double>(end - start).count();
    result.log = log_.Snapshot();
    result.trace = trace_.Take();
    result.trace.start = trace_.Ms(start);
    result.trace.end = trace_.Ms(end);
    result.trace.chunks.insert(result.trace.chunks.begin(),
                               std::make_move_iterator(before.chunks.begin()),
                               std::make_move_iterator(before.chunks.end()));
    // Each step as planned: the runner takes them in order, a list that stops skips its rest.
    size_t next = 0;
    for (TraceStep& step : result.trace.steps) {
        const size_t at = FindPlanned(planned_, next, step.command);
        if (at == planned_.size()) continue;
        step.list = planned_[at].list;
        step.index = planned_[at].index;
        step.timeout = planned_[at].timeout;
        step.pauseBeforeMs = planned_[at].pauseBeforeMs;
        next = at + 1;
    }
    result.maskedTrace = MaskedTrace(result.trace, masks_);
    // Only the byte-exact log files keep the user name and password; every report masks them.
    result.maskedLog = Masked(result.log, masks_);
    result.report.stop.command = Masked(result.report.stop.command, masks_);
    result.report.stop.line = Masked(result.report.stop.line, masks_);
    if (stopRequested_.load() && result.report.verdict != ItemVerdict::Passed) {
        result.ending = Ending::Interrupted;
    }
}

}  // namespace karvex::cli
