// One step of a test item, and the runner that sends a list of them.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "link/link_state.h"
#include "link/port.h"
#include "link/traffic_log.h"
#include "sequencer/operator_panel.h"

namespace karvex {

inline constexpr size_t kCommandFieldSize = 80;   // at most 79 bytes of command text
inline constexpr uint32_t kNoWait = 0xFFFFFFFFu;  // write the command, do not wait for a verdict

struct CommandStep {
    char command[kCommandFieldSize] =
        {};                     // empty: end of the list; starting with '*': a delay step
    uint32_t timeout = 0;       // ms; for a delay step the length of the pause
    const char* expected = "";  // never null; empty means "OK\r"
    // Failure replies this step adds to the fixed four; none for the built-in items. Like
    // `expected`, the texts belong to the builder and outlive the run.
    std::span<const std::string> failures{};
};

// Fills a step; false (and the step left empty) when `command` does not fit the field.
bool MakeStep(CommandStep& step, std::string_view command, uint32_t timeout,
              const char* expected = "");

enum class RunOutcome {
    Completed,   // the end marker was reached
    StepFailed,  // failure reply, time-out or send error
    LinkClosed,  // the link closed while waiting, or was found closed after a step
};

// How one command step ended.
enum class StepEnd {
    Done,          // the expected reply came (or the step is not waited on)
    FailureReply,  // a line holding a failure reply came
    TimedOut,      // the step's time-out passed
    SendError,     // the command could not be written
    LinkClosed,    // the link closed while waiting
};

// Told by the runner how each command step ended, on the runner's thread, at the moment it knew:
// karvex-run keeps its traces with it. The window gives none.
class StepObserver {
  public:
    virtual ~StepObserver() = default;
    // `command` as written (without its CR); `line` is the received line that decided a step that
    // ended Done or FailureReply, empty for every other end and for a step that is not waited on.
    virtual void StepEnded(std::string_view command, StepEnd end, std::string_view line) = 0;
};

// Everything a run touches. The worker owns nothing of it.
struct RunContext {
    LinkState& link;
    Port& port;
    TrafficLog& log;
    OperatorPanel& panel;
    StepObserver* observer = nullptr;
};

// Where a list stopped: the step's index in its list, its command, how it ended, and for a
// failure reply the line that held it (as received, line end included).
struct StepStop {
    int index = -1;
    StepEnd end = StepEnd::Done;
    std::string command;
    std::string line;
};

// Sends the steps of one list, without touching the input controls. When the list stops early and
// `stop` is given, it tells where and why.
RunOutcome RunStepList(RunContext& ctx, const CommandStep* first, StepStop* stop = nullptr);

// Disables the input controls, runs the list, and enables them again, but only while the link is
// open: a run ended by a disconnect leaves the controls as the disconnect set them.
RunOutcome RunSteps(RunContext& ctx, const CommandStep* first, StepStop* stop = nullptr);

// Logs the command and its CR, purges the input, resets the result flag, writes, and waits.
int SendCommand(RunContext& ctx, const char* command, uint32_t timeout);
// The same, telling how the step ended.
StepEnd TakeCommandStep(RunContext& ctx, const char* command, uint32_t timeout);

void EnableInputs(RunContext& ctx, bool enable);

inline constexpr std::string_view kTimeoutText = "...timeout...\r\n";
inline constexpr std::string_view kSendErrorText = "COM send error.\r\n";

}  // namespace karvex
