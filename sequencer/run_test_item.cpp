#include <array>
#include <chrono>

#include "sequencer/item_catalogue.h"
#include "sequencer/network_time.h"
#include "sequencer/test_items.h"

namespace karvex {
namespace {

constexpr std::chrono::milliseconds kBeforeClockMs{5000};
constexpr uint32_t kClockTimeoutMs = 15000;

// The second half of the network time item: the clock command built from the log as it stands
// now, sent after a pause. The pause ends early when the link closes; the runner then reports the
// failed write as for any step on a closed link.
void SetClockFromLog(RunContext& ctx) {
    const std::optional<std::string> command = BuildClockCommand(ctx.log.Snapshot());
    if (!command) return;
    ctx.link.SleepWhileOpen(kBeforeClockMs);
    std::array<CommandStep, 2> list{};
    if (!MakeStep(list[0], *command, kClockTimeoutMs)) return;  // at most 30 bytes: always fits
    RunStepList(ctx, list.data());
}

}  // namespace

void RunTestItem(RunContext& ctx, const TestInputs& inputs) {
    std::string message;
    const std::optional<std::vector<CommandStep>> list = BuildTestItem(inputs, message);
    if (!list) {
        if (!message.empty()) ctx.panel.ShowMessage(message);
        return;
    }
    if (inputs.item != kNetworkTimeItem) {
        RunSteps(ctx, list->data());
        return;
    }
    // The controls stay disabled across both lists and the pause between them, so no second
    // sequence can start and use the link in the gap.
    EnableInputs(ctx, false);
    RunStepList(ctx, list->data());
    SetClockFromLog(ctx);
    // A disconnect has already set the controls as they must be for a closed link.
    if (ctx.link.LinkOpen()) EnableInputs(ctx, true);
}

int SequenceWorker(RunContext& ctx, const TestInputs& inputs) {
    RunTestItem(ctx, inputs);
    return 0;
}

}  // namespace karvex
