// karvex-run: the board's test items without the window, on one or more boards at once, with a
// verdict per item, reports for CI, and an exit status a script can test.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <variant>
#include <vector>

#include "cli/board_run.h"
#include "cli/html_report.h"
#include "cli/platform.h"
#include "cli/progress_line.h"
#include "cli/report_writer.h"
#include "cli/reports.h"
#include "cli/run_summary.h"
#include "cli/trace_file.h"
#include "link/log_file.h"

namespace {

using namespace karvex::cli;
using karvex::GrowingLogFile;
using SteadyClock = std::chrono::steady_clock;

constexpr int kAllPassed = 0;
constexpr int kSomeFailed = 1;
constexpr int kUsageOrPort = 2;
constexpr int kInterrupted = 130;

// Writes every result as it comes: the human line (or the JSON line), the item's log file and
// its trace; keeps the summary the reports are drawn from, and writes them after each round.
class Output {
  public:
    Output(const RunPlan& plan, ProgressLine* progress, const std::string& startedUtc)
        : plan_(plan),
          progress_(progress),
          summary_(plan, startedUtc),
          writer_([this] { WriteReports(); }, kReportSpacing) {}

    // Makes each board's trace file, its first line written; false (told why) when one cannot be.
    bool StartTraces(const std::string& startedUtc, double monotonicMs) {
        if (plan_.traceDir.empty()) return true;
        traces_ = std::vector<TraceFile>(plan_.boards.size());
        for (const BoardTarget& board : plan_.boards) {
            const std::string path = TraceFilePath(plan_.traceDir, board);
            const std::string reason = traces_[static_cast<size_t>(board.index)].file.Create(
                path, TraceHeader(board, startedUtc, monotonicMs));
            if (!reason.empty()) {
                std::fprintf(stderr, "karvex-run: cannot write %s: %s\n", path.c_str(),
                             reason.c_str());
                return false;
            }
        }
        return true;
    }

    void Item(const BoardTarget& board, const ItemResult& result) {
        // Outside the lock: a board's log is synced to disk without holding up the others.
        if (!plan_.logDir.empty() && result.ending != Ending::LinkGone) {
            Save(LogFilePath(plan_.logDir, board, result), result.log);
        }
        if (!traces_.empty()) Trace(board, TraceLines(result));
        {
            std::lock_guard lock(summaryMutex_);
            summary_.Add(board, result);
        }
        std::lock_guard lock(mutex_);
        Print(plan_.json ? JsonLine(board, result) : HumanLine(board, result));
        if (plan_.json) std::fprintf(stderr, "%s\n", HumanLine(board, result).c_str());
    }

    void Traffic(const BoardTarget& board, const std::vector<TraceChunk>& chunks) {
        if (!traces_.empty()) Trace(board, TraceLines(chunks));
    }

    void RoundDone(const BoardTarget& board) {
        {
            std::lock_guard lock(summaryMutex_);
            summary_.RoundDone(board);
        }
        // A run of rounds keeps its reports on disk as it goes: a run killed at hour 11 leaves
        // hours 1 to 10.
        if (plan_.Repeating()) writer_.ReportsChanged();
    }

    void OpenFailed(const BoardTarget& board, const std::string& reason) {
        {
            std::lock_guard lock(summaryMutex_);
            summary_.OpenFailed(board);
        }
        std::lock_guard lock(mutex_);
        std::fprintf(stderr, "karvex-run: %s: the port would not open (COM error.)%s%s\n",
                     TerminalText(board.name).c_str(), reason.empty() ? "" : ": ", reason.c_str());
        if (plan_.json) Print(OpenFailedJsonLine(board));
    }

    // After every board has ended: the traces complete, the reports written, and for a run of
    // rounds the summary printed.
    void Finish() {
        writer_.Finish();
        SyncTraces();
        WriteReports();
        if (!plan_.Repeating()) return;
        std::lock_guard lock(mutex_);
        const std::string text = SummaryText(summary_);
        std::fputs(text.c_str(), plan_.json ? stderr : stdout);
        if (plan_.json) Print(SummaryJson(summary_));
        std::fflush(stdout);
    }

    // Writes a log or report file whole or not at all (readable by its owner only: the logs hold
    // the password); a failure is told and counted.
    void Save(const std::string& path, const std::string& bytes) {
        const std::string reason = karvex::SaveLogFile(path, bytes);
        if (reason.empty()) return;
        std::fprintf(stderr, "karvex-run: cannot write %s: %s\n", path.c_str(), reason.c_str());
        writeFailed_ = true;
    }

    bool WriteFailed() const { return writeFailed_.load(); }
    bool AnyNotPassed() {
        std::lock_guard lock(summaryMutex_);
        return summary_.AnyNotPassed();
    }

  private:
    static constexpr std::chrono::seconds kReportSpacing{1};

    void Print(const std::string& line) {
        if (progress_ != nullptr) {
            progress_->PrintAbove(line);
            return;
        }
        std::fprintf(stdout, "%s\n", line.c_str());
        std::fflush(stdout);
    }

