// The log view's figures as the log grows to 10,000, 100,000 and 1,000,000 GPS lines, the same
// schedule for every front end (bench/window_log_append.cpp for Qt,
// bench/wine/dialog_log_append.cpp for the Windows dialog). At each mark:
//   - flood: a writer thread appends the lines up to the mark in 1000-line batches as fast as it
//     can, and the UI thread catches up: its CPU time per line, and its longest single dispatch;
//   - one line at a time: a line appended, shown and painted before the next (median, max);
//   - stream: a writer thread appends one line at a time at 150 lines/s (what 115200 baud carries)
//     while an operator thread posts an action every 25 ms (wheel, drag-select, Shift+Down, page
//     down, click, Ctrl+End); an action's latency runs from its posting until it was handled and
//     the view repainted; and again the longest dispatch;
//   - the process's resident memory, and the model's own bytes.
// At the end, once: select all and copy (Ctrl+A, Ctrl+C) of the whole log.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "link/traffic_log.h"

namespace karvex::bench {

using GrowthClock = std::chrono::steady_clock;

// The operator's actions, in the order the stream posts them.
enum class Action { WheelUp, DragSelect, ShiftDown, PageDown, Click, CtrlEnd };
inline constexpr int kActionCount = 6;

// What a front end gives the schedule. Everything but PostAction runs on the UI thread.
class GrowthHost {
  public:
    virtual ~GrowthHost() = default;
    virtual TrafficLog& Log() = 0;
    // Runs the UI thread's event loop until `done` holds or `seconds` passed; whether it held.
    virtual bool PumpUntil(const std::function<bool()>& done, double seconds) = 0;
    // The lines the view shows (a log ending in a line end shows one empty line more).
    virtual long ShownLines() = 0;
    virtual void RepaintNow() = 0;
    // Any thread: queues `action` for the UI thread, which performs it, repaints the view and
    // records the latency since `posted`.
    virtual void PostAction(Action action, GrowthClock::time_point posted) = 0;
    // The latencies recorded since the last take (milliseconds), and how many there are now.
    virtual std::vector<double> TakeLatencies() = 0;
    virtual size_t LatencyCount() = 0;
    // The longest single dispatch of the UI thread since the last call (milliseconds).
    virtual double TakeLongestDispatch() = 0;
    virtual double UiThreadCpuSeconds() = 0;
    // Ctrl+A and Ctrl+C on the log, handled before it returns.
    virtual void SelectAllAndCopy() = 0;
    virtual double ResidentMiB() = 0;
};

inline std::string GpsLine(long i) {
    return "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,," + std::to_string(i) +
           "*47\r\n";
}

inline double Quantile(std::vector<double> v, double q) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(q * static_cast<double>(v.size())))];
}

inline double MsSince(GrowthClock::time_point t0) {
    return std::chrono::duration<double, std::milli>(GrowthClock::now() - t0).count();
}

