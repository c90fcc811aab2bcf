// The Qt window's log figures as the log grows (the schedule is bench/log_growth.h): the real
// window, its log control, the operator's actions sent to it as input events.
//   bench_window_log_append          (offscreen unless a display is set)
#include <time.h>
#include <unistd.h>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <cstdlib>
#include <fstream>
#include <utility>

#include "log_growth.h"
#include "resources/main_dialog.h"
#include "window/log_widget.h"
#include "window/modem_test_dlg.h"

namespace {

using karvex::bench::Action;
using karvex::bench::GrowthClock;

// Times every outermost dispatch of the UI thread.
class TimedApplication : public QApplication {
  public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        if (depth_++ > 0) {
            const bool handled = QApplication::notify(receiver, event);
            --depth_;
            return handled;
        }
        const auto t0 = GrowthClock::now();
        const bool handled = QApplication::notify(receiver, event);
        --depth_;
        longest_ = std::max(longest_, karvex::bench::MsSince(t0));
        return handled;
    }
    double TakeLongest() { return std::exchange(longest_, 0.0); }

  private:
    int depth_ = 0;
    double longest_ = 0.0;
};

struct ActionEvent : QEvent {
    static inline const Type kType = static_cast<Type>(registerEventType());
    ActionEvent(Action a, GrowthClock::time_point t) : QEvent(kType), action(a), posted(t) {}
    Action action;
    GrowthClock::time_point posted;
};

class QtHost : public QObject, public karvex::bench::GrowthHost {
  public:
    QtHost(TimedApplication& app, CModemTestDlg& dlg)
        : app_(app),
          dlg_(dlg),
          log_(*static_cast<QAbstractScrollArea*>(dlg.Control(karvex::res::kIdTrafficLog))) {}

    karvex::TrafficLog& Log() override { return dlg_.Log(); }
    bool PumpUntil(const std::function<bool()>& done, double seconds) override {
        const auto end = GrowthClock::now() + std::chrono::duration_cast<GrowthClock::duration>(
                                                  std::chrono::duration<double>(seconds));
        while (!done()) {
            if (GrowthClock::now() >= end) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents,
                                            5);
        }
        return true;
    }
    long ShownLines() override {
        return static_cast<long>(static_cast<karvex::LogWidget&>(log_).Presenter()->LineCount());
    }
    void RepaintNow() override { log_.viewport()->repaint(); }
    void PostAction(Action action, GrowthClock::time_point posted) override {
        QCoreApplication::postEvent(this, new ActionEvent(action, posted));
    }
    std::vector<double> TakeLatencies() override { return std::exchange(latencies_, {}); }
    size_t LatencyCount() override { return latencies_.size(); }
    double TakeLongestDispatch() override { return app_.TakeLongest(); }
    double UiThreadCpuSeconds() override {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
    }
    void SelectAllAndCopy() override {
        Key(Qt::Key_A, Qt::ControlModifier);
        Key(Qt::Key_C, Qt::ControlModifier);
    }
    double ResidentMiB() override {
        std::ifstream statm("/proc/self/statm");
        long pages = 0, resident = 0;
        statm >> pages >> resident;
        return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) /
               1048576.0;
    }

  protected:
    void customEvent(QEvent* e) override {
        if (e->type() != ActionEvent::kType) return;
        const auto* a = static_cast<ActionEvent*>(e);
        Perform(a->action);
        log_.viewport()->repaint();
        latencies_.push_back(karvex::bench::MsSince(a->posted));
    }

  private:
    void Mouse(QEvent::Type type, QPointF at, Qt::MouseButtons held) {
        QMouseEvent m(type, at, log_.viewport()->mapToGlobal(at), Qt::LeftButton, held,
                      Qt::NoModifier);
        QApplication::sendEvent(log_.viewport(), &m);
    }
    void Key(int key, Qt::KeyboardModifiers mods) {
        QKeyEvent press(QEvent::KeyPress, key, mods);
        QApplication::sendEvent(&log_, &press);
        QKeyEvent release(QEvent::KeyRelease, key, mods);
        QApplication::sendEvent(&log_, &release);
    }
    void Perform(Action action) {
        switch (action) {
            case Action::WheelUp: {
                const QPointF at(60, 60);
                QWheelEvent w(at, log_.viewport()->mapToGlobal(at), QPoint(), QPoint(0, 120),
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
                QApplication::sendEvent(log_.viewport(), &w);
                break;
            }
            case Action::DragSelect:
                Mouse(QEvent::MouseButtonPress, QPointF(20, 40), Qt::LeftButton);
                Mouse(QEvent::MouseMove, QPointF(150, 100), Qt::LeftButton);
                Mouse(QEvent::MouseButtonRelease, QPointF(150, 100), Qt::NoButton);
                break;
            case Action::ShiftDown:
                Key(Qt::Key_Down, Qt::ShiftModifier);
                break;
            case Action::PageDown:
                Key(Qt::Key_PageDown, Qt::NoModifier);
                break;
            case Action::Click:
                Mouse(QEvent::MouseButtonPress, QPointF(30, 60), Qt::LeftButton);
                Mouse(QEvent::MouseButtonRelease, QPointF(30, 60), Qt::NoButton);
                break;
            case Action::CtrlEnd:
                Key(Qt::Key_End, Qt::ControlModifier);
                break;
        }
    }

    TimedApplication& app_;
    CModemTestDlg& dlg_;
    QAbstractScrollArea& log_;
    std::vector<double> latencies_;
};

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("DISPLAY") == nullptr && std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    TimedApplication app(argc, argv);
    CModemTestDlg::Options options;
    options.settingsPath = QString();
    CModemTestDlg dlg(options);
    dlg.show();
    QtHost host(app, dlg);
    return karvex::bench::RunGrowth(host);
}
