#include "cli/reports.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/platform.h"
#include "link/utf8.h"

namespace karvex::cli {
namespace {

std::string Seconds(double seconds) {
    return Fixed(seconds, 3);
}

// A received line as readable text: UTF-8, without its line end.
std::string LineText(const std::string& cp932) {
    std::string text = Cp932ToUtf8(cp932);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    while (!text.empty() && (text.front() == '\n' || text.front() == '\r')) text.erase(0, 1);
    return text;
}

bool HasStep(const ItemResult& r) {
    return r.ending == Ending::Ran && r.report.stop.index >= 0 &&
           r.report.verdict != ItemVerdict::Passed;
}

// "step 5 (AT+CGATT=0)"; the clock command of the network-time item is "clock step 1 (...)".
std::string Where(const ItemResult& r) {
    return std::string(r.report.list == 1 ? "clock step " : "step ") +
           std::to_string(r.report.stop.index + 1) + " (" + Cp932ToUtf8(r.report.stop.command) +
           ")";
}

std::string SafeName(const std::string& name) {
    std::string safe;
    for (const char c : name) {
        const bool plain = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
                           (c >= 'A' && c <= 'Z') || c == '-' || c == '.';
        safe += plain ? c : '_';
    }
    while (!safe.empty() && safe.front() == '_') safe.erase(0, 1);
    return safe.empty() ? "board" : safe;
}

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// `text` as valid UTF-8, each code point appended by `put(out, cp, bytes)`.
template <class Put>
std::string MapCodePoints(std::string_view text, Put put) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const auto [cp, size] = NextCodePoint(text);
        const bool valid = cp != 0xFFFD || text.substr(0, size) == kReplacement;
        put(out, cp, valid ? text.substr(0, size) : kReplacement);
        text.remove_prefix(size);
    }
    return out;
}

// Text as XML character data or attribute value. XML 1.0 cannot carry control characters other
// than tab, LF and CR at all, nor U+FFFE and U+FFFF, so they become U+FFFD (as the window shows
// them), as does what is no UTF-8 (a port name's stray byte); CR is kept as a reference, so that
// the traffic's line ends survive the parser's line-end normalisation.
std::string Xml(const std::string& utf8) {
    return MapCodePoints(utf8, [](std::string& out, char32_t cp, std::string_view bytes) {
        switch (cp) {
            case '&':
                out += "&amp;";
                return;
            case '<':
                out += "&lt;";
                return;
            case '>':
                out += "&gt;";
                return;
            case '"':
                out += "&quot;";
                return;
            case '\r':
                out += "&#13;";
                return;
            case '\n':
            case '\t':
                break;
            default:
                if (cp < 0x20 || cp == 0x7F || cp == 0xFFFE || cp == 0xFFFF) {
                    out += kReplacement;
                    return;
                }
        }
        out += bytes;
    });
}

}  // namespace

std::string Fixed(double value, int decimals) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string XmlText(const std::string& utf8) {
    return Xml(utf8);
}

std::string TerminalText(std::string_view text) {
    return MapCodePoints(text, [](std::string& out, char32_t cp, std::string_view bytes) {
        // C0 and C1 controls and DEL would move the cursor, erase or start an escape sequence.
        if (cp >= 0x20 && (cp < 0x7F || cp > 0x9F)) {
            out += bytes;
            return;
        }
        char escaped[8];
        switch (cp) {
            case '\r':
                out += "\\r";
                return;
            case '\n':
                out += "\\n";
                return;
            case '\t':
                out += "\\t";
                return;
            default:
                std::snprintf(escaped, sizeof escaped, cp < 0x80 ? "\\x%02X" : "\\u%04X",
                              static_cast<unsigned>(cp));
                out += escaped;
        }
    });
}

std::string ReasonText(const ItemResult& r) {
    std::string text = VerdictWord(r);
    if (HasStep(r)) text += " at " + Where(r);
    if (r.report.verdict == ItemVerdict::Failed && !r.report.stop.line.empty()) {
        text += ": " + LineText(r.report.stop.line);
    }
    return text;
}

bool CountsAsFailure(const ItemResult& r) {
    return r.ending == Ending::Ran &&
           (r.report.verdict == ItemVerdict::Failed || r.report.verdict == ItemVerdict::TimedOut ||
            r.report.verdict == ItemVerdict::NoTimeReply);
}

bool Passed(const ItemResult& r) {
    return r.ending == Ending::Ran && r.report.verdict == ItemVerdict::Passed;
}

std::string VerdictWord(const ItemResult& r) {
    switch (r.ending) {
        case Ending::Interrupted:
            return "interrupted";
        case Ending::LinkGone:
            return "link-lost";  // lost on an earlier item: not sent
        case Ending::Ran:
            break;
    }
    switch (r.report.verdict) {
        case ItemVerdict::Passed:
            return "passed";
        case ItemVerdict::Failed:
            return "failed";
        case ItemVerdict::TimedOut:
            return "timed-out";
        case ItemVerdict::LinkLost:
            return "link-lost";
        case ItemVerdict::NoTimeReply:
            return "no-time-reply";
        case ItemVerdict::Refused:
            return "refused";
    }
    return "?";
}

