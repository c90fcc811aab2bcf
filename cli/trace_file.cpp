#include "cli/trace_file.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <tuple>

#include "cli/reports.h"

namespace karvex::cli {
namespace {

std::string Ms(double ms) {
    return Fixed(ms, 3);
}

std::string ChunkLine(const TraceChunk& chunk) {
    return std::string("{\"type\":\"") + (chunk.sent ? "tx" : "rx") + "\",\"t\":" + Ms(chunk.t) +
           ",\"bytes\":" + JsonBytes(chunk.bytes) + "}\n";
}

// "\"round\":2,\"position\":1," (no round in a run without rounds).
std::string Where(const ItemResult& r) {
    return (r.round > 0 ? "\"round\":" + std::to_string(r.round) + "," : std::string()) +
           "\"position\":" + std::to_string(r.position + 1) + ",";
}

// A name (UTF-8 as given) as a JSON string: what is no UTF-8 as U+FFFD.
std::string JsonName(const std::string& name) {
    return nlohmann::json(name).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

std::string TraceHeader(const BoardTarget& board, const std::string& startedUtc,
                        double monotonicMs) {
    return "{\"type\":\"run\",\"board\":" + JsonName(board.name) + ",\"started\":\"" + startedUtc +
           "\",\"monotonic_ms\":" + Ms(monotonicMs) + "}\n";
}

std::string TraceLines(const std::vector<TraceChunk>& chunks) {
    std::string lines;
    for (const TraceChunk& chunk : chunks) lines += ChunkLine(chunk);
    return lines;
}

std::string TraceLines(const ItemResult& r) {
    // (time, kind, line): at the same time the item comes first, then bytes, then steps.
    std::vector<std::tuple<double, int, std::string>> events;
    const ItemTrace& trace = r.trace;
    events.emplace_back(trace.start, 0,
                        "{\"type\":\"item\"," + Where(r) + "\"item\":" + std::to_string(r.item) +
                            ",\"name\":" + JsonName(r.name) + ",\"t\":" + Ms(trace.start) +
                            ",\"end\":" + Ms(trace.end) + ",\"verdict\":\"" + VerdictWord(r) +
                            "\"}\n");
    for (const TraceChunk& chunk : trace.chunks) events.emplace_back(chunk.t, 1, ChunkLine(chunk));
    double previous = trace.start;
    for (const TraceStep& step : trace.steps) {
        const std::string place = Where(r) + "\"list\":" + std::to_string(step.list) + ",";
        const std::string number = std::to_string(step.index + 1);
        if (step.pauseBeforeMs > 0 && step.written > previous) {
            events.emplace_back(previous, 2,
                                "{\"type\":\"pause\"," + place + "\"before_step\":" + number +
                                    ",\"ms\":" + std::to_string(step.pauseBeforeMs) + ",\"t\":" +
                                    Ms(previous) + ",\"end\":" + Ms(step.written) + "}\n");
        }
        std::string line = "{\"type\":\"step\"," + place + "\"step\":" + number +
                           ",\"command\":" + JsonBytes(step.command) +
                           ",\"timeout\":" + std::to_string(step.timeout) +
                           ",\"t\":" + Ms(step.written) + ",\"verdict_at\":" + Ms(step.ended) +
                           ",\"end\":\"" + StepEndWord(step.end) + "\"";
        if (!step.line.empty()) line += ",\"line\":" + JsonBytes(step.line);
        events.emplace_back(step.written, 3, line + "}\n");
        previous = step.ended;
    }
    std::stable_sort(events.begin(), events.end(), [](const auto& a, const auto& b) {
        return std::tie(std::get<0>(a), std::get<1>(a)) < std::tie(std::get<0>(b), std::get<1>(b));
    });
    std::string lines;
    for (const auto& event : events) lines += std::get<2>(event);
    return lines;
}

std::string UtcNow() {
    using namespace std::chrono;
    const auto now = floor<milliseconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date{day};
    const hh_mm_ss time{now - day};
    char text[40];
    std::snprintf(
        text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
        static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
        static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
        static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()));
    return text;
}

}  // namespace karvex::cli
