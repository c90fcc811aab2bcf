// The serial port: over POSIX termios (serial_port.cpp) or the Windows communications functions
// (serial_port_win.cpp), one file per platform behind this one class.
//
// One object is one device. Every operation may be called from any thread while another thread is
// inside another operation: the monitor reads while the worker purges and writes, and the UI thread
// closes. Closing happens in two phases so that no thread ever touches a descriptor number after it
// was closed (Linux hands the number out again at once, Windows its handle values likewise):
//   Shutdown()  marks the port closed and wakes every blocked read and write; from then on every
//               operation fails (-1) or does nothing;
//   Close()     does the same, waits until no operation is still inside, and releases the device.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "link/port.h"
#ifndef _WIN32
#include "link/port_lock.h"
#endif

namespace karvex {

class SerialPort final : public Port {
  public:
    SerialPort() = default;
    ~SerialPort() override;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens `path` exclusively (on Linux a UUCP lock file, flock and TIOCEXCL, so a second opener
    // fails, root included; on Windows share mode 0), raw 8N1 at `baud` without software flow
    // control; fails when the driver keeps another speed or format. On Linux paths of the form
    // \\.\COMn are resolved first (ResolveDevicePath); Windows opens them as they stand. True
    // when the port is open and configured; on failure nothing stays open.
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
#ifdef _WIN32
    using Device = void*;  // HANDLE of the COM port, opened for overlapped I/O
    using Waker = void*;   // manual-reset event, set by Shutdown to end every wait
    static constexpr Device kNone = nullptr;
#else
    using Device = int;  // the tty's descriptor
    using Waker = int;   // eventfd, made readable by Shutdown to wake every poll
    static constexpr Device kNone = -1;
#endif
    // An operation in progress: while one exists, Close() waits before releasing the device, so
    // the values it took stay valid until it leaves.
    struct Use {
        explicit Use(SerialPort& port) : port_(port), ok_(port.Enter(device, waker)) {}
        ~Use() {
            if (ok_) port_.Leave();
        }
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;
        explicit operator bool() const { return ok_; }
        Device device = kNone;
        Waker waker = kNone;

      private:
        SerialPort& port_;
        bool ok_;
    };
    bool Enter(Device& device, Waker& waker);
    void Leave();
    // Per platform, with the mutex held: make every wait in progress or to come return at once;
    // release the device and the waker once no operation is inside.
    void WakeAll();
    void Release();

    mutable std::mutex mutex_;
    std::condition_variable idle_;
    Device device_ = kNone;
    Waker waker_ = kNone;
#ifndef _WIN32
    PortLock lock_;  // the UUCP lock file while the port is open
#endif
    bool closing_ = true;  // no device, or shut down: new operations fail at once
    int inUse_ = 0;        // operations currently inside
};

// The process-wide port that the window's link uses.
SerialPort& ThePort();

// \\.\COMn names a COM port: the first dosdevices/comn link that exists in ComLinkDirs(exeDir)
// (Wine's convention; an installed copy also looks in the user's configuration folder),
// /dev/ttyS<n-1> otherwise. Any other path is returned as it stands.
std::string ResolveDevicePath(const std::string& path, const std::string& exeDir);
// The running executable's path (from /proc/self/exe), and its directory; empty when it cannot
// be read.
std::string ExecutablePath();
std::string ExecutableDir();

}  // namespace karvex
