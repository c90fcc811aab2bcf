#include "link/modem_port.h"

#include "link/network_address.h"

namespace karvex {

bool ModemPort::Open(const std::string& name, uint32_t baud) {
    Close();
    if (const std::string resolved = ResolvePortName(name); IsNetworkName(resolved)) {
        active_ = &network_;
        return network_.Open(resolved, baud);
    }
    active_ = &serial_;
    return serial_.Open(name, baud);
}

void ModemPort::Shutdown() {
    serial_.Shutdown();
    network_.Shutdown();
}

void ModemPort::Close() {
    serial_.Close();
    network_.Close();
}

bool ModemPort::IsOpen() const {
    return active_.load()->IsOpen();
}

std::string ModemPort::FailureReason() const {
    return active_.load()->FailureReason();
}

void ModemPort::Purge() {
    active_.load()->Purge();
}

int ModemPort::Write(const void* bytes, uint32_t count) {
    return active_.load()->Write(bytes, count);
}

int ModemPort::Read(void* buffer, uint32_t count) {
    return active_.load()->Read(buffer, count);
}

ModemPort& ThePort() {
    static ModemPort port;
    return port;
}

}  // namespace karvex
