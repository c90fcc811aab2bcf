// A board on another machine, behind a serial-to-network server: rfc2217://host:port (telnet
// with the COM port option: the line is set up as a local port's would be, 0xFF is doubled) or
// tcp://host:port (the raw byte stream of a server that sets the line itself).
//
// The same contract as SerialPort: any operation may be called from any thread while another is
// inside another; Shutdown() wakes every blocked call and fails the later ones, Close() also waits
// until no call is inside before it closes the socket, and never waits on the network. Reads and
// writes keep the serial port's time-outs. A connection the peer closed or reset fails every read
// and write, as a vanished device does.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "link/net_socket.h"
#include "link/network_address.h"
#include "link/port.h"
#include "link/port_gate.h"
#include "link/telnet.h"

namespace karvex {

class NetworkPort final : public LinkPort {
  public:
    NetworkPort() = default;
    ~NetworkPort() override;
    NetworkPort(const NetworkPort&) = delete;
    NetworkPort& operator=(const NetworkPort&) = delete;

    // Connects to `address` and, for rfc2217://, asks for `baud` 8N1 without flow control and
    // checks that the server took it. Gives up after kOpenTimeoutMs (a name that does not
    // resolve, a host that does not answer, a server that does not confirm), or when Shutdown()
    // is called meanwhile. On failure nothing stays open and FailureReason() says why.
    bool Open(const std::string& address, uint32_t baud) override;
    void Shutdown() override;
    void Close() override;
    bool IsOpen() const override;
    std::string FailureReason() const override;

    // Drops what has arrived and not been read; for rfc2217:// also asks the server to purge its
    // receive buffer and drops what it sent before it did (bounded by one read time-out).
    void Purge() override;
    int Write(const void* bytes, uint32_t count) override;
    int Read(void* buffer, uint32_t count) override;

    static constexpr int kReadConstantMs = 100;
    static constexpr int kWriteConstantMs = 100;
    static constexpr int kOpenTimeoutMs = 3000;

  private:
    enum class Option : uint8_t { Off, Asked, On };
    bool Fail(const std::string& reason);
    bool Connect(const NetworkAddress& address, net::SteadyClock::time_point deadline);
    bool Negotiate(uint32_t baud, net::SteadyClock::time_point deadline);
    void WakeAll();
    void Release();

    // With rxMutex_ held: waits until `done()` holds, the connection has gone, the port was shut,
    // or `deadline`. One thread at a time receives from the socket; the others wait for what it
    // brings. True when `done()` holds.
    template <class Done>
    bool Await(std::unique_lock<std::mutex>& lock, Done done,
               net::SteadyClock::time_point deadline);
    // With rxMutex_ held: receives what the socket holds now, decodes it and answers the
    // server's requests. The count received, 0 for nothing, -1 when the connection has gone.
    long ReceiveLocked();
    void HandleLocked(const telnet::Command& command);
    // Sends all of `bytes` before `deadline`: the count sent, or -1 when the connection went
    // before any byte left. Serialised by txMutex_.
    long SendAll(const std::string& bytes, net::SteadyClock::time_point deadline);

    PortGate gate_;
    net::Socket socket_ = net::kNoSocket;
    net::Socket waker_ = net::kNoSocket;
    bool telnet_ = false;  // rfc2217://: the stream is telnet

    // What has arrived: data not yet read, the decoder, the option states and the answers.
    std::mutex rxMutex_;
    std::condition_variable rxChanged_;
    bool receiving_ = false;  // a thread is waiting on the socket for the others
    bool shut_ = false;
    std::atomic<bool> gone_{false};  // the peer closed or reset the connection
    std::string rx_;
    size_t rxAt_ = 0;  // rx_ before this has been read
    telnet::Decoder decoder_;
    Option local_[256] = {};        // options we perform
    Option remote_[256] = {};       // options the server performs
    std::string answers_[13];       // the server's answers to our requests, by request number
    bool purgePending_ = false;     // what arrives is old until the purge answer
    bool purgeUnanswered_ = false;  // a purge answer did not come in time: not waited for again

    std::mutex txMutex_;

    // The waker of an Open in progress, so that Shutdown can cut it short; and why Open failed.
    mutable std::mutex openMutex_;
    net::Socket openWaker_ = net::kNoSocket;
    bool abortOpen_ = false;
    std::string failure_;
};

}  // namespace karvex