// Runs the schedule and prints one row per mark. `limitSeconds` bounds each flood: a view that
// cannot catch up within it is reported as such, and the schedule stops there.
inline int RunGrowth(GrowthHost& host, double limitSeconds = 1200.0) {
    using namespace std::chrono;
    constexpr long kBatch = 1000;
    constexpr int kSingles = 100;
    constexpr double kStreamSeconds = 4.0;
    constexpr auto kLineEvery = microseconds(1000000 / 150);
    constexpr auto kActionEvery = milliseconds(25);

    TrafficLog& log = host.Log();
    host.PumpUntil([] { return false; }, 0.3);  // the window's first paint
    std::printf("start: rss %.1f MiB\n", host.ResidentMiB());
    std::printf("%9s | %13s | %19s | %21s | %24s | %17s\n", "lines", "flood us/line",
                "one line+paint ms", "longest dispatch ms", "action latency ms", "rss MiB");
    std::printf("%9s | %13s | %19s | %21s | %24s | %17s\n", "", "(UI CPU)", "median / max",
                "flood / stream", "p50 / p99 / max", "(model)");
    long lines = 0;
    for (const long mark : {10000L, 100000L, 1000000L}) {
        // Flood.
        std::fprintf(stderr, "flood to %ld lines\n", mark);
        const auto floodStart = GrowthClock::now();
        host.TakeLongestDispatch();
        const double cpu0 = host.UiThreadCpuSeconds();
        const long from = lines;
        std::atomic<bool> written{false};
        std::thread writer([&] {
            for (long at = from; at < mark; at += kBatch) {
                std::string batch;
                for (long i = at; i < at + kBatch; ++i) batch += GpsLine(i);
                log.Append(batch);
            }
            written = true;
        });
        const bool caughtUp =
            host.PumpUntil([&] { return written && host.ShownLines() > mark; }, limitSeconds);
        writer.join();
        if (!caughtUp) {
            std::printf("%9ld | the view showed %ld lines after %.0f s: stopped\n", mark,
                        host.ShownLines() - 1, limitSeconds);
            return 1;
        }
        const double floodCpu = host.UiThreadCpuSeconds() - cpu0;
        std::fprintf(stderr, "caught up after %.1f s; one line at a time\n",
                     MsSince(floodStart) / 1000.0);
        const double floodStall = host.TakeLongestDispatch();
        lines = mark;

        // One line at a time.
        std::vector<double> single;
        for (int i = 0; i < kSingles; ++i) {
            const auto t0 = GrowthClock::now();
            log.Append(GpsLine(lines));
            ++lines;
            host.PumpUntil([&] { return host.ShownLines() > lines; }, 60.0);
            host.RepaintNow();
            single.push_back(MsSince(t0));
        }

        // Stream with the operator at work.
        std::fprintf(stderr, "stream\n");
        host.TakeLongestDispatch();
        host.TakeLatencies();
        std::atomic<bool> streamed{false};
        std::atomic<long> streamLines{0};
        std::atomic<size_t> posted{0};
        const auto start = GrowthClock::now();
        const auto end =
            start + duration_cast<GrowthClock::duration>(duration<double>(kStreamSeconds));
        std::thread trickle([&, first = lines] {
            long i = first;
            for (auto next = start; next < end; next += kLineEvery) {
                std::this_thread::sleep_until(next);  // pacing, as the board's line rate
                log.Append(GpsLine(i++));
            }
            streamLines = i - first;
        });
        std::thread operatorThread([&] {
            int k = 0;
            for (auto next = start + kActionEvery; next < end; next += kActionEvery) {
                std::this_thread::sleep_until(next);
                host.PostAction(static_cast<Action>(k++ % kActionCount), GrowthClock::now());
                ++posted;
            }
        });
        std::thread done([&] {
            operatorThread.join();
            trickle.join();
            streamed = true;
        });
        host.PumpUntil([&] { return streamed.load(); }, 60.0);
        done.join();
        lines += streamLines;
        host.PumpUntil([&] { return host.ShownLines() > lines && host.LatencyCount() >= posted; },
                       60.0);
        const double streamStall = host.TakeLongestDispatch();
        const std::vector<double> latency = host.TakeLatencies();

        std::printf(
            "%9ld | %13.2f | %8.2f / %8.2f | %9.1f / %9.1f | %6.2f / %6.2f / %6.2f | %6.1f "
            "(%6.1f)\n",
            mark, floodCpu * 1e6 / static_cast<double>(mark - from), Quantile(single, 0.5),
            Quantile(single, 1.0), floodStall, streamStall, Quantile(latency, 0.5),
            Quantile(latency, 0.99), Quantile(latency, 1.0), host.ResidentMiB(),
            static_cast<double>(log.Size()) / 1048576.0);
        std::fflush(stdout);
    }
    const auto t0 = GrowthClock::now();
    host.SelectAllAndCopy();
    std::printf("select all and copy of %ld lines: %.0f ms\n", lines, MsSince(t0));
    return 0;
}

}  // namespace karvex::bench
