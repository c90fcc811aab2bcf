// karvex-run: the board's test items without the window, on one or more boards at once, with a
// verdict per item, reports for CI, and an exit status a script can test.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <variant>

#include "cli/board_run.h"
#include "cli/platform.h"
#include "cli/progress_line.h"
#include "cli/reports.h"
#include "link/log_file.h"

namespace {

using namespace karvex::cli;

constexpr int kAllPassed = 0;
constexpr int kSomeFailed = 1;
constexpr int kUsageOrPort = 2;
constexpr int kInterrupted = 130;

// Writes every result as it comes: the human line (or the JSON line), and the item's log file.
class Output {
  public:
    Output(const RunPlan& plan, ProgressLine* progress) : plan_(plan), progress_(progress) {}

    void Item(const BoardTarget& board, const ItemResult& result) {
        // Outside the lock: a board's log is synced to disk without holding up the others.
        if (!plan_.logDir.empty() && result.ending != Ending::LinkGone) {
            Save(LogFilePath(plan_.logDir, board, result), result.log);
        }
        std::lock_guard lock(mutex_);
        Print(plan_.json ? JsonLine(board, result) : HumanLine(board, result));
        if (plan_.json) std::fprintf(stderr, "%s\n", HumanLine(board, result).c_str());
    }

    void OpenFailed(const BoardTarget& board, const std::string& reason) {
        std::lock_guard lock(mutex_);
        std::fprintf(stderr, "karvex-run: %s: the port would not open (COM error.)%s%s\n",
                     TerminalText(board.name).c_str(), reason.empty() ? "" : ": ",
                     reason.c_str());
        if (plan_.json) Print(OpenFailedJsonLine(board));
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

  private:
    void Print(const std::string& line) {
        if (progress_ != nullptr) {
            progress_->PrintAbove(line);
            return;
        }
        std::fprintf(stdout, "%s\n", line.c_str());
        std::fflush(stdout);
    }

    const RunPlan& plan_;
    ProgressLine* progress_;
    std::mutex mutex_;
    std::atomic<bool> writeFailed_{false};
};

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
    if (!plan.logDir.empty()) {
        std::error_code error;
        std::filesystem::create_directories(PathOf(plan.logDir), error);  // an existing one is fine
        if (!std::filesystem::is_directory(PathOf(plan.logDir), error)) {
            std::fprintf(stderr, "karvex-run: cannot use %s as the log directory\n",
                         plan.logDir.c_str());
            return kUsageOrPort;
        }
    }

    std::vector<std::unique_ptr<BoardRun>> boards;
    std::unique_ptr<ProgressLine> progress;
    if (StdoutIsTerminal() && !plan.json) progress = std::make_unique<ProgressLine>(plan, boards);
    Output output(plan, progress.get());
    for (const BoardTarget& target : plan.boards) {
        boards.push_back(std::make_unique<BoardRun>(
            target, plan,
            [&output](const BoardTarget& b, const ItemResult& r) { output.Item(b, r); },
            [&output](const BoardTarget& b, const std::string& reason) {
                output.OpenFailed(b, reason);
            }));
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

    std::vector<BoardSummary> summaries;
    int status = kAllPassed;
    for (auto& board : boards) {
        if (board->OpenFailed()) status = kUsageOrPort;
        for (const ItemResult& r : board->Results()) {
            if (!Passed(r) && status == kAllPassed) status = kSomeFailed;
        }
        summaries.push_back({&board->Target(), board->OpenFailed(), board->Results()});
    }
    if (!plan.junitPath.empty()) output.Save(plan.junitPath, JUnitXml(summaries));
    if (output.WriteFailed() && status == kAllPassed) status = kSomeFailed;
    return interrupted.load() ? kInterrupted : status;
}
