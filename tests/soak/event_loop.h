// Waiting inside the UI thread's event loop, and measuring how promptly that loop serves a timer.
//
// QTest::qWaitFor sleeps between its polls, which would show up as lateness of the probe; these
// waits let the loop block in its own poll, so every event is served as soon as it can be.
#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace karvex::soak {

// Runs the event loop until `done` holds (checked every few milliseconds) or `limit` passes.
inline bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    if (done()) return true;
    QEventLoop loop;
    QTimer check;
    check.setTimerType(Qt::PreciseTimer);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    check.start(5);
    loop.exec();
    return done();
}

inline void RunFor(std::chrono::milliseconds span) {
    RunUntil([] { return false; }, span);
}

// A timer due every `interval`: each time it fires, how late it is.
class LatencyProbe {
  public:
    explicit LatencyProbe(std::chrono::milliseconds interval = std::chrono::milliseconds(10))
        : interval_(interval) {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    }
    void Start() {
        lateMs_.clear();
        clock_.start();
        last_ = 0;
        timer_.start(interval_);
    }
    void Stop() { timer_.stop(); }

    struct Figures {
        size_t samples = 0;
        double p50 = 0, p99 = 0, max = 0;  // milliseconds late
    };
    Figures Summary() const {
        Figures f;
        std::vector<double> sorted = lateMs_;
        std::sort(sorted.begin(), sorted.end());
        f.samples = sorted.size();
        if (sorted.empty()) return f;
        const auto at = [&](double q) {
            return sorted[std::min(sorted.size() - 1, static_cast<size_t>(q * sorted.size()))];
        };
        f.p50 = at(0.50);
        f.p99 = at(0.99);
        f.max = sorted.back();
        return f;
    }
    void Print(const char* what) const {
        const Figures f = Summary();
        std::printf(
            "[soak] event-loop latency %s: %zu samples, p50 %.1f ms, p99 %.1f ms, "
            "max %.1f ms\n",
            what, f.samples, f.p50, f.p99, f.max);
        std::fflush(stdout);
    }

  private:
    void Tick() {
        const qint64 now = clock_.nsecsElapsed();
        if (last_ != 0) {
            const double gapMs = static_cast<double>(now - last_) / 1e6;
            lateMs_.push_back(std::max(0.0, gapMs - static_cast<double>(interval_.count())));
        }
        last_ = now;
    }

    std::chrono::milliseconds interval_;
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    std::vector<double> lateMs_;
};

}  // namespace karvex::soak
