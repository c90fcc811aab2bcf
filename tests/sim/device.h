// The program's side of the simulated board in tests: the slave device opened the way the serial
// layer opens it (raw, non-blocking, exclusive), with reads that wait on poll up to a deadline.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <string_view>

namespace karvex::simtest {

using Ms = std::chrono::milliseconds;
using Steady = std::chrono::steady_clock;

inline long long MsSince(Steady::time_point from, Steady::time_point to = Steady::now()) {
    return std::chrono::duration_cast<Ms>(to - from).count();
}

class Device {
  public:
    explicit Device(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) return;
        termios tio{};
        if (flock(fd_, LOCK_EX | LOCK_NB) != 0 || ioctl(fd_, TIOCEXCL) != 0 ||
            tcgetattr(fd_, &tio) != 0) {
            Close();
            return;
        }
        cfmakeraw(&tio);
        tcsetattr(fd_, TCSANOW, &tio);
        tcflush(fd_, TCIOFLUSH);
    }
    ~Device() { Close(); }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    void Close() {
        if (fd_ >= 0) {
            ioctl(fd_, TIOCNXCL);  // the board keeps the terminal open: leave it reopenable
            ::close(fd_);
        }
        fd_ = -1;
    }

    // Writes everything (waiting for room); false when the device refuses.
    bool Write(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
            if (n > 0) {
                bytes.remove_prefix(static_cast<size_t>(n));
            } else if (n < 0 && errno == EAGAIN) {
                pollfd p{fd_, POLLOUT, 0};
                if (::poll(&p, 1, 2000) <= 0) return false;
            } else if (n < 0 && errno != EINTR) {
                return false;
            }
        }
        return true;
    }

    // Reads until `count` bytes arrived or `timeout` passed.
    std::string ReadCount(size_t count, Ms timeout) {
        std::string got;
        const auto deadline = Steady::now() + timeout;
        while (got.size() < count && ReadSome(got, deadline)) {
        }
        return got;
    }

    // Reads until `needle` arrived or `timeout` passed; returns all bytes read.
    std::string ReadUntil(std::string_view needle, Ms timeout) {
        std::string got;
        const auto deadline = Steady::now() + timeout;
        while (got.find(needle) == std::string::npos && ReadSome(got, deadline)) {
        }
        return got;
    }

    // Everything that arrives within `span`.
    std::string ReadFor(Ms span) {
        std::string got;
        const auto deadline = Steady::now() + span;
        while (ReadSome(got, deadline)) {
        }
        return got;
    }

    // The poll events of the device after waiting up to `timeout` for input or hang-up.
    short PollEvents(Ms timeout) {
        pollfd p{fd_, POLLIN, 0};
        return ::poll(&p, 1, static_cast<int>(timeout.count())) > 0 ? p.revents : 0;
    }

  private:
    // One read into `got`; false at the deadline or when the device failed.
    bool ReadSome(std::string& got, Steady::time_point deadline) {
        const auto left = std::chrono::ceil<Ms>(deadline - Steady::now()).count();
        if (left <= 0) return false;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) return false;
        char buffer[4096];
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n > 0) {
            got.append(buffer, static_cast<size_t>(n));
            return true;
        }
        return n < 0 && (errno == EAGAIN || errno == EINTR);
    }

    int fd_ = -1;
};

}  // namespace karvex::simtest
