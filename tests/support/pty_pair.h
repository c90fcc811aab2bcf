// A raw pseudo-terminal pair for tests that play the module's side byte by byte.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <string_view>

namespace karvex::testing {

// Raw settings: what the simulated board's pty has.
inline termios RawSettings() {
    termios raw{};
    cfmakeraw(&raw);
    return raw;
}

// What a USB serial adapter's tty has when its driver hands it out: cooked, echoing, software
// flow control on, 9600 baud.
inline termios FreshUsbTtySettings() {
    termios t{};
    t.c_iflag = ICRNL | IXON;
    t.c_oflag = OPOST | ONLCR;
    t.c_cflag = CS8 | CREAD | HUPCL;
    t.c_lflag = ISIG | ICANON | ECHO | ECHOE | ECHOK | ECHOCTL | ECHOKE | IEXTEN;
    t.c_cc[VINTR] = 3;
    t.c_cc[VSTART] = 0x11;
    t.c_cc[VSTOP] = 0x13;
    t.c_cc[VMIN] = 1;
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    return t;
}

class PtyPair {
  public:
    explicit PtyPair(const termios& settings = RawSettings()) {
        char name[256] = {};
        termios copy = settings;
        if (openpty(&master_, &slave_, name, &copy, nullptr) == 0) path_ = name;
        // The test keeps its own slave descriptor open so the master never sees a hang-up.
    }
    ~PtyPair() {
        CloseMaster();
        if (slave_ >= 0) ::close(slave_);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& Path() const { return path_; }
    int Master() const { return master_; }
    int Slave() const { return slave_; }

    // The module sends.
    void Send(std::string_view bytes) const {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n <= 0) return;
            done += static_cast<size_t>(n);
        }
    }

    // What the program wrote, gathered until `quiet` passes with nothing new (or `total` passes).
    std::string Receive(std::chrono::milliseconds quiet = std::chrono::milliseconds(150),
                        std::chrono::milliseconds total = std::chrono::milliseconds(3000)) const {
        std::string out;
        const auto end = std::chrono::steady_clock::now() + total;
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(quiet.count())) <= 0) break;
            char buf[4096];
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0) break;
            out.append(buf, static_cast<size_t>(n));
        }
        return out;
    }

    // The device vanishes: the program's side sees a hang-up.
    void CloseMaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
        if (slave_ >= 0) ::close(slave_);
        slave_ = -1;
    }

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

}  // namespace karvex::testing
