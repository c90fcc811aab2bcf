// Byte access to the modem link. The line reader and the runner talk to this interface, so that the
// same code runs over the real serial port and over an in-memory fake (fuzzing, unit tests).
#pragma once

#include <cstdint>
#include <string>

namespace karvex {

// The general failure code of the link and runner operations; callers test only for < 0.
inline constexpr int E_FAIL = static_cast<int>(0x80004005u);

// The ports an operator can choose from: COM1 to COM99.
inline constexpr int kComPortCount = 99;

class Port {
  public:
    virtual ~Port() = default;
    // Discards what waits in the input queue (never blocks for long, see SerialPort::Purge).
    virtual void Purge() = 0;
    // Blocking write; the count written (short when the write time-out passed), or -1.
    virtual int Write(const void* bytes, uint32_t count) = 0;
    // Blocking read of up to `count` bytes; the count read, 0 on time-out, -1 on failure.
    virtual int Read(void* buffer, uint32_t count) = 0;
};

// A port the link opens by name and closes in two phases: Shutdown() wakes every blocked call and
// fails every later one; Close() also waits until no call is inside, then releases the device.
class LinkPort : public Port {
  public:
    // True when the port is open and configured; on failure nothing stays open.
    virtual bool Open(const std::string& name, uint32_t baud) = 0;
    virtual void Shutdown() = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // Why the last Open failed, in a few words for the operator; empty when no more is known.
    virtual std::string FailureReason() const { return {}; }
};

}  // namespace karvex
