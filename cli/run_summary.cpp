#include "cli/run_summary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/platform.h"
#include "cli/reports.h"

namespace karvex::cli {
namespace {

// The histogram's buckets: [lower, lower + width) for bucket b.
constexpr uint32_t kMsBuckets = 1000, kTenMsBuckets = 900, kHundredMsBuckets = 900;
constexpr uint32_t kLastBucket = kMsBuckets + kTenMsBuckets + kHundredMsBuckets + 100000;

uint32_t Bucket(double ms) {
    if (!(ms > 0)) return 0;  // NaN too
    if (ms < 1000) return static_cast<uint32_t>(ms);
    if (ms < 10000) return kMsBuckets + static_cast<uint32_t>((ms - 1000) / 10);
    if (ms < 100000) return kMsBuckets + kTenMsBuckets + static_cast<uint32_t>((ms - 10000) / 100);
    const double seconds = std::min((ms - 100000) / 1000, 100000.0);
    return std::min(kLastBucket, kMsBuckets + kTenMsBuckets + kHundredMsBuckets +
                                     static_cast<uint32_t>(seconds));
}

// The middle of bucket `b`.
double Middle(uint32_t b) {
    if (b < kMsBuckets) return b + 0.5;
    b -= kMsBuckets;
    if (b < kTenMsBuckets) return 1000 + b * 10 + 5;
    b -= kTenMsBuckets;
    if (b < kHundredMsBuckets) return 10000 + b * 100 + 50;
    return 100000 + (b - kHundredMsBuckets) * 1000.0 + 500;
}

void Count(std::vector<std::pair<std::string, int>>& counts, const std::string& word) {
    for (auto& [w, n] : counts) {
        if (w == word) {
            ++n;
            return;
        }
    }
    counts.emplace_back(word, 1);
}

StepFigures& StepOf(std::vector<StepFigures>& steps, const TraceStep& step) {
    const auto at =
        std::lower_bound(steps.begin(), steps.end(), step, [](const auto& f, const auto& s) {
            return std::pair(f.list, f.index) < std::pair(s.list, s.index);
        });
    if (at != steps.end() && at->list == step.list && at->index == step.index) return *at;
    StepFigures figures;
    figures.list = step.list;
    figures.index = step.index;
    figures.command = step.command;
    return *steps.insert(at, std::move(figures));
}

// `run` as the HTML report keeps it: its traffic cut at the cap (steps keep their times).
KeptRun Kept(const ItemResult& r) {
    KeptRun kept;
    kept.round = r.round;
    kept.position = r.position;
    kept.item = r.item;
    kept.name = r.name;
    kept.verdict = VerdictWord(r);
    kept.reason = Passed(r) ? std::string() : ReasonText(r);
    kept.seconds = r.seconds;
    kept.roundStart = r.roundStart;
    kept.trace.start = r.maskedTrace.start;
    kept.trace.end = r.maskedTrace.end;
    kept.trace.steps = r.maskedTrace.steps;
    size_t bytes = 0;
    for (const TraceChunk& chunk : r.maskedTrace.chunks) {
        if (bytes + chunk.bytes.size() > RunSummary::kKeptTrafficBytes) {
            kept.droppedBytes += chunk.bytes.size();
            continue;
        }
        bytes += chunk.bytes.size();
        kept.trace.chunks.push_back(chunk);
    }
    return kept;
}

void AddRound(BoardFigures& b, int round, const std::string& worst) {
    if (b.rounds.empty() || b.rounds.back().last - b.rounds.back().first + 1 >= b.roundsPerBin) {
        b.rounds.push_back({round, round, 0, 0, {}});
    }
    RoundBin& bin = b.rounds.back();
    bin.last = round;
    (worst == "passed" ? bin.passedRounds : bin.otherRounds) += 1;
    if (Severity(worst) > Severity(bin.worst)) bin.worst = worst;
    if (b.rounds.size() <= RunSummary::kMaxRoundBins) return;
    std::vector<RoundBin> merged;
    for (size_t i = 0; i < b.rounds.size(); i += 2) {
        RoundBin m = b.rounds[i];
        if (i + 1 < b.rounds.size()) {
            const RoundBin& next = b.rounds[i + 1];
            m.last = next.last;
            m.passedRounds += next.passedRounds;
            m.otherRounds += next.otherRounds;
            if (Severity(next.worst) > Severity(m.worst)) m.worst = next.worst;
        }
        merged.push_back(std::move(m));
    }
    b.rounds = std::move(merged);
    b.roundsPerBin *= 2;
}

std::string Ms(double ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f ms", ms);
    return text;
}

}  // namespace

void Durations::Add(double ms) {
    min_ = count_ == 0 ? ms : std::min(min_, ms);
    max_ = count_ == 0 ? ms : std::max(max_, ms);
    ++count_;
    ++buckets_[Bucket(ms)];
}

double Durations::Quantile(double q) const {
    if (count_ == 0) return 0;
    const auto rank = std::max<size_t>(1, static_cast<size_t>(std::ceil(q * count_)));
    size_t seen = 0;
    for (const auto& [bucket, n] : buckets_) {
        seen += n;
        if (seen >= rank) return std::clamp(Middle(bucket), min_, max_);
    }
    return max_;
}

int Severity(const std::string& verdict) {
    static const std::map<std::string, int> kSeverity = {
        {"passed", 0},    {"interrupted", 1}, {"refused", 1},   {"no-time-reply", 2},
        {"timed-out", 3}, {"failed", 4},      {"link-lost", 5}, {"port-error", 5}};
    const auto at = kSeverity.find(verdict);
    return at == kSeverity.end() ? -1 : at->second;
}

RunSummary::RunSummary(const RunPlan& plan, std::string startedUtc)
    : plan_(&plan), started_(std::move(startedUtc)) {
    for (const BoardTarget& board : plan.boards) {
        BoardFigures b;
        b.board = &board;
        b.items.resize(plan.items.size());
        for (size_t i = 0; i < plan.items.size(); ++i) {
            b.items[i].position = static_cast<int>(i);
            b.items[i].item = plan.items[i];
            b.items[i].name = ItemName(plan, plan.items[i]);
        }
        boards_.push_back(std::move(b));
    }
}

void RunSummary::OpenFailed(const BoardTarget& board) {
    boards_[static_cast<size_t>(board.index)].openFailed = true;
}

void RunSummary::Add(const BoardTarget& board, const ItemResult& r) {
    BoardFigures& b = boards_[static_cast<size_t>(board.index)];
    ItemFigures& f = b.items[static_cast<size_t>(r.position)];
    const std::string word = VerdictWord(r);
    ++f.runs;
    Count(f.verdicts, word);
    f.seconds += r.seconds;
    if (r.ending != Ending::LinkGone) f.durations.Add(r.seconds * 1000);
    for (const TraceStep& step : r.maskedTrace.steps) {
        if (step.index < 0) continue;
        StepFigures& s = StepOf(f.steps, step);
        ++s.ends[static_cast<size_t>(step.end)];
        const bool replied = step.end == StepEnd::Done || step.end == StepEnd::FailureReply;
        if (replied && step.timeout != kNoWait) s.replies.Add(step.ended - step.written);
    }
    if (Severity(word) > Severity(b.roundWorst)) b.roundWorst = word;
    endMs_ = std::max(endMs_, r.trace.end);
    const bool keep = !plan_->htmlPath.empty();
    if (Passed(r)) {
        ++f.passed;
    } else {
        ++f.notPassedRuns;
        NotPassed np{r.round, CountsAsFailure(r), word, ReasonText(r), Cp932ToUtf8(r.maskedLog)};
        if (np.failure || !f.notPassed.failure) f.notPassed = std::move(np);
        if (keep && b.notPassed.size() < kKeptFailures + 1) {
            b.notPassed.push_back(Kept(r));
        } else if (keep) {
            b.notPassed.back() = Kept(r);  // the latest after the first ones
        }
    }
    if (keep) b.thisRound.push_back(Kept(r));
}

void RunSummary::RoundDone(const BoardTarget& board) {
    BoardFigures& b = boards_[static_cast<size_t>(board.index)];
    ++b.roundsDone;
    if (!b.roundWorst.empty()) AddRound(b, b.roundsDone, b.roundWorst);
    b.roundWorst.clear();
    b.lastRound = std::move(b.thisRound);
    b.thisRound.clear();
}

bool RunSummary::AnyNotPassed() const {
    for (const BoardFigures& b : boards_) {
        for (const ItemFigures& f : b.items) {
            if (f.notPassedRuns > 0) return true;
        }
    }
    return false;
}

std::string SummaryText(const RunSummary& summary) {
    std::string text;
    char line[256];
    for (const BoardFigures& b : summary.Boards()) {
        const std::string name = TerminalText(b.board->name);
        if (b.openFailed) {
            text += name + ": the port would not open\n";
            continue;
        }
        std::snprintf(line, sizeof line, "%s: %d round%s\n", name.c_str(), b.roundsDone,
                      b.roundsDone == 1 ? "" : "s");
        text += line;
        for (const ItemFigures& f : b.items) {
            if (f.runs == 0) continue;
            std::string counts;
            for (const auto& [word, n] : f.verdicts) {
                counts += (counts.empty() ? "" : ", ") + word + " " + std::to_string(n);
            }
            std::snprintf(line, sizeof line,
                          "  %2d %-13s %d/%d passed (%.1f%%): %s; median %.2f s\n", f.item,
                          TerminalText(f.name).c_str(), f.passed, f.runs, 100.0 * f.passed / f.runs,
                          counts.c_str(), f.durations.Quantile(0.5) / 1000);
            text += line;
            for (const StepFigures& s : f.steps) {
                const std::string where = (s.list == 1 ? "clock step " : "step ") +
                                          std::to_string(s.index + 1) + " " +
                                          TerminalText(Cp932ToUtf8(s.command));
                text += "       " + where + ": ";
                if (s.replies.Count() == 0) {
                    text += "no reply\n";
                    continue;
                }
                text += std::to_string(s.replies.Count()) + " replies, min " + Ms(s.replies.Min()) +
                        ", median " + Ms(s.replies.Quantile(0.5)) + ", p99 " +
                        Ms(s.replies.Quantile(0.99)) + ", max " + Ms(s.replies.Max()) + "\n";
            }
        }
    }
    return text;
}

std::string SummaryJson(const RunSummary& summary) {
    using Json = nlohmann::ordered_json;
    Json boards = Json::array();
    const auto round1 = [](double v) { return std::round(v * 10) / 10; };
    for (const BoardFigures& b : summary.Boards()) {
        Json board;
        board["board"] = b.board->name;
        if (b.openFailed) {
            board["verdict"] = "port-error";
            boards.push_back(board);
            continue;
        }
        board["rounds"] = b.roundsDone;
        Json items = Json::array();
        for (const ItemFigures& f : b.items) {
            if (f.runs == 0) continue;
            Json item;
            item["position"] = f.position + 1;
            item["item"] = f.item;
            item["name"] = f.name;
            item["runs"] = f.runs;
            item["passed"] = f.passed;
            item["pass_rate"] = static_cast<double>(f.passed) / f.runs;
            Json verdicts = Json::object();
            for (const auto& [word, n] : f.verdicts) verdicts[word] = n;
            item["verdicts"] = verdicts;
            item["median_seconds"] = round1(f.durations.Quantile(0.5)) / 1000;
            Json steps = Json::array();
            for (const StepFigures& s : f.steps) {
                Json step;
                step["list"] = s.list;
                step["step"] = s.index + 1;
                step["command"] = Cp932ToUtf8(s.command);
                step["replies"] = s.replies.Count();
                if (s.replies.Count() > 0) {
                    step["min_ms"] = round1(s.replies.Min());
                    step["median_ms"] = round1(s.replies.Quantile(0.5));
                    step["p99_ms"] = round1(s.replies.Quantile(0.99));
                    step["max_ms"] = round1(s.replies.Max());
                }
                Json ends = Json::object();
                for (size_t e = 0; e < s.ends.size(); ++e) {
                    if (s.ends[e] > 0) ends[StepEndWord(static_cast<StepEnd>(e))] = s.ends[e];
                }
                step["ends"] = ends;
                steps.push_back(step);
            }
            item["steps"] = steps;
            items.push_back(item);
        }
        board["items"] = items;
        boards.push_back(board);
    }
    Json j;
    j["summary"] = {{"started", summary.StartedUtc()}, {"boards", boards}};
    return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace karvex::cli
