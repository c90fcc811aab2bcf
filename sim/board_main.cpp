// karvex-board: the simulated evaluation board as a program of its own, for running the window
// without hardware. It prints the device path, optionally names it as a COM port through a
// dosdevices link, logs the traffic to stderr and runs until SIGINT or SIGTERM.
#include <signal.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/board.h"

namespace {

using karvex::sim::Board;
using karvex::sim::Clock;

struct Options {
    std::optional<int> com;
    std::string dir;
    std::optional<std::string> timeLine;
    std::optional<long> gpsInterval;
    std::optional<long> networkDelay;
    bool quiet = false;
    // --answer PREFIX HOW: the commands that start with PREFIX answered otherwise.
    std::vector<std::pair<std::string, karvex::sim::Behaviour>> answers;
};

void Usage(FILE* to) {
    std::fputs(
        "usage: karvex-board [--com N --dir DIR] [--time LINE] [--gps-interval MS]\n"
        "                    [--network-delay MS] [--answer PREFIX HOW]... [--quiet]\n"
        "  --com N --dir DIR   place the link DIR/dosdevices/comN to the device\n"
        "  --time LINE         the time service's line (default: the time in Japan now)\n"
        "  --gps-interval MS   NMEA sentence interval while GPS runs (default 1000)\n"
        "  --network-delay MS  delay of the network's SMS and HTTP answers (default 300/200)\n"
        "  --answer PREFIX HOW commands starting with PREFIX answered: error, silent,\n"
        "                      ok-and-error, or MS (the normal answer that many ms late)\n"
        "  --quiet             do not log the traffic on stderr\n",
        to);
}

std::optional<long> Number(const char* text, long low, long high) {
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

// "error", "silent", "ok-and-error", or a number of ms: the normal answer that late.
std::optional<karvex::sim::Behaviour> Answer(std::string_view how) {
    using Kind = karvex::sim::Behaviour::Kind;
    karvex::sim::Behaviour b;
    if (how == "error") {
        b.kind = Kind::Error;
    } else if (how == "silent") {
        b.kind = Kind::Silent;
    } else if (how == "ok-and-error") {
        b.kind = Kind::OkAndError;
    } else if (const auto ms = Number(std::string(how).c_str(), 0, 600'000)) {
        b.delay = std::chrono::milliseconds(*ms);
    } else {
        return std::nullopt;
    }
    return b;
}

// Fills `options`; false with a message on stderr when the command line is wrong.
bool Parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto need = [&](const char* what) {
            if (!value) std::fprintf(stderr, "karvex-board: %s needs %s\n", argv[i], what);
            return value != nullptr;
        };
        auto number = [&](long low, long high) -> std::optional<long> {
            if (!need("a number")) return std::nullopt;
            auto parsed = Number(value, low, high);
            if (!parsed)
                std::fprintf(stderr, "karvex-board: bad value for %s: %s\n", argv[i], value);
            ++i;
            return parsed;
        };
        if (arg == "--quiet") {
            options.quiet = true;
        } else if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            std::exit(0);
        } else if (arg == "--com") {
            auto n = number(1, 255);
            if (!n) return false;
            options.com = static_cast<int>(*n);
        } else if (arg == "--dir") {
            if (!need("a directory")) return false;
            options.dir = argv[++i];
        } else if (arg == "--time") {
            if (!need("a time line")) return false;
            options.timeLine = argv[++i];
        } else if (arg == "--gps-interval") {
            if (!(options.gpsInterval = number(0, 3'600'000))) return false;
        } else if (arg == "--answer") {
            const char* how = i + 2 < argc ? argv[i + 2] : nullptr;
            const auto answer = value && how ? Answer(how) : std::nullopt;
            if (!answer) {
                std::fprintf(stderr,
                             "karvex-board: --answer needs a prefix and error, silent, "
                             "ok-and-error or a number of ms\n");
                return false;
            }
            options.answers.emplace_back(value, *answer);
            i += 2;
        } else if (arg == "--network-delay") {
            if (!(options.networkDelay = number(0, 600'000))) return false;
        } else {
            std::fprintf(stderr, "karvex-board: unknown option %s\n", argv[i]);
            Usage(stderr);
            return false;
        }
    }
    if (options.com.has_value() != !options.dir.empty()) {
        std::fputs("karvex-board: --com and --dir go together\n", stderr);
        return false;
    }
    return true;
}

// One line per chunk, control bytes made visible: "<- AT+CSQ\r".
void Log(Clock::time_point start, bool received, std::string_view bytes) {
    std::string text;
    for (unsigned char c : bytes) {
        if (c == '\r') {
            text += "\\r";
        } else if (c == '\n') {
            text += "\\n";
        } else if (c == '\\') {
            text += "\\\\";
        } else if (c < 0x20 || c >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            text += hex;
        } else {
            text += static_cast<char>(c);
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::fprintf(stderr, "[%9.3f] %s %s\n", seconds, received ? "<-" : "->", text.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!Parse(argc, argv, options)) return 2;

    // Blocked before the board's thread starts, so that only sigwait below takes them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    Board board;
    board.SetRecording(false);
    if (board.DevicePath().empty()) return 1;  // the reason is on stderr already
    if (options.timeLine) board.SetTimeLine(*options.timeLine);
    if (options.gpsInterval) board.SetGpsInterval(std::chrono::milliseconds(*options.gpsInterval));
    for (const auto& [prefix, behaviour] : options.answers) board.SetBehaviour(prefix, behaviour);
    if (options.networkDelay) {
        board.SetNetworkDelay(std::chrono::milliseconds(*options.networkDelay));
    }
    if (!options.quiet) {
        const auto start = Clock::now();
        board.SetObserver(
            [start](bool received, std::string_view bytes) { Log(start, received, bytes); });
    }
    if (options.com && !board.LinkCom(options.dir, *options.com)) {
        std::fprintf(stderr, "karvex-board: cannot place %s/dosdevices/com%d: %s\n",
                     options.dir.c_str(), *options.com, std::strerror(errno));
        return 1;
    }

    std::printf("%s\n", board.DevicePath().c_str());
    std::fflush(stdout);
    if (!options.quiet && options.com) {
        std::fprintf(stderr, "karvex-board: COM%d is %s/dosdevices/com%d\n", *options.com,
                     options.dir.c_str(), *options.com);
    }

    int signal = 0;
    while (sigwait(&stopSignals, &signal) != 0) {
    }
    if (!options.quiet) std::fprintf(stderr, "karvex-board: stopping (signal %d)\n", signal);
    return 0;  // the board's destructor stops its thread and removes the link
}
