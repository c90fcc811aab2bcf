// The serial port over the Windows communications functions.
//
// The device is opened for overlapped I/O. Every read and write issues one request and waits on
// two events: the request's own and the port's stop event. Shutdown sets the stop event, so every
// blocked call wakes at once, cancels its own request (CancelIoEx) and waits until the request has
// ended before it returns: neither the buffer nor the handle is touched afterwards. Close waits
// until no call is inside before it closes the handle. The read and write time-outs are the comm
// time-outs, with a bound of our own on the wait in case a driver does not keep them.
#include "link/serial_port.h"
#include "link/utf16_win.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace karvex {

namespace {

using SteadyClock = std::chrono::steady_clock;

// How much longer than the comm time-out a request may take before we cancel it ourselves.
constexpr DWORD kTimeoutGraceMs = 250;

// The NTSTATUS a request ended by its comm time-out carries (ntstatus.h's STATUS_TIMEOUT).
constexpr ULONG_PTR kStatusTimeout = 0x102;

// 8N1 at `baud`, binary, no parity check, no XON/XOFF and no hardware handshake. DTR and RTS are
// raised and held, as a USB serial adapter expects of an open port.
bool Configure(HANDLE device, uint32_t baud) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(device, &dcb)) return false;
    dcb.BaudRate = baud;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
    if (!SetCommState(device, &dcb)) return false;

    // A read of n bytes ends after n + 100 ms at the latest, with what has come; writes likewise.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 0;
    timeouts.ReadTotalTimeoutMultiplier = 1;
    timeouts.ReadTotalTimeoutConstant = SerialPort::kReadConstantMs;
    timeouts.WriteTotalTimeoutMultiplier = 1;
    timeouts.WriteTotalTimeoutConstant = SerialPort::kWriteConstantMs;
    return SetCommTimeouts(device, &timeouts) != 0;
}

// The event a thread's requests signal. One per thread, kept for the thread's life: a request
// never outlives the call that issued it, so the next call can reuse it.
class RequestEvent {
  public:
    RequestEvent() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~RequestEvent() {
        if (event_) CloseHandle(event_);
    }
    RequestEvent(const RequestEvent&) = delete;
    RequestEvent& operator=(const RequestEvent&) = delete;
    HANDLE Get() const { return event_; }

  private:
    HANDLE event_;
};

HANDLE ThreadRequestEvent() {
    thread_local RequestEvent event;
    return event.Get();
}

enum class Outcome { Done, TimedOut, Stopped, Failed };

struct Transfer {
    Outcome outcome = Outcome::Failed;
    DWORD bytes = 0;  // transferred, also when stopped or timed out
};

// Issues one overlapped read or write of `count` bytes and waits for it, for the stop event, or
// for `boundMs`. Whatever ends the wait, the request has ended when this returns.
Transfer Transfer1(HANDLE device, HANDLE stopEvent, bool reading, void* buffer, DWORD count,
                   DWORD boundMs) {
    Transfer result;
    const HANDLE done = ThreadRequestEvent();
    if (!done) return result;
    OVERLAPPED request{};
    request.hEvent = done;
    ResetEvent(done);
    const BOOL started = reading ? ReadFile(device, buffer, count, nullptr, &request)
                                 : WriteFile(device, buffer, count, nullptr, &request);
    if (!started && GetLastError() != ERROR_IO_PENDING) return result;
    if (!started) {
        const HANDLE waits[2] = {done, stopEvent};
        const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, boundMs);
        if (woke != WAIT_OBJECT_0) {
            // Stopped, or the driver overran its own time-out: end the request, then collect it.
            CancelIoEx(device, &request);
            result.outcome = woke == WAIT_OBJECT_0 + 1 ? Outcome::Stopped : Outcome::TimedOut;
        }
    }
    // Waits for the request to end (at once when it has), so `request` and `buffer` are free.
    DWORD n = 0;
    const BOOL ok = GetOverlappedResult(device, &request, &n, TRUE);
    result.bytes = static_cast<DWORD>(request.InternalHigh);
    if (result.outcome == Outcome::Failed) {
        // Not stopped and not overrun: the request ended by itself. A comm time-out ends it with
        // STATUS_TIMEOUT, which Wine reports as a failure (WAIT_TIMEOUT) and Windows as success.
        const DWORD error = ok ? ERROR_SUCCESS : GetLastError();
        if (ok || error == WAIT_TIMEOUT || request.Internal == kStatusTimeout) {
            result.outcome = result.bytes == count ? Outcome::Done : Outcome::TimedOut;
        } else if (error == ERROR_OPERATION_ABORTED) {
            // Cancelled by someone else (a purge of the driver's own): no bytes lost, none read.
            result.outcome = Outcome::TimedOut;
        }
    }
    return result;
}

