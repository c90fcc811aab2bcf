// The serial port over POSIX termios.
//
// One object is one device. Every operation may be called from any thread while another thread is
// inside another operation: the monitor reads while the worker purges and writes, and the UI thread
// closes. Closing happens in two phases so that no thread ever touches a descriptor number after it
// was closed (Linux hands the number out again at once):
//   Shutdown()  marks the port closed and wakes every blocked read and write; from then on every
//               operation fails (-1) or does nothing;
//   Close()     does the same, waits until no operation is still inside, and releases the device.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "link/port.h"
#include "link/port_lock.h"

namespace karvex {

class SerialPort final : public Port {
  public:
    SerialPort() = default;
    ~SerialPort() override;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens `path` exclusively (a UUCP lock file, flock and TIOCEXCL, so a second opener fails,
    // root included), raw 8N1 at `baud` without software flow control; fails when the driver
    // keeps another speed or format. Paths of the form \\.\COMn are resolved first
    // (ResolveDevicePath). True when the port is open and configured; on failure nothing stays
    // open.
    bool Open(const std::string& path, uint32_t baud);
    void Shutdown();
    void Close();
    bool IsOpen() const;

    void Purge() override;
    int Write(const void* bytes, uint32_t count) override;
    int Read(void* buffer, uint32_t count) override;

    // Read time-out: count + kReadConstantMs milliseconds; writes likewise.
    static constexpr int kReadConstantMs = 100;
    static constexpr int kWriteConstantMs = 100;

  private:
    struct Use;  // an operation in progress: holds the descriptor alive
    bool Enter(int& fd, int& wakeFd);
    void Leave();

    mutable std::mutex mutex_;
    std::condition_variable idle_;
    int fd_ = -1;
    int wakeFd_ = -1;      // eventfd, made readable by Shutdown to wake every poll
    bool closing_ = true;  // no device, or shut down: new operations fail at once
    int inUse_ = 0;        // operations currently inside
    PortLock lock_;        // the UUCP lock file while the port is open
};

// The process-wide port that the window's link uses.
SerialPort& ThePort();

// \\.\COMn names a COM port: <exeDir>/dosdevices/comn when that link exists (Wine's convention),
// /dev/ttyS<n-1> otherwise. Any other path is returned as it stands.
std::string ResolveDevicePath(const std::string& path, const std::string& exeDir);
// The running executable's path (from /proc/self/exe), and its directory; empty when it cannot
// be read.
std::string ExecutablePath();
std::string ExecutableDir();

}  // namespace karvex
