// SIGTERM, SIGHUP and SIGINT (a kill, the session or the terminal going away, Ctrl+C) delivered
// as an event of the window's thread. Their default action ends the program on the spot, with
// the port still open and its lock file left behind.
#pragma once

#include <signal.h>

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace karvex {

class StopSignals : public QObject {
  public:
    // From now on each of the three signals calls `onStop` from this thread's event loop (the
    // handler itself only writes a byte to a pipe). One object at a time per process.
    explicit StopSignals(std::function<void()> onStop);
    ~StopSignals() override;  // the handlers that were there before
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

  private:
    std::function<void()> onStop_;
    QSocketNotifier* notifier_ = nullptr;  // a child, removed before the pipe is closed
    struct sigaction old_[3]{};
};

}  // namespace karvex
