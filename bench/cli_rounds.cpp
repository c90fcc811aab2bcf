// karvex-run's memory over a long run of rounds: one simulated board that answers at once (echo
// off, a one-line reply), one item without pauses per round, every report on (trace, JUnit and
// HTML rewritten as the rounds end). Prints the program's resident memory after 10, 100, 1,000
// ... rounds, read from /proc while it runs.
//
//   bench_cli_rounds [rounds]   (default 10000; each round takes about 0.23 s)
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/karvex_run_child.h"
#include "sim/board.h"

namespace {

// A /proc/<pid>/status field in KiB ("VmRSS", "VmHWM"); -1 when it cannot be read.
long StatusKib(pid_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field + ":", 0) == 0) return std::atol(line.c_str() + field.size() + 1);
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    const long rounds = argc > 1 ? std::atol(argv[1]) : 10000;
    namespace fs = std::filesystem;
    const fs::path dir =
        fs::temp_directory_path() / ("bench-cli-rounds-" + std::to_string(getpid()));
    fs::create_directories(dir);

    karvex::sim::Board board;
    board.SetRecording(false);  // the bench's own memory stays flat too
    const std::string port = board.DevicePath();
    // ATE0 first: each reply is then one line.
    waitpid(karvex::bench::StartKarvexRun({"--port", port, "--items", "init", "--apn", "internet"}),
            nullptr, 0);
    karvex::sim::Behaviour okOnly;
    okOnly.kind = karvex::sim::Behaviour::Kind::Reply;
    okOnly.reply = "\r\nOK\r\n";
    board.SetBehaviour("AT+CGMR", okOnly);

    // One round more than measured: the last figure is read while the program still runs.
    const std::string repeat = std::to_string(rounds + 1);
    std::vector<std::string> args = {"--port",      port,
                                     "--items",     "revision",
                                     "--repeat",    repeat,
                                     "--trace-dir", (dir / "trace").string(),
                                     "--junit",     (dir / "report.xml").string(),
                                     "--html",      (dir / "report.html").string()};
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return 1;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = karvex::bench::StartKarvexRun(args, out[1]);
    if (pid < 0) return 1;
    close(out[1]);

    // Each line is one round's one item.
    FILE* lines = fdopen(out[0], "r");
    char buffer[4096];
    long done = 0, at10 = -1, next = 10;
    while (next <= rounds && std::fgets(buffer, sizeof buffer, lines) != nullptr) {
        if (++done < next) continue;
        const long rss = StatusKib(pid, "VmRSS");
        if (next == 10) at10 = rss;
        const double minutes =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / 60;
        std::printf(
            "after %6ld rounds (%5.1f min): resident %6ld KiB (peak %ld KiB), %+ld KiB "
            "since round 10\n",
            done, minutes, rss, StatusKib(pid, "VmHWM"), rss - at10);
        std::fflush(stdout);
        next = next * 10 > rounds && next < rounds ? rounds : next * 10;
    }
    kill(pid, SIGINT);
    while (std::fgets(buffer, sizeof buffer, lines) != nullptr) {
    }
    int status = 0;
    waitpid(pid, &status, 0);
    uintmax_t traced = 0;
    for (const auto& entry : fs::directory_iterator(dir / "trace")) traced += entry.file_size();
    std::printf("trace %.1f MiB, HTML report %.0f KiB, JUnit report %.1f KiB\n",
                static_cast<double>(traced) / 1048576,
                static_cast<double>(fs::file_size(dir / "report.html")) / 1024,
                static_cast<double>(fs::file_size(dir / "report.xml")) / 1024);
    fs::remove_all(dir);
    return 0;
}
