// The modem link's port: the local serial port, or a board on another machine, chosen at each
// open by the port's name as ResolveDevicePath resolves it (a COM port's link may name either).
#pragma once

#include <atomic>
#include <string>

#include "link/network_port.h"
#include "link/serial_port.h"

namespace karvex {

class ModemPort final : public LinkPort {
  public:
    bool Open(const std::string& name, uint32_t baud) override;
    void Shutdown() override;
    void Close() override;
    bool IsOpen() const override;
    std::string FailureReason() const override;

    void Purge() override;
    int Write(const void* bytes, uint32_t count) override;
    int Read(void* buffer, uint32_t count) override;

  private:
    SerialPort serial_;
    NetworkPort network_;
    // The one chosen by the last Open. The other is closed, so a call that reaches it during a
    // change fails as a call on a closed port does.
    std::atomic<LinkPort*> active_{&serial_};
};

// The process-wide port that the window's link uses.
ModemPort& ThePort();

}  // namespace karvex
