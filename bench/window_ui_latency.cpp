// UI event-loop latency while the board streams lines as fast as the receive monitor takes them:
// the window starts GPS positioning (test item 10) on a board whose NMEA interval is 0, and a
// 5 ms timer on the UI thread records how late each of its ticks comes. Measured with the
// monitor's normal pauses and again with them set to 0 (far more lines per second).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "link/program_path.h"
#include "run_for.h"
#include "sim/board.h"
#include "window/log_widget.h"
#include "window/modem_test_dlg.h"

namespace {

using karvex::bench::RunFor;

constexpr int kCom = 95;
constexpr int kTickMs = 5;

pid_t StartBoard() {
    int ready[2];
    if (pipe(ready) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(ready[0]);
        karvex::sim::Board board;
        board.SetRecording(false);
        board.SetGpsInterval(std::chrono::milliseconds(0));
        const char ok = board.LinkCom(karvex::ExecutableDir(), kCom) ? '1' : '0';
        (void)!write(ready[1], &ok, 1);
        pause();
        _exit(0);
    }
    close(ready[1]);
    char ok = '0';
    (void)!read(ready[0], &ok, 1);
    close(ready[0]);
    return ok == '1' ? pid : -1;
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

void Run(const char* what, const karvex::MonitorTiming& timing, int seconds) {
    CModemTestDlg::Options options;
    options.settingsPath = QString();
    options.timing = timing;
    CModemTestDlg dlg(options);
    dlg.show();
    RunFor(200);
    static_cast<QComboBox*>(dlg.Control(1003))->setCurrentIndex(kCom - 1);
    dlg.OnConnect();
    if (!dlg.LinkOpen()) {
        std::puts("connect failed");
        return;
    }
    static_cast<QComboBox*>(dlg.Control(1010))->setCurrentIndex(10);  // GPS positioning
    dlg.OnExecute();
    RunFor(500);  // the stream is flowing

    std::vector<double> late;
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed();
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        late.push_back(std::max(0.0, static_cast<double>(now - last) / 1e6 - kTickMs));
        last = now;
    });
    const size_t bytes0 = dlg.Log().Size();
    tick.start(kTickMs);
    RunFor(seconds * 1000);
    tick.stop();
    const size_t bytes = dlg.Log().Size() - bytes0;
    auto* view = static_cast<karvex::LogWidget*>(dlg.Control(1002));
    std::printf(
        "%-28s ticks %5zu  late p50 %5.2f  p99 %6.2f  max %6.2f ms;"
        "  log %7.1f KiB/s, %d lines shown\n",
        what, late.size(), Percentile(late, 0.5), Percentile(late, 0.99), Percentile(late, 1.0),
        static_cast<double>(bytes) / 1024.0 / seconds,
        static_cast<int>(view->Presenter()->LineCount()));
    dlg.OnConnect();  // disconnect: every thread joined
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 10;
    if (std::getenv("DISPLAY") == nullptr && std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    const pid_t board = StartBoard();
    if (board < 0) {
        std::puts("the board did not start");
        return 1;
    }
    {
        QApplication app(argc, argv);
        Run("monitor with its pauses", karvex::MonitorTiming{}, seconds);
        karvex::MonitorTiming fast;
        fast.afterLineMs = 0;
        fast.pauseTextMs = 0;
        fast.beforeSuccessMs = 0;
        Run("monitor without pauses", fast, seconds);
    }
    kill(board, SIGTERM);
    waitpid(board, nullptr, 0);
    return 0;
}
