// The log view's cost per appended line and the process's memory as the log grows to 10,000,
// 100,000 and 1,000,000 lines. Lines arrive in batches (one refresh per batch, as a burst) and
// one at a time (a refresh and a repaint per line, as a slow trickle).
#include <QApplication>
#include <QPlainTextEdit>
#include <QTest>

#include <algorithm>
#include <vector>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "link/traffic_log.h"
#include "window/log_view.h"

namespace {

using Clock = std::chrono::steady_clock;

double RssMiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

std::string Line(long i) {
    return "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,," + std::to_string(i) +
           "*47\r\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("DISPLAY") == nullptr && std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication app(argc, argv);
    karvex::TrafficLog log;
    QPlainTextEdit edit;
    edit.setReadOnly(true);
    edit.setLineWrapMode(QPlainTextEdit::NoWrap);
    edit.setUndoRedoEnabled(false);
    edit.resize(390, 465);
    edit.show();
    karvex::LogView view(log, edit);
    QTest::qWait(100);
    std::printf("start: rss %.1f MiB\n", RssMiB());

    constexpr long kBatch = 1000;
    constexpr int kSingles = 200;
    long lines = 0;
    for (const long target : {10000L, 100000L, 1000000L}) {
        // Bursts of 1000 lines up to the mark; the last 20 are timed. Their median is the steady
        // cost; the maximum shows the occasional regrowth of the document's and the model's
        // arrays (amortised, but a single batch pays for it).
        std::vector<double> burst;
        while (lines < target) {
            std::string bytes;
            for (long i = 0; i < kBatch; ++i) bytes += Line(lines + i);
            const auto t0 = Clock::now();
            log.Append(bytes);
            view.Refresh();
            QCoreApplication::processEvents();  // the refresh's further slices, and a repaint
            const double us = std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
            lines += kBatch;
            if (target - lines < 20 * kBatch) burst.push_back(us / kBatch);
        }
        // Single lines, each shown and painted before the next.
        std::vector<double> single;
        for (int i = 0; i < kSingles; ++i) {
            const auto t0 = Clock::now();
            log.Append(Line(lines + i));
            view.Refresh();
            edit.viewport()->repaint();
            single.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        }
        lines += kSingles;
        std::sort(burst.begin(), burst.end());
        std::sort(single.begin(), single.end());
        std::printf(
            "%8ld lines: burst %5.2f us/line (max %6.2f)   one line + repaint %6.0f us "
            "(max %6.0f)   model %5.1f MiB   rss %6.1f MiB\n",
            target, burst[burst.size() / 2], burst.back(), single[single.size() / 2], single.back(),
            static_cast<double>(log.Size()) / 1048576.0, RssMiB());
    }
    return 0;
}