std::string HumanLine(const BoardTarget& board, const ItemResult& r) {
    char head[96];
    std::snprintf(head, sizeof head, "%-12s %2d %-13s", board.name.c_str(), r.item, r.name.c_str());
    std::string line = head;
    line += Passed(r) ? "passed" : ReasonText(r);
    if (r.ending == Ending::LinkGone) line += " (not sent)";
    char time[32];
    std::snprintf(time, sizeof time, "  %.2f s", r.seconds);
    line += time;
    if (r.round > 0) line += "  round " + std::to_string(r.round);
    return TerminalText(line);
}

std::string JsonLine(const BoardTarget& board, const ItemResult& r) {
    nlohmann::ordered_json j;
    j["board"] = board.name;
    j["item"] = r.item;
    j["name"] = r.name;
    j["verdict"] = VerdictWord(r);
    j["seconds"] = r.seconds;
    if (r.round > 0) j["round"] = r.round;
    if (HasStep(r)) {
        j["list"] = r.report.list;
        j["step"] = r.report.stop.index + 1;
        j["command"] = Cp932ToUtf8(r.report.stop.command);
        if (!r.report.stop.line.empty()) j["line"] = Cp932ToUtf8(r.report.stop.line);
    }
    return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string OpenFailedJsonLine(const BoardTarget& board) {
    nlohmann::ordered_json j;
    j["board"] = board.name;
    j["verdict"] = "port-error";
    return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::filesystem::path PathOf(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string LogFilePath(const std::string& dir, const BoardTarget& board, const ItemResult& r) {
    // The board's number first: two names that clean up alike ("a b", "a_b") stay apart.
    char position[16];
    std::snprintf(position, sizeof position, "%02d", r.position + 1);
    char round[24] = "";
    if (r.round > 0) std::snprintf(round, sizeof round, "r%04d_", r.round);
    return dir + "/" + std::to_string(board.index + 1) + "_" + SafeName(board.name) + "_" + round +
           position + "_" + SafeName(r.name) + ".log";
}

std::string TraceFilePath(const std::string& dir, const BoardTarget& board) {
    return dir + "/" + std::to_string(board.index + 1) + "_" + SafeName(board.name) + ".jsonl";
}

std::string JUnitXml(const RunSummary& summary) {
    const bool rounds = summary.Plan().Repeating();
    std::string suites;
    int allTests = 0, allFailures = 0, allErrors = 0;
    double allTime = 0;
    for (const BoardFigures& b : summary.Boards()) {
        const std::string name = Xml(b.board->name);
        std::string cases;
        int failures = 0, errors = 0, tests = 0;
        double time = 0;
        if (b.openFailed) {
            ++errors;
            ++tests;
            cases += "    <testcase classname=\"" + name +
                     "\" name=\"open\" time=\"0.000\">\n"
                     "      <error message=\"the port would not open\" type=\"port-error\"/>\n"
                     "    </testcase>\n";
        }
        for (const ItemFigures& f : b.items) {
            if (f.runs == 0) continue;
            ++tests;
            time += f.seconds;
            cases += "    <testcase classname=\"" + name + "\" name=\"" + std::to_string(f.item) +
                     " " + Xml(ItemName(summary.Plan(), f.item)) + "\" time=\"" +
                     Seconds(f.seconds) + "\"";
            if (f.notPassedRuns == 0) {
                cases += "/>\n";
                continue;
            }
            const NotPassed& np = f.notPassed;
            const char* element = np.failure ? "failure" : "error";
            (np.failure ? failures : errors) += 1;
            std::string message = np.message;
            if (rounds) {
                message += " (round " + std::to_string(np.round) + "; did not pass in " +
                           std::to_string(f.notPassedRuns) + " of " + std::to_string(f.runs) +
                           " rounds)";
            }
            cases += ">\n      <" + std::string(element) + " message=\"" + Xml(message) +
                     "\" type=\"" + np.type + "\">" + Xml(np.log) + "</" + element +
                     ">\n    </testcase>\n";
        }
        if (rounds) {
            cases = "    <properties>\n      <property name=\"rounds\" value=\"" +
                    std::to_string(b.roundsDone) + "\"/>\n    </properties>\n" + cases;
        }
        suites += "  <testsuite name=\"" + name + "\" tests=\"" + std::to_string(tests) +
                  "\" failures=\"" + std::to_string(failures) + "\" errors=\"" +
                  std::to_string(errors) + "\" skipped=\"0\" time=\"" + Seconds(time) + "\">\n" +
                  cases + "  </testsuite>\n";
        allTests += tests;
        allFailures += failures;
        allErrors += errors;
        allTime += time;
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"karvex-run\" tests=\"" +
           std::to_string(allTests) + "\" failures=\"" + std::to_string(allFailures) +
           "\" errors=\"" + std::to_string(allErrors) + "\" time=\"" + Seconds(allTime) + "\">\n" +
           suites + "</testsuites>\n";
}

}  // namespace karvex::cli
