#include "sequencer/command_step.h"

#include <chrono>
#include <cstring>
#include <string>

namespace karvex {

namespace {

using SteadyClock = std::chrono::steady_clock;

bool IsDelayStep(const CommandStep& step) {
    return step.command[0] == '*';
}
bool IsEndMarker(const CommandStep& step) {
    return step.command[0] == '\0';
}

// One command step (log, purge, reset, write, wait); TakeCommandStep tells the observer its end.
StepEnd TakeStep(RunContext& ctx, const char* command, uint32_t timeout);

}  // namespace

bool MakeStep(CommandStep& step, std::string_view command, uint32_t timeout, const char* expected) {
    step = CommandStep{};
    if (command.size() >= kCommandFieldSize || command.find('\0') != std::string_view::npos) {
        return false;
    }
    std::memcpy(step.command, command.data(), command.size());
    step.timeout = timeout;
    step.expected = expected != nullptr ? expected : "";
    return true;
}

void EnableInputs(RunContext& ctx, bool enable) {
    ctx.panel.EnableInputs(enable);
}

int SendCommand(RunContext& ctx, const char* command, uint32_t timeout) {
    return TakeCommandStep(ctx, command, timeout) == StepEnd::Done ? 0 : E_FAIL;
}

StepEnd TakeCommandStep(RunContext& ctx, const char* command, uint32_t timeout) {
    const StepEnd end = TakeStep(ctx, command, timeout);
    if (ctx.observer != nullptr) {
        const bool decided =
            timeout != kNoWait && (end == StepEnd::Done || end == StepEnd::FailureReply);
        ctx.observer->StepEnded(std::string_view(command, strnlen(command, kCommandFieldSize - 1)),
                                end, decided ? ctx.link.VerdictLine() : std::string());
    }
    return end;
}

namespace {

StepEnd TakeStep(RunContext& ctx, const char* command, uint32_t timeout) {
    std::string line(command, strnlen(command, kCommandFieldSize - 1));
    line.push_back('\r');
    // The order is fixed: log, purge, reset, write. A line the monitor completes after the reset
    // counts for this command.
    AppendLog(ctx.log, line);
    ctx.port.Purge();
    ctx.link.Publish(Verdict::Waiting);
    const int written = ctx.port.Write(line.data(), static_cast<uint32_t>(line.size()));
    if (written != static_cast<int>(line.size())) {
        AppendLog(ctx.log, kSendErrorText);
        return StepEnd::SendError;
    }
    if (timeout == kNoWait) return StepEnd::Done;

    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeout);
    for (;;) {
        // Tested in this order: a closed link beats a verdict, a verdict beats the deadline.
        if (!ctx.link.LinkOpen()) return StepEnd::LinkClosed;
        switch (ctx.link.Result()) {
            case Verdict::Success:
                return StepEnd::Done;
            case Verdict::Failure:
                return StepEnd::FailureReply;
            case Verdict::Waiting:
                break;
        }
        if (SteadyClock::now() > deadline) {
            AppendLog(ctx.log, kTimeoutText);
            return StepEnd::TimedOut;
        }
        // Blocks until the monitor publishes, the link closes, or just past the deadline.
        ctx.link.WaitForVerdict(deadline + std::chrono::milliseconds(1));
    }
}

}  // namespace

RunOutcome RunStepList(RunContext& ctx, const CommandStep* first, StepStop* stop) {
    auto stopped = [&](const CommandStep* step, StepEnd end) {
        if (stop != nullptr) {
            stop->index = static_cast<int>(step - first);
            stop->end = ctx.link.LinkOpen() ? end : StepEnd::LinkClosed;
            stop->command.assign(step->command, strnlen(step->command, kCommandFieldSize - 1));
            stop->line = end == StepEnd::FailureReply ? ctx.link.VerdictLine() : std::string();
        }
        return ctx.link.LinkOpen() ? RunOutcome::StepFailed : RunOutcome::LinkClosed;
    };
    for (const CommandStep* step = first; !IsEndMarker(*step); ++step) {
        if (IsDelayStep(*step)) {
            // Nothing is sent or logged. A disconnect cuts the pause short; the next command step
            // then fails on the closed port as it would after the full pause.
            ctx.link.SleepWhileOpen(std::chrono::milliseconds(step->timeout));
            continue;
        }
        ctx.link.SetExpected(step->expected, step->failures);
        const StepEnd end = TakeCommandStep(ctx, step->command, step->timeout);
        if (end != StepEnd::Done) return stopped(step, end);
        if (!ctx.link.LinkOpen()) return stopped(step, StepEnd::LinkClosed);
    }
    return RunOutcome::Completed;
}

RunOutcome RunSteps(RunContext& ctx, const CommandStep* first, StepStop* stop) {
    EnableInputs(ctx, false);
    const RunOutcome outcome = RunStepList(ctx, first, stop);
    // A run ended by a disconnect leaves the controls in the closed-link state.
    if (ctx.link.LinkOpen()) EnableInputs(ctx, true);
    return outcome;
}

}  // namespace karvex
