#include "link/network_port.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

namespace karvex {

namespace {

using net::SteadyClock;
using std::chrono::milliseconds;
namespace tn = telnet;

constexpr size_t kReceiveChunk = 4096;

// Names under .invalid never resolve (RFC 6761): they are refused here, and no query leaves for
// them.
bool NeverResolves(std::string host) {
    std::transform(host.begin(), host.end(), host.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (!host.empty() && host.back() == '.') host.pop_back();
    constexpr std::string_view kInvalid = "invalid";
    return host == kInvalid || std::string_view(host).ends_with(".invalid");
}

// The addresses of `host`, waited for until `deadline` at most. The system's resolver has no time
// limit of its own that we could set, so it runs on a thread of its own, which finishes (and frees
// what it holds) by itself when we have stopped waiting.
std::vector<net::Endpoint> ResolveWithin(const std::string& host, uint16_t port,
                                         SteadyClock::time_point deadline, std::string& error) {
    struct Lookup {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        std::vector<net::Endpoint> found;
        std::string error;
    };
    auto lookup = std::make_shared<Lookup>();
    try {
        std::thread([lookup, host, port] {
            std::string failure;
            std::vector<net::Endpoint> found = net::Resolve(host, port, failure);
            std::lock_guard lock(lookup->mutex);
            lookup->found = std::move(found);
            lookup->error = std::move(failure);
            lookup->finished = true;
            lookup->done.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        error = "cannot start the name lookup";
        return {};
    }
    std::unique_lock lock(lookup->mutex);
    if (!lookup->done.wait_until(lock, deadline, [&] { return lookup->finished; })) {
        error = "no answer from the name service in time";
        return {};
    }
    error = lookup->error;
    return lookup->found;
}

}  // namespace

NetworkPort::~NetworkPort() {
    Close();
}

bool NetworkPort::Fail(const std::string& reason) {
    std::lock_guard lock(openMutex_);
    if (failure_.empty()) failure_ = reason;
    return false;
}

std::string NetworkPort::FailureReason() const {
    std::lock_guard lock(openMutex_);
    return failure_;
}

bool NetworkPort::Open(const std::string& name, uint32_t baud) {
    Close();
    const auto deadline = SteadyClock::now() + milliseconds(kOpenTimeoutMs);
    {
        std::lock_guard lock(openMutex_);
        failure_.clear();
    }
    const std::optional<NetworkAddress> address = ParseNetworkAddress(name);
    if (!address) return Fail("not an address of the form rfc2217://host:port or tcp://host:port");
    if (NeverResolves(address->host)) return Fail(address->host + " does not resolve");
    const net::Socket waker = net::MakeWaker();
    if (waker == net::kNoSocket) return Fail("cannot set up the connection's wake-up");
    {
        // The state of the new connection. No other thread touches it while the gate is shut.
        std::lock_guard lock(rxMutex_);
        waker_ = waker;
        telnet_ = address->protocol == NetworkAddress::Protocol::Rfc2217;
        receiving_ = false;
        shut_ = false;
        gone_ = false;
        rx_.clear();
        rxAt_ = 0;
        decoder_ = tn::Decoder();
        std::fill(std::begin(local_), std::end(local_), Option::Off);
        std::fill(std::begin(remote_), std::end(remote_), Option::Off);
        for (std::string& answer : answers_) answer.clear();
        purgePending_ = false;
        purgeUnanswered_ = false;
    }
    {
        std::lock_guard lock(openMutex_);
        openWaker_ = waker;
        abortOpen_ = false;
    }
    bool ok = Connect(*address, deadline) && (!telnet_ || Negotiate(baud, deadline));
    {
        std::lock_guard lock(openMutex_);
        openWaker_ = net::kNoSocket;
        // A Shutdown that came meanwhile has set the waker: this connection is of no use.
        if (abortOpen_) {
            ok = false;
            if (failure_.empty()) failure_ = "cancelled";
        }
    }
    if (!ok) {
        Release();
        return false;
    }
    gate_.Open();
    return true;
}

bool NetworkPort::Connect(const NetworkAddress& address, SteadyClock::time_point deadline) {
    std::string error;
    const std::vector<net::Endpoint> endpoints =
        ResolveWithin(address.host, address.port, deadline, error);
    if (endpoints.empty()) return Fail(address.host + " does not resolve: " + error);
    for (const net::Endpoint& endpoint : endpoints) {
        const net::Socket s = net::Connect(endpoint, deadline, waker_, error);
        if (s != net::kNoSocket) {
            socket_ = s;
            return true;
        }
        if (SteadyClock::now() >= deadline) break;
    }
    return Fail("cannot connect to " + address.host + " port " + std::to_string(address.port) +
                ": " + error);
}

bool NetworkPort::Negotiate(uint32_t baud, SteadyClock::time_point deadline) {
    std::unique_lock lock(rxMutex_);
    const auto closed = [this](const char* otherwise) {
        return Fail(gone_ ? "the server closed the connection" : otherwise);
    };
    // We perform the COM port option; both directions binary, so that every byte passes as data.
    std::string hello;
    for (const uint8_t option : {tn::kComPort, tn::kBinary, tn::kSuppressGoAhead}) {
        hello += tn::Negotiation(tn::kWill, option);
        local_[option] = Option::Asked;
    }
    for (const uint8_t option : {tn::kBinary, tn::kSuppressGoAhead}) {
        hello += tn::Negotiation(tn::kDo, option);
        remote_[option] = Option::Asked;
    }
    if (SendAll(hello, deadline) != static_cast<long>(hello.size())) {
        return closed("cannot send to the server");
    }
    if (!Await(
            lock, [this] { return local_[tn::kComPort] != Option::Asked; }, deadline)) {
        return closed("the server did not answer the COM port option in time");
    }
    if (local_[tn::kComPort] != Option::On) {
        return Fail("the server refuses the COM port option (it serves plain telnet)");
    }

    struct Setting {
        tn::ComRequest request;
        std::string value;
        const char* what;
    };
    const Setting settings[] = {
        {tn::ComRequest::SetBaudRate, tn::BaudValue(baud), "baud rate"},
        {tn::ComRequest::SetDataSize, {static_cast<char>(tn::kDataBits8)}, "data size"},
        {tn::ComRequest::SetParity, {static_cast<char>(tn::kParityNone)}, "parity"},
        {tn::ComRequest::SetStopSize, {static_cast<char>(tn::kStopBits1)}, "stop size"},
        {tn::ComRequest::SetControl, {static_cast<char>(tn::kNoFlowControl)}, "flow control"},
    };
    std::string requests;
    for (const Setting& s : settings) requests += tn::ComPortRequest(s.request, s.value);
    if (SendAll(requests, deadline) != static_cast<long>(requests.size())) {
        return closed("cannot send to the server");
    }
    const auto answer = [this](tn::ComRequest r) -> std::string& {
        return answers_[static_cast<size_t>(r)];
    };
    const auto allAnswered = [&] {
        return std::all_of(std::begin(settings), std::end(settings),
                           [&](const Setting& s) { return !answer(s.request).empty(); });
    };
    if (!Await(lock, allAnswered, deadline)) {
        return closed("the server did not confirm the line settings in time");
    }
    for (const Setting& s : settings) {
        if (answer(s.request) != s.value) {
            return Fail(std::string("the server keeps another ") + s.what + " than " +
                        std::to_string(baud) + " 8N1 without flow control asks for");
        }
    }
    return true;
}

void NetworkPort::Shutdown() {
    gate_.Shutdown([this] { WakeAll(); });
    std::lock_guard lock(openMutex_);
    if (openWaker_ != net::kNoSocket) {
        abortOpen_ = true;
        net::SetWaker(openWaker_);
    }
}

void NetworkPort::Close() {
    Shutdown();
    gate_.Close([this] { WakeAll(); }, [this] { Release(); });
}

bool NetworkPort::IsOpen() const {
    return gate_.IsOpen();
}

void NetworkPort::WakeAll() {
    {
        std::lock_guard lock(rxMutex_);
        shut_ = true;
    }
    rxChanged_.notify_all();
    net::SetWaker(waker_);
}

void NetworkPort::Release() {
    // Nothing is inside: the socket closes at once, what is unsent leaves in the background.
    net::CloseSocket(socket_);
    socket_ = net::kNoSocket;
    net::CloseSocket(waker_);
    waker_ = net::kNoSocket;
}

template <class Done>
bool NetworkPort::Await(std::unique_lock<std::mutex>& lock, Done done,
                        SteadyClock::time_point deadline) {
    for (;;) {
        if (done()) return true;
        if (shut_ || gone_ || SteadyClock::now() >= deadline) return false;
        if (receiving_) {
            rxChanged_.wait_until(lock, deadline);
            continue;
        }
        receiving_ = true;
        lock.unlock();
        const net::Ready ready = net::Wait(socket_, waker_, false, deadline);
        lock.lock();
        receiving_ = false;
        if (ready == net::Ready::Yes) ReceiveLocked();
        if (ready == net::Ready::Failed) gone_ = true;
        rxChanged_.notify_all();
        // The waker is set only to end every wait: an Open cut short, or the port shut.
        if (ready == net::Ready::Woken) return done();
    }
}

long NetworkPort::ReceiveLocked() {
    char chunk[kReceiveChunk];
    const long n = net::Receive(socket_, chunk, sizeof chunk);
    if (n < 0) gone_ = true;
    if (n <= 0) return n;
    if (rxAt_ == rx_.size()) {
        rx_.clear();
        rxAt_ = 0;
    }
    if (!telnet_) {
        rx_.append(chunk, static_cast<size_t>(n));
        return n;
    }
    std::string_view rest(chunk, static_cast<size_t>(n));
    std::string data;
    tn::Command command;
    for (;;) {
        const bool complete = decoder_.Next(rest, data, command);
        if (!purgePending_) rx_ += data;
        data.clear();
        if (!complete) break;
        HandleLocked(command);
    }
    return n;
}

void NetworkPort::HandleLocked(const tn::Command& command) {
    const uint8_t o = command.option;
    // The options we perform, and those we let the server perform; every other one is refused.
    const bool ours = o == tn::kComPort || o == tn::kBinary || o == tn::kSuppressGoAhead;
    const bool theirs = o == tn::kBinary || o == tn::kSuppressGoAhead;
    std::string reply;
    switch (command.verb) {
        case tn::kDo:
            if (!ours) {
                reply = tn::Negotiation(tn::kWont, o);
            } else {
                // A request we made ourselves is answered by it: no reply to the reply.
                if (local_[o] == Option::Off) reply = tn::Negotiation(tn::kWill, o);
                local_[o] = Option::On;
            }
            break;
        case tn::kDont:
            if (local_[o] == Option::On) reply = tn::Negotiation(tn::kWont, o);
            local_[o] = Option::Off;
            break;
        case tn::kWill:
            if (!theirs) {
                reply = tn::Negotiation(tn::kDont, o);
            } else {
                if (remote_[o] == Option::Off) reply = tn::Negotiation(tn::kDo, o);
                remote_[o] = Option::On;
            }
            break;
        case tn::kWont:
            if (remote_[o] == Option::On) reply = tn::Negotiation(tn::kDont, o);
            remote_[o] = Option::Off;
            break;
        case tn::kSb:
            if (o == tn::kComPort && !command.payload.empty()) {
                const auto code = static_cast<uint8_t>(command.payload[0]);
                const size_t request = code - tn::kServerAnswer;
                if (request == static_cast<size_t>(tn::ComRequest::PurgeData)) {
                    purgePending_ = false;
                } else if (code > tn::kServerAnswer && request < std::size(answers_)) {
                    answers_[request] = command.payload.substr(1);
                }
                // The line and modem state notifications tell nothing the link uses.
            }
            break;
    }
    if (!reply.empty()) SendAll(reply, SteadyClock::now() + milliseconds(kWriteConstantMs));
}

long NetworkPort::SendAll(const std::string& bytes, SteadyClock::time_point deadline) {
    std::lock_guard lock(txMutex_);
    size_t sent = 0;
    bool ended = false;  // the connection went, or the port was shut
    while (sent < bytes.size()) {
        const long n = net::Send(socket_, bytes.data() + sent, bytes.size() - sent);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0) {
            gone_ = true;
            ended = true;
            break;
        }
        const net::Ready ready = net::Wait(socket_, waker_, true, deadline);
        if (ready == net::Ready::Yes) continue;
        ended = ready != net::Ready::TimedOut;
        break;
    }
    return sent == 0 && ended ? -1 : static_cast<long>(sent);
}

void NetworkPort::Purge() {
    PortGate::Use use(gate_);
    if (!use) return;
    const auto deadline = SteadyClock::now() + milliseconds(kReadConstantMs + 1);
    std::unique_lock lock(rxMutex_);
    rx_.clear();
    rxAt_ = 0;
    if (telnet_) {
        // The server purges its receive buffer; what arrives before its answer was sent before it
        // purged, and is dropped. A server that once did not answer in time (one that does not
        // answer purges, or a slow link) is still asked, but not waited for again: then only what
        // has arrived is dropped.
        purgePending_ = !purgeUnanswered_;
        const std::string request = tn::ComPortRequest(
            tn::ComRequest::PurgeData, std::string(1, static_cast<char>(tn::kPurgeReceive)));
        if (SendAll(request, deadline) != static_cast<long>(request.size())) {
            purgePending_ = false;
            return;
        }
        if (purgePending_) {
            if (!Await(
                    lock, [this] { return !purgePending_; }, deadline) &&
                !shut_ && !gone_) {
                purgeUnanswered_ = true;
            }
            purgePending_ = false;
            return;
        }
    }
    // What waits now, and what keeps coming for at most one read time-out. While another thread
    // is receiving, what it brings in lands after this purge, as on a serial port.
    while (!receiving_ && SteadyClock::now() < deadline && ReceiveLocked() > 0) {
    }
    rx_.clear();
    rxAt_ = 0;
}

int NetworkPort::Write(const void* bytes, uint32_t count) {
    PortGate::Use use(gate_);
    // A server that has closed its side is gone, even though the system would still take a send.
    if (!use || gone_) return -1;
    if (count == 0) return 0;
    const auto deadline = SteadyClock::now() + milliseconds(count + kWriteConstantMs);
    const char* data = static_cast<const char*>(bytes);
    std::string encoded;
    if (telnet_) {
        tn::AppendEscaped(encoded, std::string_view(data, count));
    } else {
        encoded.assign(data, count);
    }
    const long sent = SendAll(encoded, deadline);
    if (sent < 0) return -1;
    // The caller's bytes that went out whole: a doubled 0xFF counts once both halves have left.
    size_t out = 0;
    uint32_t taken = 0;
    while (taken < count) {
        const size_t width = telnet_ && static_cast<uint8_t>(data[taken]) == tn::kIac ? 2 : 1;
        if (out + width > static_cast<size_t>(sent)) break;
        out += width;
        ++taken;
    }
    return static_cast<int>(taken);
}

int NetworkPort::Read(void* buffer, uint32_t count) {
    PortGate::Use use(gate_);
    if (!use) return -1;
    if (count == 0) return 0;
    const auto deadline = SteadyClock::now() + milliseconds(count + kReadConstantMs);
    char* out = static_cast<char*>(buffer);
    uint32_t done = 0;
    std::unique_lock lock(rxMutex_);
    while (done < count) {
        if (!Await(
                lock, [this] { return rxAt_ < rx_.size(); }, deadline))
            break;
        const size_t n = std::min<size_t>(count - done, rx_.size() - rxAt_);
        std::memcpy(out + done, rx_.data() + rxAt_, n);
        rxAt_ += n;
        done += static_cast<uint32_t>(n);
    }
    // A connection that has gone fails the read as a vanished device does.
    if (done == 0 && (shut_ || gone_)) return -1;
    return static_cast<int>(done);
}

}  // namespace karvex
