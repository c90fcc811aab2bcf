#include "cli/reports.h"

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>

#include "cli/platform.h"

namespace karvex::cli {
namespace {

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
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

// What a report says about an item that did not pass.
std::string Reason(const ItemResult& r) {
    std::string text = VerdictWord(r);
    if (HasStep(r)) text += " at " + Where(r);
    if (r.report.verdict == ItemVerdict::Failed && !r.report.stop.line.empty()) {
        text += ": " + LineText(r.report.stop.line);
    }
    return text;
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

// Text as XML character data or attribute value. XML 1.0 cannot carry control characters other
// than tab, LF and CR at all, so they become U+FFFD (as the window shows them); CR is kept as a
// reference, so that the traffic's line ends survive the parser's line-end normalisation.
std::string Xml(const std::string& utf8) {
    std::string out;
    for (const char c : utf8) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\r':
                out += "&#13;";
                break;
            case '\n':
            case '\t':
                out += c;
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                    out += "\xEF\xBF\xBD";
                } else {
                    out += c;
                }
        }
    }
    return out;
}

}  // namespace

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
    line += Passed(r) ? "passed" : Reason(r);
    if (r.ending == Ending::LinkGone) line += " (not sent)";
    char time[32];
    std::snprintf(time, sizeof time, "  %.2f s", r.seconds);
    return line + time;
}

std::string JsonLine(const BoardTarget& board, const ItemResult& r) {
    nlohmann::ordered_json j;
    j["board"] = board.name;
    j["item"] = r.item;
    j["name"] = r.name;
    j["verdict"] = VerdictWord(r);
    j["seconds"] = r.seconds;
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
    char position[16];
    std::snprintf(position, sizeof position, "%02d", r.position + 1);
    return dir + "/" + SafeName(board.name) + "_" + position + "_" + SafeName(r.name) + ".log";
}

bool WriteLogFile(const std::string& path, const std::string& bytes) {
    std::ofstream file(PathOf(path), std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    return !file.fail();
}

std::string JUnitXml(const std::vector<BoardSummary>& boards) {
    std::string suites;
    int allTests = 0, allFailures = 0, allErrors = 0;
    double allTime = 0;
    for (const BoardSummary& b : boards) {
        const std::string name = Xml(b.board->name);
        std::string cases;
        int failures = 0, errors = 0;
        double time = 0;
        if (b.openFailed) {
            ++errors;
            cases += "    <testcase classname=\"" + name +
                     "\" name=\"open\" time=\"0.000\">\n"
                     "      <error message=\"the port would not open\" type=\"port-error\"/>\n"
                     "    </testcase>\n";
        }
        for (const ItemResult& r : b.results) {
            time += r.seconds;
            cases += "    <testcase classname=\"" + name + "\" name=\"" + std::to_string(r.item) +
                     " " + Xml(r.name) + "\" time=\"" + Seconds(r.seconds) + "\"";
            if (Passed(r)) {
                cases += "/>\n";
                continue;
            }
            // A failure reply, a time-out or a missing time reply is the board's answer: a
            // failure. A lost link or an interruption says nothing about the board: an error.
            const bool failure =
                r.ending == Ending::Ran && (r.report.verdict == ItemVerdict::Failed ||
                                            r.report.verdict == ItemVerdict::TimedOut ||
                                            r.report.verdict == ItemVerdict::NoTimeReply);
            const char* element = failure ? "failure" : "error";
            (failure ? failures : errors) += 1;
            cases += ">\n      <" + std::string(element) + " message=\"" + Xml(Reason(r)) +
                     "\" type=\"" + VerdictWord(r) + "\">" + Xml(Cp932ToUtf8(r.log)) + "</" +
                     element + ">\n    </testcase>\n";
        }
        const int tests = static_cast<int>(b.results.size()) + (b.openFailed ? 1 : 0);
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
