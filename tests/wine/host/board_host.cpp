// karvex-board-host: runs one Windows test program under Wine with a simulated board of its own.
//
//   karvex-board-host DIR FIRST LAST -- PROGRAM [ARGS...]
//
// Claims the first free COM number in FIRST..LAST (a lock file per number under DIR/com-claims,
// held for the host's life, so parallel tests never share a board), places DIR/dosdevices/comN at
// a fresh board, and runs PROGRAM with KARVEX_BOARD_COM=N and KARVEX_BOARD_CONTROL=<TCP port>.
// When those are set already (one host runs another), their values move to KARVEX_BOARD_OUTER_*.
// Through that port the program drives and inspects the board (tests/wine/board_protocol.h).
// Exits with the program's status; the board and its link go with the host.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/board.h"
#include "tests/support/ser2net.h"
#include "tests/wine/board_protocol.h"

extern char** environ;

namespace {

using karvex::sim::Behaviour;
using karvex::sim::Board;
using karvex::sim::Clock;
using karvex::sim::milliseconds;
using karvex::testing::Ser2net;
namespace wire = karvex::sim::wire;

class Host {
  public:
    Host(std::string dir, int com) : dir_(std::move(dir)), com_(com) { Renew(); }

    // One request line in, one answer line out.
    std::string Handle(const std::string& line) {
        const std::vector<std::string> w = wire::Words(line);
        if (w.empty()) return "error empty";
        std::lock_guard lock(mutex_);
        const std::string& op = w[0];
        auto arg = [&](size_t i) { return i < w.size() ? w[i] : std::string("-"); };
        auto num = [&](size_t i) { return std::atol(arg(i).c_str()); };
        auto flag = [](bool b) { return std::string(b ? "ok 1" : "ok 0"); };
        if (op == "new") return Renew() ? "ok" : "error cannot place the COM link";
        if (op == "now") return "ok " + Stamp(Clock::now());
        if (op == "serve") {
            if (!server_) server_ = std::make_unique<Ser2net>(board_->DevicePath());
            if (!server_->Running()) return "error ser2net did not start";
            return "ok " + server_->Address(arg(1) == "tcp" ? Ser2net::Accepter::Tcp
                                                            : Ser2net::Accepter::Rfc2217);
        }
        if (op == "behave") {
            Behaviour b;
            b.kind = static_cast<Behaviour::Kind>(num(2));
            b.reply = wire::Unhex(arg(3));
            b.delay = milliseconds(num(4));
            b.perByte = milliseconds(num(5));
            b.before = wire::Unhex(arg(6));
            b.after = wire::Unhex(arg(7));
            b.times = static_cast<int>(num(8));
            board_->SetBehaviour(wire::Unhex(arg(1)), b);
        } else if (op == "clear-behaviours") {
            board_->ClearBehaviours();
        } else if (op == "clear-records") {
            board_->ClearRecords();
        } else if (op == "vanish") {
            board_->Vanish();
        } else if (op == "reappear") {
            board_->Reappear();
        } else if (op == "send") {
            board_->Send(wire::Unhex(arg(1)));
        } else if (op == "reading") {
            board_->SetReading(num(1) != 0);
        } else if (op == "time-line") {
            board_->SetTimeLine(wire::Unhex(arg(1)));
        } else if (op == "gps-interval") {
            board_->SetGpsInterval(milliseconds(num(1)));
        } else if (op == "network-delay") {
            board_->SetNetworkDelay(milliseconds(num(1)));
        } else if (op == "vanished") {
            return flag(board_->Vanished());
        } else if (op == "echo") {
            return flag(board_->Echo());
        } else if (op == "gps-running") {
            return flag(board_->GpsRunning());
        } else if (op == "received") {
            return "ok " + wire::Hex(board_->Received());
        } else if (op == "clock") {
            return "ok " + wire::Hex(board_->ClockValue());
        } else if (op == "own-number") {
            return "ok " + wire::Hex(board_->OwnNumber());
        } else if (op == "stored") {
            return "ok " + std::to_string(board_->StoredMessages());
        } else if (op == "rx") {
            std::string out = "ok";
            for (const auto& b : board_->ReceivedBytes()) {
                out +=
                    " " + Stamp(b.at) + ":" + wire::Hex(std::string(1, static_cast<char>(b.byte)));
            }
            return out;
        } else if (op == "commands" || op == "sent") {
            std::string out = "ok";
            if (op == "commands") {
                for (const auto& c : board_->Commands())
                    out += " " + Stamp(c.at) + ":" + wire::Hex(c.text);
            } else {
                for (const auto& c : board_->Sent())
                    out += " " + Stamp(c.at) + ":" + wire::Hex(c.bytes);
            }
            return out;
        } else if (op == "wait-received") {
            return flag(board_->WaitForReceived(wire::Unhex(arg(1)), milliseconds(num(2))));
        } else if (op == "wait-commands") {
            return flag(board_->WaitForCommands(static_cast<size_t>(num(1)), milliseconds(num(2))));
        } else {
            return "error unknown request " + op;
        }
        return "ok";
    }

