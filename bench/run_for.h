// Runs the Qt event loop for a given time. QTest::qWait would add its own 10 ms sleeps and
// wake-ups, which would show up in the figures.
#pragma once

#include <QEventLoop>
#include <QTimer>

namespace karvex::bench {

inline void RunFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace karvex::bench
