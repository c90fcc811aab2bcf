// CPU used by the window process while it idles: link closed, then link open on a board that
// sends nothing. The board runs in a child process so that only the window's own threads (the UI
// thread and the receive monitor) are counted.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>

#include <chrono>
#include <cstdio>
#include <thread>

#include "link/program_path.h"
#include "run_for.h"
#include "sim/board.h"
#include "support/cpu_time.h"
#include "window/modem_test_dlg.h"

namespace {

using karvex::bench::RunFor;
using karvex::testing::CpuSeconds;

constexpr int kCom = 96;

void Measure(const char* what, int seconds) {
    const auto t0 = std::chrono::steady_clock::now();
    const double c0 = CpuSeconds();
    RunFor(seconds * 1000);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = CpuSeconds() - c0;
    std::printf("%-34s wall %5.2f s  cpu %7.4f s  = %6.3f %% of one core\n", what, wall, cpu,
                100.0 * cpu / wall);
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 5;
    if (std::getenv("DISPLAY") == nullptr && std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    // The board first, in its own process, before any thread of ours exists.
    int ready[2];
    if (pipe(ready) != 0) return 1;
    const pid_t boardPid = fork();
    if (boardPid == 0) {
        close(ready[0]);
        karvex::sim::Board board;
        board.SetRecording(false);
        const char ok = board.LinkCom(karvex::ExecutableDir(), kCom) ? '1' : '0';
        (void)!write(ready[1], &ok, 1);
        pause();
        _exit(0);
    }
    close(ready[1]);
    char ok = '0';
    (void)!read(ready[0], &ok, 1);
    if (ok != '1') {
        std::puts("the board did not start");
        return 1;
    }

    int code = 0;
    {
        QApplication app(argc, argv);
        CModemTestDlg::Options options;
        options.settingsPath = QString();
        CModemTestDlg dlg(options);
        dlg.show();
        RunFor(500);  // let start-up work settle
        Measure("idle, link closed", seconds);
        static_cast<QComboBox*>(dlg.Control(1003))->setCurrentIndex(kCom - 1);
        dlg.OnConnect();
        if (!dlg.LinkOpen()) {
            std::puts("connect failed");
            code = 1;
        } else {
            RunFor(200);
            Measure("idle, link open, board silent", seconds);
        }
    }
    kill(boardPid, SIGTERM);
    waitpid(boardPid, nullptr, 0);
    return code;
}