// What a read or write returns: the count moved, also a short one at a time-out; -1 when stopped
// or failed before any byte moved.
int CountOrFailure(const Transfer& t) {
    const bool ended = t.outcome == Outcome::Done || t.outcome == Outcome::TimedOut;
    return ended || t.bytes > 0 ? static_cast<int>(t.bytes) : -1;
}

}  // namespace

bool SerialPort::Open(const std::string& path, uint32_t baud) {
    Close();
    const std::wstring name = Utf16FromUtf8(path);
    if (name.empty()) return false;
    // Share mode 0: nobody else may open the port while we hold it.
    const HANDLE device = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (device == INVALID_HANDLE_VALUE) return false;
    if (GetFileType(device) != FILE_TYPE_CHAR || !Configure(device, baud)) {
        CloseHandle(device);
        return false;
    }
    const HANDLE stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!stopEvent) {
        CloseHandle(device);
        return false;
    }
    device_ = device;
    waker_ = stopEvent;
    gate_.Open();
    return true;
}

void SerialPort::WakeAll() {
    // Left set for good: every wait in progress or to come returns at once.
    SetEvent(waker_);
}

void SerialPort::Release() {
    if (device_) {
        CloseHandle(device_);
        device_ = nullptr;
    }
    if (waker_) {
        CloseHandle(waker_);
        waker_ = nullptr;
    }
}

void SerialPort::Purge() {
    Use use(*this);
    if (!use) return;
    // The driver's queue goes first; then what keeps arriving is read away for at most one read
    // time-out, so that a module streaming without pause cannot hold the command back for ever.
    // No PURGE_RXABORT: it would fail the monitor's read in progress.
    PurgeComm(use.device, PURGE_RXCLEAR);
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(kReadConstantMs + 1);
    std::vector<char> scratch;
    for (;;) {
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(use.device, &errors, &status) || status.cbInQue == 0) return;
        scratch.resize(std::min<DWORD>(status.cbInQue, 4096));
        const Transfer t = Transfer1(use.device, use.waker, true, scratch.data(),
                                     static_cast<DWORD>(scratch.size()),
                                     static_cast<DWORD>(kReadConstantMs) + kTimeoutGraceMs);
        if (t.outcome == Outcome::Stopped || t.outcome == Outcome::Failed || t.bytes == 0 ||
            SteadyClock::now() >= deadline) {
            return;
        }
    }
}

int SerialPort::Write(const void* bytes, uint32_t count) {
    Use use(*this);
    if (!use) return -1;
    if (count == 0) return 0;
    const Transfer t = Transfer1(use.device, use.waker, false, const_cast<void*>(bytes), count,
                                 count + static_cast<DWORD>(kWriteConstantMs) + kTimeoutGraceMs);
    return CountOrFailure(t);
}

int SerialPort::Read(void* buffer, uint32_t count) {
    Use use(*this);
    if (!use) return -1;
    if (count == 0) return 0;
    const Transfer t = Transfer1(use.device, use.waker, true, buffer, count,
                                 count + static_cast<DWORD>(kReadConstantMs) + kTimeoutGraceMs);
    // A vanished device fails every read at once; the caller paces its retries.
    return CountOrFailure(t);
}

}  // namespace karvex
