#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "sim/board.h"
#include "tests/wine/board_protocol.h"

namespace karvex::sim {

namespace {

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "remote board: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

int EnvNumber(const char* name) {
    const char* value = std::getenv(name);
    if (!value) Fail(std::string(name) + " is not set: run the test through karvex-board-host");
    return std::atoi(value);
}

using Micros = std::chrono::microseconds;

// "US:HEX" words after the "ok", with the host's stamps turned into our clock's time points.
template <typename Make>
auto Stamped(const std::vector<std::string>& words, Micros hostOffset, Make make) {
    std::vector<decltype(make(Clock::time_point{}, std::string{}))> out;
    for (size_t i = 1; i < words.size(); ++i) {
        const size_t colon = words[i].find(':');
        const Micros host(std::atoll(words[i].substr(0, colon).c_str()));
        out.push_back(
            make(Clock::time_point(host - hostOffset), wire::Unhex(words[i].substr(colon + 1))));
    }
    return out;
}

}  // namespace

struct Board::Impl {
    SOCKET socket = INVALID_SOCKET;
    int com = 0;
    Micros hostOffset{0};  // host stamp minus our clock's time since its epoch
    std::mutex mutex;      // one request at a time on the connection
    std::string pending;

    // `host`: "KARVEX_BOARD_" for the board of the host that runs the test, or
    // "KARVEX_BOARD_OUTER_" for that of the host around it.
    explicit Impl(const std::string& host) {
        WSADATA data;
        if (WSAStartup(MAKEWORD(2, 2), &data) != 0) Fail("WSAStartup failed");
        com = EnvNumber((host + "COM").c_str());
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<u_short>(EnvNumber((host + "CONTROL").c_str())));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (socket == INVALID_SOCKET ||
            connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            Fail("cannot reach karvex-board-host");
        }
        Align();
    }

    // The two processes' monotonic clocks differ by an offset: measured from the quickest of a
    // few round trips, to within half of it (well under a millisecond on one machine).
    void Align() {
        Micros bestTrip = Micros::max();
        for (int i = 0; i < 5; ++i) {
            const auto before = Clock::now();
            const Micros host(std::atoll(Word("now").c_str()));
            const auto after = Clock::now();
            const auto trip = std::chrono::duration_cast<Micros>(after - before);
            if (trip < bestTrip) {
                bestTrip = trip;
                const auto middle = before + (after - before) / 2;
                hostOffset = host - std::chrono::duration_cast<Micros>(middle.time_since_epoch());
            }
        }
    }
    ~Impl() {
        closesocket(socket);
        WSACleanup();
    }

    // The answer's words after a successful request; a refused request ends the test program.
    std::vector<std::string> Ask(const std::string& request) {
        std::lock_guard lock(mutex);
        const std::string line = request + "\n";
        if (send(socket, line.data(), static_cast<int>(line.size()), 0) !=
            static_cast<int>(line.size())) {
            Fail("lost karvex-board-host");
        }
        size_t nl;
        while ((nl = pending.find('\n')) == std::string::npos) {
            char buffer[65536];
            const int n = recv(socket, buffer, sizeof buffer, 0);
            if (n <= 0) Fail("lost karvex-board-host");
            pending.append(buffer, static_cast<size_t>(n));
        }
        const std::string answer = pending.substr(0, nl);
        pending.erase(0, nl + 1);
        std::vector<std::string> words = wire::Words(answer);
        if (words.empty() || words[0] != "ok") Fail(request + ": " + answer);
        return words;
    }
    std::string Word(const std::string& request) {
        const std::vector<std::string> words = Ask(request);
        return words.size() > 1 ? words[1] : std::string("-");
    }
    bool Flag(const std::string& request) { return Word(request) == "1"; }
};

Board::Board() : impl_(std::make_unique<Impl>("KARVEX_BOARD_")) {
    impl_->Ask("new");
}
Board::Board(Outer) : impl_(std::make_unique<Impl>("KARVEX_BOARD_OUTER_")) {
    impl_->Ask("new");
}
Board::~Board() = default;

std::string Board::DevicePath() const {
    return "\\\\.\\COM" + std::to_string(impl_->com);
}

std::string Board::NetworkAddress(const std::string& kind) const {
    return impl_->Word("serve " + kind);
}

void Board::SetBehaviour(const std::string& commandPrefix, Behaviour b) {
    impl_->Ask("behave " + wire::Hex(commandPrefix) + " " +
               std::to_string(static_cast<int>(b.kind)) + " " + wire::Hex(b.reply) + " " +
               std::to_string(b.delay.count()) + " " + std::to_string(b.perByte.count()) + " " +
               wire::Hex(b.before) + " " + wire::Hex(b.after) + " " + std::to_string(b.times));
}
void Board::ClearBehaviours() {
    impl_->Ask("clear-behaviours");
}
void Board::Send(std::string_view bytes) {
    impl_->Ask("send " + wire::Hex(bytes));
}
void Board::SetReading(bool reading) {
    impl_->Ask(reading ? "reading 1" : "reading 0");
}
void Board::Vanish() {
    impl_->Ask("vanish");
}
void Board::Reappear() {
    impl_->Ask("reappear");
}
bool Board::Vanished() const {
    return impl_->Flag("vanished");
}

std::vector<RxByte> Board::ReceivedBytes() const {
    return Stamped(impl_->Ask("rx"), impl_->hostOffset,
                   [](Clock::time_point at, std::string bytes) {
                       return RxByte{at, static_cast<uint8_t>(bytes.empty() ? 0 : bytes[0])};
                   });
}
std::string Board::Received() const {
    return wire::Unhex(impl_->Word("received"));
}
std::vector<RxCommand> Board::Commands() const {
    return Stamped(impl_->Ask("commands"), impl_->hostOffset,
                   [](Clock::time_point at, std::string text) {
                       return RxCommand{at, std::move(text)};
                   });
}
std::vector<TxChunk> Board::Sent() const {
    return Stamped(impl_->Ask("sent"), impl_->hostOffset,
                   [](Clock::time_point at, std::string bytes) {
                       return TxChunk{at, std::move(bytes)};
                   });
}
void Board::ClearRecords() {
    impl_->Ask("clear-records");
}
bool Board::WaitForReceived(std::string_view needle, milliseconds timeout) const {
    return impl_->Flag("wait-received " + wire::Hex(needle) + " " +
                       std::to_string(timeout.count()));
}
bool Board::WaitForCommands(size_t n, milliseconds timeout) const {
    return impl_->Flag("wait-commands " + std::to_string(n) + " " +
                       std::to_string(timeout.count()));
}

bool Board::Echo() const {
    return impl_->Flag("echo");
}
std::string Board::ClockValue() const {
    return wire::Unhex(impl_->Word("clock"));
}
void Board::SetTimeLine(std::string line) {
    impl_->Ask("time-line " + wire::Hex(line));
}
std::string Board::OwnNumber() const {
    return wire::Unhex(impl_->Word("own-number"));
}
size_t Board::StoredMessages() const {
    return static_cast<size_t>(std::atoll(impl_->Word("stored").c_str()));
}
bool Board::GpsRunning() const {
    return impl_->Flag("gps-running");
}
void Board::SetGpsInterval(milliseconds interval) {
    impl_->Ask("gps-interval " + std::to_string(interval.count()));
}
void Board::SetNetworkDelay(milliseconds delay) {
    impl_->Ask("network-delay " + std::to_string(delay.count()));
}

}  // namespace karvex::sim
