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
        std::lock_guard lock(mutex_);
        if (!plan_.logDir.empty() && result.ending != Ending::LinkGone &&
            !WriteLogFile(LogFilePath(plan_.logDir, board, result), result.log)) {
            std::fprintf(stderr, "karvex-run: cannot write %s\n",
                         LogFilePath(plan_.logDir, board, result).c_str());
            writeFailed_ = true;
        }
        Print(plan_.json ? JsonLine(board, result) : HumanLine(board, result));
        if (plan_.json) std::fprintf(stderr, "%s\n", HumanLine(board, result).c_str());
    }

    void OpenFailed(const BoardTarget& board, const std::string& reason) {
        std::lock_guard lock(mutex_);
        std::fprintf(stderr, "karvex-run: %s: the port would not open (COM error.)%s%s\n",
                     board.name.c_str(), reason.empty() ? "" : ": ", reason.c_str());
        if (plan_.json) Print(OpenFailedJsonLine(board));
    }

    bool WriteFailed() const { return writeFailed_; }

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
    bool writeFailed_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    UseUtf8Console();
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
    {
        // Ctrl-C stops every board at once: the running steps end, nothing more is sent.
        InterruptWatch watch([&] {
            interrupted.store(true);
            for (auto& board : boards) board->Stop();
        });
        for (auto& board : boards) board->Start();
        if (progress) progress->Start();
        for (auto& board : boards) board->Join();
        if (progress) progress->Finish();
    }

    std::vector<BoardSummary> summaries;
    int status = kAllPassed;
    for (auto& board : boards) {
        if (board->OpenFailed()) status = kUsageOrPort;
        for (const ItemResult& r : board->Results()) {
            if (!Passed(r) && status == kAllPassed) status = kSomeFailed;
        }
        summaries.push_back({&board->Target(), board->OpenFailed(), board->Results()});
    }
    if (!plan.junitPath.empty()) {
        const std::string xml = JUnitXml(summaries);
        if (!WriteLogFile(plan.junitPath, xml)) {
            std::fprintf(stderr, "karvex-run: cannot write %s\n", plan.junitPath.c_str());
            if (status == kAllPassed) status = kSomeFailed;
        }
    }
    if (output.WriteFailed() && status == kAllPassed) status = kSomeFailed;
    return interrupted.load() ? kInterrupted : status;
}
