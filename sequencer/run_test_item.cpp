#include <array>
#include <chrono>
#include <utility>

#include "sequencer/item_catalogue.h"
#include "sequencer/network_time.h"
#include "sequencer/test_items.h"

namespace karvex {
namespace {

constexpr std::chrono::milliseconds kBeforeClockMs{5000};
constexpr uint32_t kClockTimeoutMs = 15000;

ItemVerdict VerdictOf(StepEnd end) {
    switch (end) {
        case StepEnd::Done:
            return ItemVerdict::Passed;
        case StepEnd::FailureReply:
            return ItemVerdict::Failed;
        case StepEnd::TimedOut:
            return ItemVerdict::TimedOut;
        case StepEnd::SendError:
        case StepEnd::LinkClosed:
            return ItemVerdict::LinkLost;
    }
    return ItemVerdict::LinkLost;
}

// The report of list `index` after it ran with `outcome`.
ItemReport ListReport(RunOutcome outcome, int index, StepStop stop) {
    ItemReport report;
    report.list = index;
    report.stop = std::move(stop);
    switch (outcome) {
        case RunOutcome::Completed:
            report.verdict = ItemVerdict::Passed;
            break;
        case RunOutcome::StepFailed:
            report.verdict = VerdictOf(report.stop.end);
            break;
        case RunOutcome::LinkClosed:
            report.verdict = ItemVerdict::LinkLost;
            break;
    }
    return report;
}

// The second half of the network time item: the clock command built from the log as it stands
// now, sent after a pause. The pause ends early when the link closes; the runner then reports the
// failed write as for any step on a closed link.
ItemReport SetClockFromLog(RunContext& ctx) {
    ItemReport report;
    report.list = 1;
    const std::optional<std::string> command = BuildClockCommand(ctx.log.Snapshot());
    if (!command) {
        report.verdict = ItemVerdict::NoTimeReply;
        return report;
    }
    ctx.link.SleepWhileOpen(kBeforeClockMs);
    std::array<CommandStep, 2> list{};
    MakeStep(list[0], *command, kClockTimeoutMs);  // at most 30 bytes: always fits
    StepStop stop;
    const RunOutcome outcome = RunStepList(ctx, list.data(), &stop);
    return ListReport(outcome, 1, std::move(stop));
}

}  // namespace

ItemReport RunTestItem(RunContext& ctx, const TestInputs& inputs) {
    std::string message;
    const std::optional<std::vector<CommandStep>> list = BuildTestItem(inputs, message);
    if (!list) {
        if (!message.empty()) ctx.panel.ShowMessage(message);
        return ItemReport{ItemVerdict::Refused, 0, {}};
    }
    StepStop stop;
    if (inputs.sequence || inputs.item != kNetworkTimeItem) {
        const RunOutcome outcome = RunSteps(ctx, list->data(), &stop);
        return ListReport(outcome, 0, std::move(stop));
    }
    // The controls stay disabled across both lists and the pause between them, so no second
    // sequence can start and use the link in the gap.
    EnableInputs(ctx, false);
    const RunOutcome first = RunStepList(ctx, list->data(), &stop);
    ItemReport clock = SetClockFromLog(ctx);
    // A disconnect has already set the controls as they must be for a closed link.
    if (ctx.link.LinkOpen()) EnableInputs(ctx, true);
    if (first != RunOutcome::Completed) return ListReport(first, 0, std::move(stop));
    return clock;
}

int SequenceWorker(RunContext& ctx, const TestInputs& inputs) {
    RunTestItem(ctx, inputs);
    return 0;
}

}  // namespace karvex
