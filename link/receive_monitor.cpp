#include "link/receive_monitor.h"

#include <chrono>

#include "link/line_reader.h"

namespace karvex {

void ReceiveMonitor(LinkState& state, Port& port, TrafficLog& log, const MonitorTiming& timing) {
    using std::chrono::milliseconds;
    LineBuffer line{};
    while (state.LinkOpen()) {
        const ReadLineResult read = ReadLine(port, line);
        if (read.code < 0) {
            // A vanished device fails every read at once: wait as long as a read would have.
            if (read.portFailed) state.SleepWhileOpen(milliseconds(timing.afterFailedReadMs));
            continue;
        }
        const std::string_view text = LineText(line);
        AppendLog(log, text);
        // The expected reply is taken when the line is judged: a step that starts during the
        // pauses below is judged by its own expectation.
        if (text.find(kPauseText) != std::string_view::npos &&
            !state.SleepWhileOpen(milliseconds(timing.pauseTextMs))) {
            break;
        }
        if (!state.SleepWhileOpen(milliseconds(timing.afterLineMs))) break;
        const LinkState::StepReplies replies = state.Replies();
        const LineJudgement judged = JudgeLine(text, replies.expected, replies.extraFailures);
        if (judged.holdsSuccess && !state.SleepWhileOpen(milliseconds(timing.beforeSuccessMs))) {
            break;
        }
        if (judged.holdsFailure) {
            state.Publish(Verdict::Failure, text);
        } else if (judged.holdsSuccess) {
            state.Publish(Verdict::Success, text);
        }
    }
}

}  // namespace karvex