    // On the writer's thread, after the lines before: a file that cannot be written is told once
    // and left alone, so that it never holds a gap. The lines are the system's at once (a killed
    // run loses none); they are synced to the disk at most a second later, and at the end.
    void Trace(const BoardTarget& board, std::string lines) {
        writer_.Post([this, index = static_cast<size_t>(board.index), lines = std::move(lines)] {
            TraceFile& trace = traces_[index];
            if (trace.failed) return;
            std::string reason = trace.file.Append(lines);
            const auto now = SteadyClock::now();
            if (reason.empty() && now - trace.synced >= kTraceSync) {
                reason = trace.file.Sync();
                trace.synced = now;
            }
            TraceFailed(index, reason);
        });
    }

    void SyncTraces() {
        for (size_t i = 0; i < traces_.size(); ++i) {
            if (!traces_[i].failed) TraceFailed(i, traces_[i].file.Sync());
        }
    }

    void TraceFailed(size_t index, const std::string& reason) {
        if (reason.empty()) return;
        std::fprintf(stderr, "karvex-run: cannot write %s: %s\n",
                     TraceFilePath(plan_.traceDir, plan_.boards[index]).c_str(), reason.c_str());
        traces_[index].failed = true;
        writeFailed_ = true;
    }

    // The JUnit and HTML reports from the summary as it stands (the HTML drawn from a copy, so
    // that no board waits while it is drawn).
    void WriteReports() {
        std::string junit;
        std::optional<RunSummary> copy;
        {
            std::lock_guard lock(summaryMutex_);
            if (!plan_.junitPath.empty()) junit = JUnitXml(summary_);
            if (!plan_.htmlPath.empty()) copy = summary_;
        }
        if (!plan_.junitPath.empty()) Save(plan_.junitPath, junit);
        if (copy) Save(plan_.htmlPath, HtmlReport(*copy));
    }

    const RunPlan& plan_;
    ProgressLine* progress_;
    std::mutex mutex_;
    std::atomic<bool> writeFailed_{false};
    std::mutex summaryMutex_;
    RunSummary summary_;
    struct TraceFile {
        GrowingLogFile file;
        bool failed = false;
        SteadyClock::time_point synced{};
    };
    static constexpr std::chrono::seconds kTraceSync{1};
    std::vector<TraceFile> traces_;  // used on the writer's thread once the boards run
    ReportWriter writer_;            // last: it ends before what its jobs use goes
};

// Makes `dir` (an existing one is fine); false, told, when it cannot be used.
bool UsableDir(const std::string& dir, const char* what) {
    if (dir.empty()) return true;
    std::error_code error;
    std::filesystem::create_directories(PathOf(dir), error);
    if (std::filesystem::is_directory(PathOf(dir), error)) return true;
    std::fprintf(stderr, "karvex-run: cannot use %s as the %s directory\n", dir.c_str(), what);
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    UseUtf8Console();
    IgnoreBrokenPipes();
    std::vector<std::string> arguments = Utf8Arguments(argc, argv);
    std::vector<char*> utf8Argv;
    for (std::string& a : arguments) utf8Argv.push_back(a.data());
    utf8Argv.push_back(nullptr);
    auto parsed = ParseCommandLine(static_cast<int>(arguments.size()), utf8Argv.data());
    if (const int* status = std::get_if<int>(&parsed)) return *status;
    const RunPlan& plan = std::get<RunPlan>(parsed);
    if (!UsableDir(plan.logDir, "log") || !UsableDir(plan.traceDir, "trace")) return kUsageOrPort;

    // The run's start: every board's times count from it.
    const auto origin = SteadyClock::now();
    const std::string started = UtcNow();
    std::vector<std::unique_ptr<BoardRun>> boards;
    std::unique_ptr<ProgressLine> progress;
    if (StdoutIsTerminal() && !plan.json) progress = std::make_unique<ProgressLine>(plan, boards);
    Output output(plan, progress.get(), started);
    if (!output.StartTraces(
            started,
            std::chrono::duration<double, std::milli>(origin.time_since_epoch()).count())) {
        return kUsageOrPort;
    }
    for (const BoardTarget& target : plan.boards) {
        boards.push_back(std::make_unique<BoardRun>(
            target, plan,
            [&output](const BoardTarget& b, const ItemResult& r) { output.Item(b, r); },
            [&output](const BoardTarget& b, const std::string& reason) {
                output.OpenFailed(b, reason);
            }));
        boards.back()->SetHooks({origin,
                                 [&output](const BoardTarget& b, int) { output.RoundDone(b); },
                                 [&output](const BoardTarget& b, std::vector<TraceChunk> chunks) {
                                     output.Traffic(b, chunks);
                                 }});
    }

    std::atomic<bool> interrupted{false};
    // Ctrl-C (or a hang-up) stops every board at once: the running steps end, nothing more is
    // sent. The watch lasts until the report is written, so that a late one cannot cut it short.
    InterruptWatch watch([&] {
        interrupted.store(true);
        for (auto& board : boards) board->Stop();
    });
    for (auto& board : boards) board->Start();
    if (progress) progress->Start();
    for (auto& board : boards) board->Join();
    if (progress) progress->Finish();
    output.Finish();

    int status = kAllPassed;
    for (auto& board : boards) {
        if (board->OpenFailed()) status = kUsageOrPort;
    }
    if (status == kAllPassed && (output.AnyNotPassed() || output.WriteFailed())) {
        status = kSomeFailed;
    }
    return interrupted.load() ? kInterrupted : status;
}