  private:
    // Microseconds since the host started: only differences between stamps mean anything.
    std::string Stamp(Clock::time_point at) const {
        return std::to_string(
            std::chrono::duration_cast<std::chrono::microseconds>(at - start_).count());
    }

    bool Renew() {
        server_.reset();  // it serves the board's device
        board_.reset();   // its link goes with it
        board_ = std::make_unique<Board>();
        return !board_->DevicePath().empty() && board_->LinkCom(dir_, com_);
    }

    std::string dir_;
    int com_;
    const Clock::time_point start_ = Clock::now();
    std::mutex mutex_;
    std::unique_ptr<Board> board_;
    std::unique_ptr<Ser2net> server_;
};

// Serves one connection after another until the listening socket is shut down. The requests
// of one connection run in order; a blocking wait holds only its own connection.
void Serve(int listener, Host& host) {
    std::vector<std::thread> connections;
    for (;;) {
        const int conn = accept(listener, nullptr, nullptr);
        if (conn < 0) break;
        connections.emplace_back([conn, &host] {
            std::string pending;
            char buffer[4096];
            for (;;) {
                const ssize_t n = read(conn, buffer, sizeof buffer);
                if (n <= 0) break;
                pending.append(buffer, static_cast<size_t>(n));
                for (size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
                    const std::string answer = host.Handle(pending.substr(0, nl)) + "\n";
                    pending.erase(0, nl + 1);
                    for (size_t sent = 0; sent < answer.size();) {
                        const ssize_t m = write(conn, answer.data() + sent, answer.size() - sent);
                        if (m <= 0) break;
                        sent += static_cast<size_t>(m);
                    }
                }
            }
            close(conn);
        });
    }
    for (std::thread& t : connections) t.join();
}

// The lock descriptor of the first free number in first..last (kept open), or -1.
int ClaimCom(const std::string& dir, int first, int last, int& com) {
    const std::string claims = dir + "/com-claims";
    mkdir(dir.c_str(), 0755);
    mkdir(claims.c_str(), 0755);
    for (int n = first; n <= last; ++n) {
        const std::string path = claims + "/com" + std::to_string(n) + ".lock";
        const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) continue;
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            com = n;
            return fd;
        }
        close(fd);
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 6 || std::string(argv[4]) != "--") {
        std::fputs("usage: karvex-board-host DIR FIRST LAST -- PROGRAM [ARGS...]\n", stderr);
        return 2;
    }
    const std::string dir = argv[1];
    int com = 0;
    const int claim = ClaimCom(dir, std::atoi(argv[2]), std::atoi(argv[3]), com);
    if (claim < 0) {
        std::fputs("karvex-board-host: no free COM number\n", stderr);
        return 1;
    }
    Host host(dir, com);

    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 ||
        bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 8) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("karvex-board-host: control socket");
        return 1;
    }
    std::thread server([&] { Serve(listener, host); });

    // A host run inside another (a test of two boards at once) keeps the outer board reachable.
    for (const char* name : {"COM", "CONTROL"}) {
        if (const char* outer = std::getenv((std::string("KARVEX_BOARD_") + name).c_str())) {
            setenv((std::string("KARVEX_BOARD_OUTER_") + name).c_str(), outer, 1);
        }
    }
    setenv("KARVEX_BOARD_COM", std::to_string(com).c_str(), 1);
    setenv("KARVEX_BOARD_CONTROL", std::to_string(ntohs(address.sin_port)).c_str(), 1);
    pid_t child = 0;
    int status = 0;
    if (posix_spawnp(&child, argv[5], nullptr, nullptr, argv + 5, environ) != 0) {
        std::perror("karvex-board-host: cannot start the program");
        status = 127 << 8;
    } else {
        while (waitpid(child, &status, 0) < 0) {
        }
    }
    shutdown(listener, SHUT_RDWR);  // ends accept; the program's connections have closed with it
    server.join();
    close(listener);
    close(claim);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
