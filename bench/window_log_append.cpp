// The log view's cost per appended line and the process's memory as the log grows to 10,000,
// 100,000 and 1,000,000 lines. Lines arrive in batches (one refresh per batch, as a burst) and
// one at a time (a refresh and a repaint per line, as a slow trickle).
#include <QApplication>
#include <QPlainTextEdit>
#include <QTest>

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
        double batchNs = 0;
        long batchLines = 0;
        while (lines < target) {
            std::string burst;
            for (long i = 0; i < kBatch; ++i) burst += Line(lines + i);
            const auto t0 = Clock::now();
            log.Append(burst);
            view.Refresh();
            QCoreApplication::processEvents();  // the refresh's further slices, and a repaint
            const double ns = std::chrono::duration<double, std::nano>(Clock::now() - t0).count();
            lines += kBatch;
            if (target - lines < 10 * kBatch) {  // average over the last ten batches
                batchNs += ns;
                batchLines += kBatch;
            }
        }
        // Single lines, each shown and painted before the next.
        const auto t0 = Clock::now();
        for (int i = 0; i < kSingles; ++i) {
            log.Append(Line(lines + i));
            view.Refresh();
            edit.viewport()->repaint();
        }
        const double singleUs =
            std::chrono::duration<double, std::micro>(Clock::now() - t0).count() / kSingles;
        lines += kSingles;
        std::printf(
            "%8ld lines: burst %6.2f us/line   single line + repaint %7.1f us   "
            "blocks %8d   log %6.1f MiB   rss %7.1f MiB\n",
            target, batchNs / static_cast<double>(batchLines) / 1000.0, singleUs, edit.blockCount(),
            static_cast<double>(log.Size()) / 1048576.0, RssMiB());
    }
    return 0;
}
