#include "cli/progress_line.h"

#include <chrono>
#include <cstdio>

#include "cli/platform.h"
#include "cli/reports.h"

namespace karvex::cli {
namespace {

constexpr auto kRedraw = std::chrono::milliseconds(200);
constexpr size_t kWidth = 79;  // never wraps on an 80-column terminal
constexpr const char* kEraseLine = "\r\x1b[K";

}  // namespace

ProgressLine::ProgressLine(const RunPlan& plan,
                           const std::vector<std::unique_ptr<BoardRun>>& boards)
    : plan_(plan), boards_(boards) {}

ProgressLine::~ProgressLine() {
    Finish();
}

void ProgressLine::Start() {
    thread_ = std::thread([this] {
        std::unique_lock lock(mutex_);
        while (!wake_.wait_for(lock, kRedraw, [this] { return finished_; })) Draw();
    });
}

// "COM3 2/4 rssi AT+CSQ 0.3/5s | COM4 ...", in a run of rounds "COM3 r12 2/4 ..."
std::string ProgressLine::Text() const {
    using namespace std::chrono;
    std::string text;
    for (const auto& board : boards_) {
        const BoardProgress p = board->Progress();
        if (p.position < 0) continue;
        char counts[112];
        const double waited = duration<double>(steady_clock::now() - p.sentAt).count();
        const std::string round = p.round > 0 ? " r" + std::to_string(p.round) : "";
        std::snprintf(counts, sizeof counts, "%s %d/%zu %s ", round.c_str(), p.position + 1,
                      plan_.items.size(),
                      ItemName(plan_, plan_.items[static_cast<size_t>(p.position)]).c_str());
        char times[48];
        std::snprintf(times, sizeof times, " %.1f/%.0fs", p.command.empty() ? 0.0 : waited,
                      p.timeoutMs / 1000.0);
        // The command is CP932 as written (the SMS text ends in Ctrl-Z); the name is as given.
        text += (text.empty() ? "" : " | ") + TerminalText(board->Target().name) + counts +
                TerminalText(Cp932ToUtf8(p.command)) + times;
    }
    if (text.size() > kWidth) {
        // Cut between characters, never inside one.
        size_t cut = kWidth;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
        text.resize(cut);
    }
    return text;
}

void ProgressLine::Draw() {
    const std::string text = Text();
    std::fprintf(stdout, "%s%s", kEraseLine, text.c_str());
    std::fflush(stdout);
    drawn_ = !text.empty();
}

void ProgressLine::PrintAbove(const std::string& line) {
    std::lock_guard lock(mutex_);
    std::fprintf(stdout, "%s%s\n", drawn_ ? kEraseLine : "", line.c_str());
    std::fflush(stdout);
    drawn_ = false;
}

void ProgressLine::Finish() {
    {
        std::lock_guard lock(mutex_);
        if (finished_) return;
        finished_ = true;
        if (drawn_) std::fputs(kEraseLine, stdout);
        std::fflush(stdout);
        drawn_ = false;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

}  // namespace karvex::cli
