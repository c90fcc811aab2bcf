#include "cli/html_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cli/platform.h"
#include "cli/reports.h"

namespace karvex::cli {
namespace {

constexpr double kLabelWidth = 180, kPlotWidth = 900, kLaneHeight = 26, kAxisHeight = 22;
constexpr double kTimelineLane = 38;  // an item's name above its steps

// The page's only rules; the colours of bars are attributes of their own, so that what is drawn
// does not depend on the style sheet.
constexpr const char* kStyle = R"(
body{font:14px/1.4 sans-serif;margin:1.5em;color:#222}
h1{font-size:1.4em}h2{font-size:1.15em;margin-top:1.6em}
table{border-collapse:collapse}th,td{border:1px solid #ccc;padding:3px 7px;text-align:left}
td.n{text-align:right;font-variant-numeric:tabular-nums}
td.v{color:#fff;text-align:center;font-weight:600}td.v small{font-weight:400}
.meta{color:#555}.key span{display:inline-block;padding:1px 8px;margin-right:6px;color:#fff}
svg text{font:11px sans-serif;fill:#333}svg text.il{font-size:10px;fill:#555}
rect.step{stroke:#fff;stroke-width:1}rect.item{stroke:#d0d0d0}
details{margin:2px 0}summary{cursor:pointer}
pre{background:#f6f6f6;padding:6px;margin:4px 0 8px;overflow-x:auto;font-size:12px}
)";

std::string Text(const std::string& utf8) {
    return XmlText(utf8);
}

// Coordinates and figures, one decimal unless told.
std::string Num(double value, int decimals = 1) {
    return Fixed(value, decimals);
}

std::string WireText(std::string_view bytes) {
    return EscapedBytes(bytes, false);
}

std::string StepName(const TraceStep& step) {
    return std::string(step.list == 1 ? "clock step " : "step ") + std::to_string(step.index + 1);
}

// A tick spacing of 1, 2 or 5 times a power of ten that cuts `span` into about eight.
double TickSpacing(double span) {
    const double rough = std::max(span / 8, 1.0);
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double m : {1.0, 2.0, 5.0}) {
        if (m * power >= rough) return m * power;
    }
    return 10 * power;
}

std::string Rect(const char* cls, double x, double y, double w, double h, const std::string& fill,
                 const std::string& data, const std::string& title) {
    return "<rect class=\"" + std::string(cls) + "\"" + data + " fill=\"" + fill + "\" x=\"" +
           Num(x) + "\" y=\"" + Num(y) + "\" width=\"" + Num(std::max(w, 1.0)) + "\" height=\"" +
           Num(h) + "\"><title>" + Text(title) + "</title></rect>\n";
}

std::string ItemLabel(int item, const std::string& name) {
    return std::to_string(item) + " " + name;
}

std::string Summary(const RunSummary& summary) {
    const RunPlan& plan = summary.Plan();
    std::string html = "<h2>Summary</h2>\n<table class=\"summary\"><tr><th>board</th>";
    for (const int item : plan.items)
        html += "<th>" + Text(ItemLabel(item, ItemName(plan, item))) + "</th>";
    html += "</tr>\n";
    for (const BoardFigures& b : summary.Boards()) {
        html += "<tr><th>" + Text(b.board->name) + "</th>";
        if (b.openFailed) {
            html += "<td class=\"v\" colspan=\"" + std::to_string(plan.items.size()) +
                    "\" style=\"background:" + VerdictColour("port-error") +
                    "\">the port would not open</td></tr>\n";
            continue;
        }
        for (const ItemFigures& f : b.items) {
            if (f.runs == 0) {
                html += "<td>not run</td>";
                continue;
            }
            // The colour of the worst verdict it met; the cell tells how often it passed.
            std::string worst = "passed", counts;
            for (const auto& [word, n] : f.verdicts) {
                if (Severity(word) > Severity(worst)) worst = word;
                counts += (counts.empty() ? "" : ", ") + word + " " + std::to_string(n);
            }
            const std::string shown =
                f.runs == 1 ? worst
                            : std::to_string(f.passed) + "/" + std::to_string(f.runs) + " passed";
            html += "<td class=\"v\" data-verdict=\"" + worst +
                    "\" style=\"background:" + VerdictColour(worst) + "\" title=\"" + Text(counts) +
                    "\">" + Text(shown) + "<br><small>" + Num(f.durations.Quantile(0.5) / 1000, 2) +
                    " s" + (f.runs > 1 ? " median" : "") + "</small></td>";
        }
        html += "</tr>\n";
    }
    return html + "</table>\n";
}

// One lane of the timeline: the item runs of a board's last round, at their times from the
// round's start.
std::string Lane(const BoardFigures& b, double y, double scale) {
    std::string svg =
        "<g class=\"lane\" data-board=\"" + std::to_string(b.board->index + 1) + "\">\n";
    std::string label = b.board->name;
    if (!b.lastRound.empty() && b.lastRound.front().round > 0) {
        label += "  round " + std::to_string(b.lastRound.front().round);
    }
    svg +=
        "<text x=\"4\" y=\"" + Num(y + kTimelineLane / 2 + 8) + "\">" + Text(label) + "</text>\n";
    const double barTop = y + 14, barHeight = kTimelineLane - 18;
    const std::string data = " data-board=\"" + std::to_string(b.board->index + 1) + "\"";
    for (const KeptRun& run : b.lastRound) {
        const double t0 = run.roundStart;
        auto x = [&](double t) { return kLabelWidth + (t - t0) * scale; };
        const double start = run.trace.start;
        const double end = std::max(run.trace.end, start);
        std::string title = ItemLabel(run.item, run.name) + ": " +
                            (run.reason.empty() ? run.verdict : run.reason) + " (" +
                            Num(run.seconds, 2) + " s)";
        svg += Rect("item", x(start), barTop - 2, (end - start) * scale, barHeight + 4, "#f4f4f4",
                    data + " data-verdict=\"" + run.verdict + "\"", title);
        const std::string name = ItemLabel(run.item, run.name);
        if ((end - start) * scale > 6.0 * name.size()) {
            svg += "<text class=\"il\" x=\"" + Num(x(start) + 1) + "\" y=\"" + Num(y + 10) + "\">" +
                   Text(name) + "</text>\n";
        }
        double previous = start;
        for (const TraceStep& step : run.trace.steps) {
            if (step.pauseBeforeMs > 0 && step.written > previous) {
                svg += Rect("pause", x(previous), barTop + 5, (step.written - previous) * scale,
                            barHeight - 10, "#c8c8c8", data,
                            "pause of " + std::to_string(step.pauseBeforeMs) + " ms before " +
                                StepName(step));
            }
            const std::string end = StepEndWord(step.end);
            std::string tip = ItemLabel(run.item, run.name) + ", " + StepName(step) + ": " +
                              Cp932ToUtf8(step.command) + "\n" + end + " " +
                              Num(step.ended - step.written, 0) + " ms after the write (at " +
                              Num(step.written - t0, 0) + " ms)";
            if (!step.line.empty()) tip += "\nline: " + WireText(step.line);
            svg += Rect("step", x(step.written), barTop, (step.ended - step.written) * scale,
                        barHeight, VerdictColour(end),
                        data + " data-item=\"" + std::to_string(run.position + 1) +
                            "\" data-end=\"" + end + "\"",
                        tip);
            previous = step.ended;
        }
    }
    return svg + "</g>\n";
}

std::string Timeline(const RunSummary& summary) {
    double span = 1;
    int lanes = 0;
    for (const BoardFigures& b : summary.Boards()) {
        if (b.lastRound.empty()) continue;
        ++lanes;
        for (const KeptRun& run : b.lastRound)
            span = std::max(span, run.trace.end - run.roundStart);
    }
    if (lanes == 0) return "";
    const double scale = kPlotWidth / span;
    const double height = kAxisHeight + lanes * kTimelineLane + 4;
    std::string svg = "<h2>Timeline</h2>\n<p class=\"meta\">" +
                      std::string(summary.Plan().Repeating()
                                      ? "Each board's last round, from the start of that round."
                                      : "All boards from the run's start.") +
                      " A bar is a step from its write to its verdict; grey gaps are pauses. "
                      "Point at a bar for its line.</p>\n";
    svg += "<svg id=\"timeline\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
           Num(kLabelWidth + kPlotWidth + 20, 0) + "\" height=\"" + Num(height, 0) + "\">\n";
    const double tick = TickSpacing(span);
    for (double t = 0; t <= span + 0.5; t += tick) {
        const double x = kLabelWidth + t * scale;
        svg += "<line x1=\"" + Num(x) + "\" x2=\"" + Num(x) + "\" y1=\"" + Num(kAxisHeight - 4) +
               "\" y2=\"" + Num(height) + "\" stroke=\"#e4e4e4\"/>" + "<text x=\"" + Num(x + 2) +
               "\" y=\"12\">" + Num(t / 1000, tick < 1000 ? 1 : 0) + " s</text>\n";
    }
    double y = kAxisHeight;
    for (const BoardFigures& b : summary.Boards()) {
        if (b.lastRound.empty()) continue;
        svg += Lane(b, y, scale);
        y += kTimelineLane;
    }
    return svg + "</svg>\n";
}

// In a run of rounds: each board's rounds, in bins when there are many.
std::string Rounds(const RunSummary& summary) {
    int most = 1;
    for (const BoardFigures& b : summary.Boards()) most = std::max(most, b.roundsDone);
    std::string svg =
        "<h2>Rounds</h2>\n<svg id=\"rounds\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
        Num(kLabelWidth + kPlotWidth + 20, 0) + "\" height=\"" +
        Num(summary.Boards().size() * kLaneHeight + 4, 0) + "\">\n";
    double y = 2;
    const double scale = kPlotWidth / most;
    for (const BoardFigures& b : summary.Boards()) {
        svg += "<text x=\"4\" y=\"" + Num(y + kLaneHeight / 2 + 4) + "\">" + Text(b.board->name) +
               "</text>\n";
        // Neighbouring bins of one colour are one bar: a long run of passing rounds is one.
        for (size_t i = 0; i < b.rounds.size();) {
            RoundBin bar = b.rounds[i];
            for (++i; i < b.rounds.size() && b.rounds[i].worst == bar.worst; ++i) {
                bar.last = b.rounds[i].last;
                bar.passedRounds += b.rounds[i].passedRounds;
                bar.otherRounds += b.rounds[i].otherRounds;
            }
            std::string title = bar.first == bar.last ? "round " + std::to_string(bar.first)
                                                      : "rounds " + std::to_string(bar.first) +
                                                            "–" + std::to_string(bar.last);
            title += ": " + std::to_string(bar.passedRounds) + " passed";
            if (bar.otherRounds > 0) {
                title += ", " + std::to_string(bar.otherRounds) + " not (worst " + bar.worst + ")";
            }
            svg += Rect("round", kLabelWidth + (bar.first - 1) * scale, y + 4,
                        (bar.last - bar.first + 1) * scale - 0.5, kLaneHeight - 8,
                        VerdictColour(bar.worst), "", title);
        }
        y += kLaneHeight;
    }
    return svg + "</svg>\n";
}

std::string ReplyTimes(const RunSummary& summary) {
    std::string html =
        "<h2>Reply times</h2>\n<p class=\"meta\">From a step's write to the verdict its line "
        "gave, across all rounds.</p>\n<table class=\"replies\"><tr><th>board</th><th>item</th>"
        "<th>step</th><th>command</th><th>replies</th><th>min</th><th>median</th><th>p99</th>"
        "<th>max</th><th>other ends</th></tr>\n";
    for (const BoardFigures& b : summary.Boards()) {
        for (const ItemFigures& f : b.items) {
            for (const StepFigures& s : f.steps) {
                const Durations& r = s.replies;
                std::string others;
                for (size_t e = 0; e < s.ends.size(); ++e) {
                    if (e == static_cast<size_t>(StepEnd::Done) || s.ends[e] == 0) continue;
                    others += (others.empty() ? "" : ", ") +
                              std::string(StepEndWord(static_cast<StepEnd>(e))) + " " +
                              std::to_string(s.ends[e]);
                }
                auto ms = [&](double v) { return r.Count() > 0 ? Num(v, 0) + " ms" : "—"; };
                html += "<tr><td>" + Text(b.board->name) + "</td><td>" +
                        Text(ItemLabel(f.item, f.name)) + "</td><td>" +
                        (s.list == 1 ? "clock " : "") + std::to_string(s.index + 1) + "</td><td>" +
                        Text(Cp932ToUtf8(s.command)) + "</td><td class=\"n\">" +
                        std::to_string(r.Count()) + "</td><td class=\"n\">" + ms(r.Min()) +
                        "</td><td class=\"n\">" + ms(r.Quantile(0.5)) + "</td><td class=\"n\">" +
                        ms(r.Quantile(0.99)) + "</td><td class=\"n\">" + ms(r.Max()) + "</td><td>" +
                        Text(others) + "</td></tr>\n";
            }
        }
    }
    return html + "</table>\n";
}

std::string Traffic(const BoardFigures& b, const KeptRun& run) {
    std::string head = b.board->name + " · " + ItemLabel(run.item, run.name) + " · " +
                       (run.reason.empty() ? run.verdict : run.reason) + " · " +
                       Num(run.seconds, 2) + " s";
    if (run.round > 0) head += " · round " + std::to_string(run.round);
    std::string html = "<details><summary>" + Text(head) + "</summary><pre>";
    for (const TraceChunk& chunk : run.trace.chunks) {
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "%10.1f ms %s ", chunk.t, chunk.sent ? "&gt;" : "&lt;");
        html += stamp + Text(WireText(chunk.bytes)) + "\n";
    }
    if (run.droppedBytes > 0) {
        html += "… " + std::to_string(run.droppedBytes) + " more bytes not kept\n";
    }
    return html + "</pre></details>\n";
}

}  // namespace

const char* VerdictColour(const std::string& word) {
    if (word == "passed" || word == "done") return "#2e9d4f";
    if (word == "failed" || word == "failure-reply") return "#d64541";
    if (word == "timed-out") return "#e8900c";
    if (word == "no-time-reply") return "#a67c00";
    if (word == "link-lost" || word == "link-closed" || word == "send-error" ||
        word == "port-error") {
        return "#7b5ea7";
    }
    return "#8c8c8c";  // interrupted, refused
}

std::string HtmlReport(const RunSummary& summary) {
    const RunPlan& plan = summary.Plan();
    int rounds = 0;
    for (const BoardFigures& b : summary.Boards()) rounds = std::max(rounds, b.roundsDone);
    std::string items;
    for (const int item : plan.items)
        items += (items.empty() ? "" : ", ") + ItemLabel(item, ItemName(plan, item));
    std::string html =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
        "style-src 'unsafe-inline'\">\n<title>karvex-run report</title>\n<style>" +
        std::string(kStyle) +
        "</style></head><body>\n<h1>karvex-run report</h1>\n<p class=\"meta\">" +
        Text("started " + summary.StartedUtc() + " · " + std::to_string(plan.boards.size()) +
             " board" + (plan.boards.size() == 1 ? "" : "s") + " · items " + items + " · " +
             std::to_string(rounds) + " round" + (rounds == 1 ? "" : "s") + " · " +
             Num(summary.EndMs() / 1000, 1) + " s") +
        "</p>\n<p class=\"key\">";
    for (const char* word :
         {"passed", "failed", "timed-out", "no-time-reply", "link-lost", "interrupted"}) {
        html += "<span style=\"background:" + std::string(VerdictColour(word)) + "\">" + word +
                "</span>";
    }
    html += "</p>\n" + Summary(summary) + Timeline(summary);
    if (plan.Repeating()) html += Rounds(summary);
    html += ReplyTimes(summary) + "<h2>Traffic</h2>\n";
    for (const BoardFigures& b : summary.Boards()) {
        for (const KeptRun& run : b.lastRound) html += Traffic(b, run);
    }
    std::string failing;
    for (const BoardFigures& b : summary.Boards()) {
        for (const KeptRun& run : b.notPassed) {
            // Those of the last round are above already.
            if (plan.Repeating() &&
                (b.lastRound.empty() || run.round != b.lastRound.front().round)) {
                failing += Traffic(b, run);
            }
        }
    }
    if (!failing.empty()) {
        html += "<h2>Earlier runs that did not pass</h2>\n<p class=\"meta\">The first " +
                std::to_string(RunSummary::kKeptFailures) + " of each board and its latest.</p>\n" +
                failing;
    }
    return html + "</body></html>\n";
}

}  // namespace karvex::cli
