// Network servers for the network port's tests, all on 127.0.0.1 and on free ports: a real
// ser2net (Debian's ser2net 4) serving one device, and a scripted server that plays a server's
// part byte for byte (answers ser2net would never give), or a host that never answers at all.
#pragma once

#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "timing.h"

extern char** environ;

namespace karvex::testing {

// A listening TCP socket on 127.0.0.1 at a port the system chose (`backlog` 0: it fills at once).
inline int LoopbackListener(uint16_t& port, int backlog = 4) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, backlog) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0) ::close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

// True once something listens on 127.0.0.1:`port` (from the kernel's table: nothing connects).
inline bool Listening(uint16_t port) {
    char local[32];
    std::snprintf(local, sizeof local, "0100007F:%04X", port);
    std::ifstream table("/proc/net/tcp");
    for (std::string line; std::getline(table, line);) {
        std::istringstream fields(line);
        std::string slot, address, remote, state;
        fields >> slot >> address >> remote >> state;
        if (address == local && state == "0A") return true;
    }
    return false;
}

class Ser2net {
  public:
    enum class Accepter { Rfc2217, Tcp, PlainTelnet };

    // `chardelay`: ser2net's default of holding what the device sends for a millisecond or more;
    // off by default, as the README's set-up has it.
    explicit Ser2net(std::string device, bool chardelay = false)
        : device_(std::move(device)), chardelay_(chardelay) {
        // A port another program takes between our choice and ser2net's bind: choose again.
        for (int attempt = 0; attempt < 3 && !Start(true); ++attempt) {
        }
    }
    ~Ser2net() {
        Stop();
        std::error_code ec;
        std::filesystem::remove(config_, ec);
    }
    Ser2net(const Ser2net&) = delete;
    Ser2net& operator=(const Ser2net&) = delete;

    bool Running() const { return pid_ > 0; }
    std::string Address(Accepter a) const {
        return (a == Accepter::Tcp ? "tcp://127.0.0.1:" : "rfc2217://127.0.0.1:") +
               std::to_string(ports_[static_cast<int>(a)]);
    }

    // Ends the server as an operator's kill would: its connections close.
    void Stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    // Starts again on the same ports (`choose`: on new ones). True once every accepter listens.
    bool Start(bool choose = false) {
        Stop();
        if (choose && !ChoosePorts()) return false;
        std::ofstream(config_) << Config();
        const char* argv[] = {"ser2net", "-n", "-u", "-c", config_.c_str(), nullptr};
        if (posix_spawnp(&pid_, "ser2net", nullptr, nullptr, const_cast<char**>(argv), environ) !=
            0) {
            pid_ = -1;
            return false;
        }
        const bool up = WaitUntil([&] {
            return Exited() ||
                   (Listening(ports_[0]) && Listening(ports_[1]) && Listening(ports_[2]));
        });
        if (!up || Exited()) Stop();
        return Running();
    }

  private:
    bool Exited() {
        if (pid_ <= 0 || waitpid(pid_, nullptr, WNOHANG) == 0) return false;
        pid_ = -1;
        return true;
    }
    bool ChoosePorts() {
        int fds[3];
        bool ok = true;
        for (int i = 0; i < 3; ++i) ok = (fds[i] = LoopbackListener(ports_[i])) >= 0 && ok;
        for (const int fd : fds) {
            if (fd >= 0) ::close(fd);
        }
        return ok;
    }
    // The connector as a board on a USB serial adapter is set up: 115200 8N1, modem lines
    // ignored (a pseudo-terminal has none); ser2net's own defaults otherwise.
    std::string Config() const {
        const char* accepters[] = {"telnet(rfc2217),tcp", "tcp", "telnet,tcp"};
        std::string yaml;
        for (int i = 0; i < 3; ++i) {
            yaml += "connection: &c" + std::to_string(i) + "\n  accepter: " + accepters[i] +
                    ",127.0.0.1," + std::to_string(ports_[i]) + "\n  connector: serialdev," +
                    device_ + ",115200n81,local\n  options:\n    chardelay: " +
                    (chardelay_ ? "true\n" : "false\n");
        }
        return yaml;
    }

    std::string device_;
    bool chardelay_;
    std::string config_ = (std::filesystem::temp_directory_path() /
                           ("karvex-ser2net-" + std::to_string(getpid()) + "-" +
                            std::to_string(reinterpret_cast<uintptr_t>(this)) + ".yaml"))
                              .string();
    uint16_t ports_[3] = {};
    pid_t pid_ = -1;
};

// A server on 127.0.0.1 that sends `script` to the first client and then reads until it leaves;
// or, `silent`, a host whose listen queue is full, so that a connection is never answered.
class ScriptedServer {
  public:
    explicit ScriptedServer(std::string script, bool silent = false)
        : listener_(LoopbackListener(port_, silent ? 0 : 4)) {
        if (silent) {
            filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            to.sin_port = htons(port_);
            connect(filler_, reinterpret_cast<sockaddr*>(&to), sizeof to);
            return;
        }
        thread_ = std::thread([this, script = std::move(script)] { Serve(script); });
    }
    ~ScriptedServer() {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(stop_, &one, sizeof one);
        if (thread_.joinable()) thread_.join();
        for (const int fd : {listener_, filler_, stop_}) {
            if (fd >= 0) ::close(fd);
        }
    }
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    std::string Address() const { return "rfc2217://127.0.0.1:" + std::to_string(port_); }

  private:
    // Waits for `fd` or the stop; false when stopped.
    bool Ready(int fd) const {
        pollfd fds[2] = {{fd, POLLIN, 0}, {stop_, POLLIN, 0}};
        return poll(fds, 2, 20000) > 0 && fds[1].revents == 0;
    }
    void Serve(const std::string& script) {
        if (!Ready(listener_)) return;
        const int client = accept(listener_, nullptr, nullptr);
        if (client < 0) return;
        [[maybe_unused]] const ssize_t sent = ::send(client, script.data(), script.size(), 0);
        char buffer[256];
        while (Ready(client) && ::read(client, buffer, sizeof buffer) > 0) {
        }
        ::close(client);
    }

    uint16_t port_ = 0;
    int listener_;
    int filler_ = -1;
    int stop_ = eventfd(0, EFD_CLOEXEC);
    std::thread thread_;
};

}  // namespace karvex::testing
