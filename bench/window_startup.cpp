// Process start to the main window's first paint (without a sequences folder, and with 100
// sequence files in it), and a close request with the link open and a sequence running to the end
// of the process. Each run is a fresh process (this program started again with --child); the
// parent holds the simulated board and fills the sequences folder beside itself for the runs that
// need it. Run it on a real X server, e.g.
//   xvfb-run -a build/<dir>/bench/bench_window_startup [runs]
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "dialog/window_sequences.h"
#include "link/program_path.h"
#include "sim/board.h"
#include "window/modem_test_app.h"
#include "window/modem_test_dlg.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kCom = 97;

double MsSince(long long t0Ns) {
    const long long now = Clock::now().time_since_epoch().count();
    return static_cast<double>(now - t0Ns) / 1e6;
}

// The first paint of the main window, seen by an application-wide filter.
struct FirstPaint : QObject {
    explicit FirstPaint(std::function<void(CModemTestDlg&)> then) : then_(std::move(then)) {}
    bool eventFilter(QObject* o, QEvent* e) override {
        if (!seen_ && e->type() == QEvent::Paint) {
            if (auto* dlg = dynamic_cast<CModemTestDlg*>(o)) {
                seen_ = true;
                QTimer::singleShot(0, dlg, [this, dlg] { then_(*dlg); });
            }
        }
        return false;
    }
    bool seen_ = false;
    std::function<void(CModemTestDlg&)> then_;
};

// Child: the program as main() runs it, ended by Esc's path once it has painted.
int ChildStartup(int argc, char** argv, long long t0) {
    QApplication app(argc, argv);
    FirstPaint filter([t0](CModemTestDlg& dlg) {
        std::printf("%.3f\n", MsSince(t0));
        std::fflush(stdout);
        dlg.done(CModemTestDlg::IDCANCEL);
    });
    app.installEventFilter(&filter);
    CModemTestApp theApp;
    theApp.InitInstance();
    return 0;
}

// Child: link open on the board, a sequence waiting on a silent board, then a close request.
int ChildClose(int argc, char** argv) {
    QApplication app(argc, argv);
    CModemTestDlg::Options options;
    options.settingsPath = QString();
    CModemTestDlg dlg(options);
    FirstPaint filter([](CModemTestDlg& d) {
        static_cast<QComboBox*>(d.Control(1003))->setCurrentIndex(kCom - 1);
        d.OnConnect();
        static_cast<QComboBox*>(d.Control(1010))->setCurrentIndex(1);
        d.OnExecute();
        QTimer::singleShot(300, &d, [&d] {
            std::printf("%lld\n", static_cast<long long>(Clock::now().time_since_epoch().count()));
            std::fflush(stdout);
            d.close();
        });
    });
    app.installEventFilter(&filter);
    dlg.exec();
    return 0;
}

// Runs this program with `args`; returns its first line of output and the time it ended.
bool RunChild(const std::vector<std::string>& args, std::string& line, long long& endedNs) {
    int out[2];
    if (pipe(out) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) {
        close(out[0]);
        return false;
    }
    line.clear();
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
    int status = 0;
    waitpid(pid, &status, 0);
    endedNs = Clock::now().time_since_epoch().count();
    close(out[0]);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && !line.empty();
}

// The window's own sequences folder: `count` files (the example twins, taken in turn), or none.
bool FillSequenceFolder(int count) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(karvex::ExecutableDir()) / "sequences";
    std::error_code error;
    fs::remove_all(dir, error);
    if (count == 0) return true;
    std::vector<fs::path> examples;
    for (const auto& e : fs::directory_iterator(KARVEX_EXAMPLES_DIR, error)) {
        examples.push_back(e.path());
    }
    std::sort(examples.begin(), examples.end());
    if (examples.empty() || !fs::create_directories(dir, error)) return false;
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "seq-%03d.toml", i);
        fs::copy_file(examples[static_cast<size_t>(i) % examples.size()], dir / name, error);
        if (error) return false;
    }
    return true;
}

// One run of the start-up child; false when it failed.
bool MeasureStartup(std::vector<double>& paint, char* self) {
    const long long t0 = Clock::now().time_since_epoch().count();
    std::string line;
    long long ended = 0;
    if (!RunChild({self, "--child-startup", std::to_string(t0)}, line, ended)) return false;
    paint.push_back(std::atof(line.c_str()));
    return true;
}

void Report(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%-46s runs %2zu  min %7.1f  median %7.1f  max %7.1f ms\n", what, ms.size(),
                ms.front(), ms[ms.size() / 2], ms.back());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "--child-startup") {
        return ChildStartup(argc, argv, std::atoll(argv[2]));
    }
    if (argc >= 2 && std::string(argv[1]) == "--child-close") {
        return ChildClose(argc, argv);
    }
    const int runs = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 10;
    if (std::getenv("DISPLAY") == nullptr && std::getenv("QT_QPA_PLATFORM") == nullptr) {
        std::puts("no DISPLAY: measuring on the offscreen platform (use xvfb-run -a for X)");
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    } else {
        std::printf("platform: %s\n",
                    std::getenv("QT_QPA_PLATFORM") ? std::getenv("QT_QPA_PLATFORM") : "xcb");
    }

    std::vector<double> paint, paint100, load100;
    // Without and with the files in turn, so that a machine's changing load falls on both alike.
    bool measured = true;
    for (int i = 0; measured && i < runs; ++i) {
        measured = FillSequenceFolder(0) && MeasureStartup(paint, argv[0]) &&
                   FillSequenceFolder(100) && MeasureStartup(paint100, argv[0]);
    }
    // The loading alone, in this process: read, parse, check and convert the 100 files.
    bool loadedAll = true;
    for (int i = 0; measured && loadedAll && i < runs; ++i) {
        const auto start = Clock::now();
        const karvex::WindowSequences loaded =
            karvex::LoadWindowSequences({karvex::ExecutableDir() + "/sequences"});
        load100.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        loadedAll = loaded.loaded.size() == 100;
    }
    FillSequenceFolder(0);
    if (!measured || !loadedAll) {
        std::puts("a start-up run failed");
        return 1;
    }
    Report("process start -> first paint of the window", paint);
    Report("the same with 100 sequence files", paint100);
    Report("of that, loading the 100 files", load100);

    karvex::sim::Board board;
    karvex::sim::Behaviour silent;
    silent.kind = karvex::sim::Behaviour::Kind::Silent;
    board.SetBehaviour("AT+CGMR", silent);
    if (!board.LinkCom(karvex::ExecutableDir(), kCom)) {
        std::puts("cannot place the board's COM link");
        return 1;
    }
    std::vector<double> close;
    for (int i = 0; i < runs; ++i) {
        std::string line;
        long long ended = 0;
        if (!RunChild({argv[0], "--child-close"}, line, ended)) {
            std::puts("a close run failed");
            return 1;
        }
        close.push_back(static_cast<double>(ended - std::atoll(line.c_str())) / 1e6);
    }
    Report("close request (link open, run waiting) -> exit", close);
    return 0;
}
