#include "link/serial_port.h"
#include "link/program_path.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <vector>

#include "link/poll_wait.h"

namespace karvex {

namespace {

using SteadyClock = std::chrono::steady_clock;

speed_t BaudConstant(uint32_t baud) {
    switch (baud) {
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        case 460800:
            return B460800;
        case 921600:
            return B921600;
    }
    return B0;
}

// Raw 8N1 at `baud`, receiver on, parity checking off, software flow control off so that 0x11 and
// 0x13 pass as data both ways. Hardware flow control and the handshake lines stay as the driver
// has them; a pseudo-terminal refuses the modem-line ioctls, which is fine.
bool Configure(int fd, uint32_t baud) {
    const speed_t speed = BaudConstant(baud);
    if (speed == B0) return false;
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return false;
    const tcflag_t keptFlow = tio.c_cflag & CRTSCTS;
    cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CREAD | CLOCAL | keptFlow;
    tio.c_iflag &= ~(INPCK | IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (cfsetispeed(&tio, speed) != 0 || cfsetospeed(&tio, speed) != 0) return false;
    if (tcsetattr(fd, TCSANOW, &tio) != 0) return false;
    // tcsetattr succeeds when the driver took any part of the request: read back what it kept.
    termios got{};
    if (tcgetattr(fd, &got) != 0) return false;
    constexpr tcflag_t kFormat = CSIZE | PARENB | CSTOPB | CREAD;
    constexpr tcflag_t kInput = IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP | INPCK;
    constexpr tcflag_t kLocal = ICANON | ECHO | ISIG | IEXTEN;
    return cfgetispeed(&got) == speed && cfgetospeed(&got) == speed &&
           (got.c_cflag & kFormat) == (CS8 | CREAD) && (got.c_iflag & kInput) == 0 &&
           (got.c_oflag & OPOST) == 0 && (got.c_lflag & kLocal) == 0;
}

// Errors of a read or write that mean the device itself has gone (unplugged, hung up).
bool DeviceGone(int error) {
    return error == EIO || error == ENXIO || error == ENODEV || error == EBADF;
}

}  // namespace

bool SerialPort::Open(const std::string& path, uint32_t baud) {
    Close();
    const std::string device = ResolveDevicePath(path, ExecutableDir());
    if (device.empty()) return false;
    // The lock comes first: opening a modem line can disturb the program that holds it.
    if (!lock_.Acquire(device)) return false;
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        lock_.Release();
        return false;
    }
    bool exclusive = false;
    const auto fail = [&] {
        // The exclusive flag would otherwise outlive us on a tty that someone else keeps open.
        if (exclusive) ioctl(fd, TIOCNXCL);
        ::close(fd);
        lock_.Release();
        return false;
    };
    // The name may have come to mean another device since the lock was taken (the adapter
    // re-plugged in between): only the locked device is used.
    if (!lock_.Covers(fd)) return fail();
    // flock holds against root too; TIOCEXCL keeps other (non-root) openers out of the tty.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || !isatty(fd)) return fail();
    if (ioctl(fd, TIOCEXCL) != 0) return fail();
    exclusive = true;
    if (!Configure(fd, baud)) return fail();
    const int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) return fail();
    device_ = fd;
    waker_ = wakeFd;
    gate_.Open();
    return true;
}

void SerialPort::WakeAll() {
    // Left readable for good: every poll in progress or to come returns at once.
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(waker_, &one, sizeof one);
}

void SerialPort::Release() {
    if (device_ >= 0) {
        // What the device has not sent yet is dropped: on a line stalled by hardware flow
        // control the driver would otherwise hold the close until it drained (up to 30 s).
        tcflush(device_, TCOFLUSH);
        // The exclusive flag would otherwise outlive us on a tty that someone else keeps open.
        ioctl(device_, TIOCNXCL);
        ::close(device_);
        device_ = -1;
    }
    lock_.Release();
    if (waker_ >= 0) {
        ::close(waker_);
        waker_ = -1;
    }
}

void SerialPort::Purge() {
    Use use(*this);
    if (!use) return;
    // Discards what is waiting now and what keeps arriving for at most one read time-out, so that a
    // module streaming without pause cannot hold the command back for ever.
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(kReadConstantMs + 1);
    std::vector<char> scratch;
    for (;;) {
        int waiting = 0;
        if (ioctl(use.device, FIONREAD, &waiting) != 0 || waiting <= 0) return;
        scratch.resize(static_cast<size_t>(waiting));
        const ssize_t n = ::read(use.device, scratch.data(), scratch.size());
        if (n <= 0 || SteadyClock::now() >= deadline) return;
    }
}

int SerialPort::Write(const void* bytes, uint32_t count) {
    Use use(*this);
    if (!use) return -1;
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(count + kWriteConstantMs);
    const char* p = static_cast<const char*>(bytes);
    uint32_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(use.device, p + done, count - done);
        if (n > 0) {
            done += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return done > 0 ? static_cast<int>(done) : -1;
        switch (WaitReady(use.device, use.waker, POLLOUT, deadline)) {
            case Ready::Yes:
                continue;
            case Ready::TimedOut:
                return static_cast<int>(done);
            case Ready::Woken:
            case Ready::Failed:
                return done > 0 ? static_cast<int>(done) : -1;
        }
    }
    return static_cast<int>(done);
}

int SerialPort::Read(void* buffer, uint32_t count) {
    Use use(*this);
    if (!use) return -1;
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(count + kReadConstantMs);
    char* p = static_cast<char*>(buffer);
    uint32_t done = 0;
    while (done < count) {
        bool hungUp = false;
        switch (WaitReady(use.device, use.waker, POLLIN, deadline, &hungUp)) {
            case Ready::Yes:
                break;
            case Ready::TimedOut:
                return static_cast<int>(done);
            case Ready::Woken:
            case Ready::Failed:
                return done > 0 ? static_cast<int>(done) : -1;
        }
        const ssize_t n = ::read(use.device, p + done, count - done);
        if (n > 0) {
            done += static_cast<uint32_t>(n);
        } else if ((n == 0 && hungUp) || (n < 0 && DeviceGone(errno))) {
            // The device has gone: it hangs up, and its reads give nothing or fail.
            return done > 0 ? static_cast<int>(done) : -1;
        }
        // Otherwise the queue was emptied between the poll and the read (a purge on another
        // thread), or the read was interrupted: wait again for what comes next.
    }
    return static_cast<int>(done);
}

}  // namespace karvex
