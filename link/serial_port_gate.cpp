// The part of the serial port that both platforms share: the two-phase close of PortGate around
// the platform's own wake-up and release.
#include "link/serial_port.h"

namespace karvex {

SerialPort::~SerialPort() {
    Close();
}

void SerialPort::Shutdown() {
    gate_.Shutdown([this] { WakeAll(); });
}

void SerialPort::Close() {
    gate_.Close([this] { WakeAll(); }, [this] { Release(); });
}

bool SerialPort::IsOpen() const {
    return gate_.IsOpen();
}

}  // namespace karvex
