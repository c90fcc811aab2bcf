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

#include <cstdint>
#include <string>

#include "link/port.h"
#include "link/port_gate.h"
#ifndef _WIN32
#include "link/port_lock.h"
#endif

namespace karvex {

class SerialPort final : public LinkPort {
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
    bool Open(const std::string& path, uint32_t baud) override;
    void Shutdown() override;
    void Close() override;
    bool IsOpen() const override;

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
    // the values it took stay valid until it leaves. A call that did not get in reads nothing.
    struct Use : PortGate::Use {
        explicit Use(SerialPort& port)
            : PortGate::Use(port.gate_),
              device(In() ? port.device_ : kNone),
              waker(In() ? port.waker_ : kNone) {}
        bool In() const { return static_cast<bool>(static_cast<const PortGate::Use&>(*this)); }
        Device device;
        Waker waker;
    };
    // Per platform: make every wait in progress or to come return at once; release the device
    // and the waker once no operation is inside. Both run under the gate's lock.
    void WakeAll();
    void Release();

    PortGate gate_;
    Device device_ = kNone;
    Waker waker_ = kNone;
#ifndef _WIN32
    PortLock lock_;  // the UUCP lock file while the port is open
#endif
};

// \\.\COMn names a COM port: the first dosdevices/comn link that exists in ComLinkDirs(exeDir)
// (Wine's convention; an installed copy also looks in the user's configuration folder),
// /dev/ttyS<n-1> otherwise. A link whose text is a network address (rfc2217://host:port,
// tcp://host:port) resolves to that address. On Windows, \\.\COMn resolves to the address that
// the line COMn=... of the first ports.ini in ComLinkDirs(exeDir) that names it gives, and stays
// as it is otherwise. Any other path is returned as it stands.
std::string ResolveDevicePath(const std::string& path, const std::string& exeDir);
// ResolveDevicePath beside the running executable: what the program opens for `name`.
std::string ResolvePortName(const std::string& name);

}  // namespace karvex
