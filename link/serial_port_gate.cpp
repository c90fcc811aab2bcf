// The part of the serial port that both platforms share: the two-phase close. Every operation
// enters before it touches the device and leaves after; Shutdown wakes whatever waits, and Close
// releases the device only once nobody is inside, so no thread ever uses a descriptor or handle
// value after it was closed (the system hands both out again at once).
#include "link/serial_port.h"

namespace karvex {

SerialPort::~SerialPort() {
    Close();
}

bool SerialPort::Enter(Device& device, Waker& waker) {
    std::lock_guard lock(mutex_);
    if (closing_) return false;
    ++inUse_;
    device = device_;
    waker = waker_;
    return true;
}

void SerialPort::Leave() {
    std::lock_guard lock(mutex_);
    if (--inUse_ == 0) idle_.notify_all();
}

void SerialPort::Shutdown() {
    std::lock_guard lock(mutex_);
    if (closing_) return;
    closing_ = true;
    WakeAll();
}

void SerialPort::Close() {
    Shutdown();
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return inUse_ == 0; });
    Release();
}

bool SerialPort::IsOpen() const {
    std::lock_guard lock(mutex_);
    return !closing_;
}

SerialPort& ThePort() {
    static SerialPort port;
    return port;
}

}  // namespace karvex
