// The board's thread and its public face. One thread owns the pseudo-terminal: it polls the master
// side and a wake-up eventfd, reads and records what the program sends, answers through the module
// and the behaviours, and writes the outgoing queue when each write falls due. Everything else
// talks to it under one mutex; closing and reopening the device is done by that thread alone, so
// no descriptor is closed while it is being polled.
#include "sim/board.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>

#include "sim/com_links.h"
#include "sim/command_reader.h"
#include "sim/module.h"
#include "sim/nmea.h"
#include "sim/outgoing.h"
#include "sim/pty_pair.h"

namespace karvex::sim {

namespace {
constexpr std::string_view kOkAndError = "\r\nOK ERROR\r\n";
constexpr size_t kReadSize = 4096;
}  // namespace

struct Board::Impl {
    enum class Request { Vanish, Reappear };

    mutable std::mutex mutex;
    mutable std::condition_variable changed;  // records grew, or a request was served

    // Owned by the thread; read by others under the mutex.
    PtyPair pty;
    uint64_t ptyGeneration = 0;  // counts every open and close of the pair
    bool vanished = false;
    bool writeBlocked = false;  // the last write met a full buffer: wait for POLLOUT

    Module module;
    CommandReader reader;
    OutQueue out;
    std::map<std::string, Behaviour> behaviours;
    ComLinks links;
    bool reading = true;

    bool gpsActive = false;
    bool gpsFixReported = false;
    Clock::time_point gpsNext{};
    milliseconds gpsInterval{1000};

    bool recording = true;
    std::vector<RxByte> rxBytes;
    std::string rxText;
    std::vector<RxCommand> commands;
    std::vector<TxChunk> sent;

    TrafficObserver observer;
    std::vector<std::pair<bool, std::string>> traffic;  // for the observer, outside the lock

    std::vector<Request> requests;
    uint64_t requested = 0;
    uint64_t served = 0;
    bool stop = false;
    bool running = true;  // false once the thread has left its loop
    int wakeFd = -1;
    std::thread thread;

    void Wake() const {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(wakeFd, &one, sizeof one);
    }
    void Run(Request request, std::unique_lock<std::mutex>& lock);
    void Loop();
    void Serve();
    void Close();
    void Open();
    void ReadMaster();
    void Handle(ReceivedCommand command, Clock::time_point now);
    Behaviour Match(const std::string& text);
    void SyncGps(Clock::time_point now);
    void TickGps(Clock::time_point now);
    void Flush();
    int Timeout(Clock::time_point now) const;
};

// Hands a request to the thread and waits until it was served.
void Board::Impl::Run(Request request, std::unique_lock<std::mutex>& lock) {
    requests.push_back(request);
    const uint64_t ticket = ++requested;
    if (!running) {
        Serve();  // the thread is gone: nobody else touches the descriptors now
        return;
    }
    Wake();
    changed.wait(lock, [&] { return served >= ticket; });
}

void Board::Impl::Serve() {
    for (Request request : requests) {
        switch (request) {
            case Request::Vanish:
                Close();
                break;
            case Request::Reappear:
                if (vanished) Open();
                break;
        }
        ++served;
    }
    requests.clear();
    changed.notify_all();
}

void Board::Impl::Close() {
    if (!pty.IsOpen()) return;
    ClosePtyPair(pty);
    ++ptyGeneration;
    vanished = true;
    writeBlocked = false;
    out.Clear();
    reader.Reset();
    // A message being typed is lost with the device; the module takes commands again.
    if (module.TakingText()) module.FinishText("", false, Clock::now());
}

void Board::Impl::Open() {
    std::string error;
    if (!OpenPtyPair(pty, error)) {
        std::fprintf(stderr, "karvex-board: %s\n", error.c_str());
        return;
    }
    ++ptyGeneration;
    vanished = false;
    links.Repoint(pty.path);
    if (gpsActive) gpsNext = Clock::now() + gpsInterval;
}

void Board::Impl::Loop() {
    std::unique_lock lock(mutex);
    while (!stop) {
        Serve();
        pollfd fds[3] = {{wakeFd, POLLIN, 0}, {pty.master, 0, 0}, {pty.closes, POLLIN, 0}};
        const nfds_t count = pty.IsOpen() ? 3 : 1;
        fds[1].events = static_cast<short>((reading ? POLLIN : 0) | (writeBlocked ? POLLOUT : 0));
        const uint64_t generation = ptyGeneration;
        const int timeout = Timeout(Clock::now());
        auto seen = std::move(traffic);
        traffic.clear();
        const TrafficObserver notify = observer;

        lock.unlock();
        if (notify) {
            for (const auto& [received, bytes] : seen) notify(received, bytes);
        }
        const int ready = poll(fds, count, timeout);
        lock.lock();

        if (ready < 0 && errno != EINTR) {
            std::perror("karvex-board: poll");
            break;
        }
        if (fds[0].revents & POLLIN) {
            uint64_t value;
            [[maybe_unused]] ssize_t n = read(wakeFd, &value, sizeof value);
        }
        if (stop) break;
        Serve();
        if (ready > 0 && count == 3 && generation == ptyGeneration) {
            if (fds[2].revents & POLLIN) ReleaseExclusive(pty);
            const short revents = fds[1].revents;
            if (revents & POLLOUT) writeBlocked = false;
            // Checked again here: reading may have been turned off while the thread polled.
            if ((revents & POLLIN) && reading) {
                ReadMaster();
            } else if (revents & (POLLHUP | POLLERR)) {
                Close();  // the device is gone under us; never poll a hung-up master again
            }
        }
        const auto now = Clock::now();
        TickGps(now);
        Flush();
    }
    running = false;
    Serve();  // nobody stays waiting for a request
}

int Board::Impl::Timeout(Clock::time_point now) const {
    std::optional<Clock::time_point> next;
    if (pty.IsOpen() && !writeBlocked) next = out.NextTime();
    if (pty.IsOpen() && gpsActive && !out.Holds(Outgoing::Origin::Gps)) {
        next = next ? std::min(*next, gpsNext) : gpsNext;
    }
    // Without a wake-up descriptor (eventfd failed) a bounded wait keeps the board responsive.
    const int longest = wakeFd >= 0 ? 1'000'000 : 100;
    if (!next) return wakeFd >= 0 ? -1 : longest;
    if (*next <= now) return 0;
    // Rounded up, so that the thread never wakes just before the time and spins on 0 ms polls.
    const auto wait = std::chrono::ceil<milliseconds>(*next - now).count();
    return static_cast<int>(std::min<long long>(wait, longest));
}

void Board::Impl::ReadMaster() {
    char buffer[kReadSize];
    const ssize_t n = read(pty.master, buffer, sizeof buffer);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n <= 0) {
        Close();
        return;
    }
    const auto at = Clock::now();
    const uint64_t generation = ptyGeneration;
    if (recording) {
        for (ssize_t i = 0; i < n; ++i) rxBytes.push_back({at, static_cast<uint8_t>(buffer[i])});
        rxText.append(buffer, static_cast<size_t>(n));
    }
    if (observer) traffic.emplace_back(true, std::string(buffer, static_cast<size_t>(n)));
    for (ssize_t i = 0; i < n && generation == ptyGeneration; ++i) {
        auto command = reader.Feed(static_cast<uint8_t>(buffer[i]), at, module.TakingText());
        if (command) Handle(std::move(*command), at);
    }
    changed.notify_all();
}

// The longest prefix with uses left wins; a counted behaviour uses one up.
Behaviour Board::Impl::Match(const std::string& text) {
    Behaviour* best = nullptr;
    size_t bestLength = 0;
    for (auto& [prefix, behaviour] : behaviours) {
        if (behaviour.times == 0 || text.compare(0, prefix.size(), prefix) != 0) continue;
        if (!best || prefix.size() > bestLength) {
            best = &behaviour;
            bestLength = prefix.size();
        }
    }
    if (!best) return {};
    if (best->times > 0) --best->times;
    return *best;
}

void Board::Impl::Handle(ReceivedCommand command, Clock::time_point now) {
    if (recording) commands.push_back({command.at, command.text});
    const Behaviour behaviour = Match(command.text);
    if (behaviour.kind == Behaviour::Kind::Vanish) {
        Close();
        return;
    }
    const bool isText = command.end != ReceivedCommand::End::Cr;
    const bool echo = module.Echo();  // as it was when the command arrived (ATE0 is echoed)
    Response response;
    switch (behaviour.kind) {
        case Behaviour::Kind::Normal:
            response = isText ? module.FinishText(command.Body(),
                                                  command.end == ReceivedCommand::End::Send, now)
                              : module.Execute(command.text, now);
            break;
        case Behaviour::Kind::Reply:
            response.reply = behaviour.reply;
            break;
        case Behaviour::Kind::Silent:
            break;
        case Behaviour::Kind::Error:
            response.reply = kError;
            break;
        case Behaviour::Kind::OkAndError:
            response.reply = kOkAndError;
            break;
        case Behaviour::Kind::Vanish:
            return;
    }
    // A replaced answer means the module did not take the message either.
    if (isText && behaviour.kind != Behaviour::Kind::Normal) module.FinishText("", false, now);

    std::string answer;
    if (echo) answer = isText ? command.Body() : command.text + "\r";
    answer += behaviour.before + response.reply + behaviour.after;
    const auto start = now + behaviour.delay;
    const auto end =
        start + behaviour.perByte * static_cast<int>(answer.empty() ? 0 : answer.size() - 1);
    out.Push({start, std::move(answer), behaviour.perByte, Outgoing::Origin::Answer});
    for (Deferred& later : response.later) {
        out.Push({end + later.after, std::move(later.bytes), milliseconds{0},
                  Outgoing::Origin::Unsolicited});
    }
    SyncGps(now);
}

void Board::Impl::SyncGps(Clock::time_point now) {
    if (module.GpsRunning() && !gpsActive) {
        gpsActive = true;
        gpsFixReported = false;
        gpsNext = now + gpsInterval;
    } else if (!module.GpsRunning() && gpsActive) {
        gpsActive = false;
        out.Drop(Outgoing::Origin::Gps);
    }
}

// One sentence at a time: the next is made only when the last has gone out, so a program that
// does not read never makes sentences pile up.
void Board::Impl::TickGps(Clock::time_point now) {
    if (!gpsActive || !pty.IsOpen() || now < gpsNext || out.Holds(Outgoing::Origin::Gps)) return;
    std::string bytes = gpsFixReported ? "" : Line("+GPSEVPOS: 3");
    gpsFixReported = true;
    bytes += Line(GgaSentence(std::chrono::system_clock::now()));
    out.Push({now, std::move(bytes), milliseconds{0}, Outgoing::Origin::Gps});
    gpsNext = now + gpsInterval;
}

void Board::Impl::Flush() {
    while (pty.IsOpen() && !writeBlocked) {
        const std::string_view bytes = out.Next(Clock::now());
        if (bytes.empty()) return;
        // Stamped before the write: the program cannot have any of these bytes earlier.
        const auto at = Clock::now();
        const ssize_t n = write(pty.master, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN) {
                writeBlocked = true;
            } else {
                Close();
            }
            return;
        }
        const std::string chunk(bytes.substr(0, static_cast<size_t>(n)));
        if (recording) sent.push_back({at, chunk});
        if (observer) traffic.emplace_back(false, chunk);
        out.Written(static_cast<size_t>(n), at);
        changed.notify_all();
        // A GPS sentence just went out: the next one may be due already (interval 0).
        TickGps(at);
    }
}

Board::Board() : impl_(std::make_unique<Impl>()) {
    Impl& d = *impl_;
    d.wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    std::string error;
    if (!OpenPtyPair(d.pty, error)) {
        std::fprintf(stderr, "karvex-board: %s\n", error.c_str());
        d.vanished = true;
    }
    d.thread = std::thread([&d] { d.Loop(); });
}

Board::~Board() {
    Impl& d = *impl_;
    {
        std::lock_guard lock(d.mutex);
        d.stop = true;
        d.Wake();
    }
    d.thread.join();
    ClosePtyPair(d.pty);
    d.links.RemoveAll();
    if (d.wakeFd >= 0) close(d.wakeFd);
}

std::string Board::DevicePath() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->pty.path;
}

bool Board::LinkCom(const std::string& dir, int n) {
    std::lock_guard lock(impl_->mutex);
    return impl_->links.Place(dir, n, impl_->pty.path);
}

void Board::SetBehaviour(const std::string& commandPrefix, Behaviour behaviour) {
    std::lock_guard lock(impl_->mutex);
    impl_->behaviours[commandPrefix] = std::move(behaviour);
}

void Board::ClearBehaviours() {
    std::lock_guard lock(impl_->mutex);
    impl_->behaviours.clear();
}

void Board::Send(std::string_view bytes) {
    std::lock_guard lock(impl_->mutex);
    if (!impl_->pty.IsOpen()) return;  // nobody to hear it
    impl_->out.Push(
        {Clock::now(), std::string(bytes), milliseconds{0}, Outgoing::Origin::Unsolicited});
    impl_->Wake();
}

void Board::SetReading(bool reading) {
    std::lock_guard lock(impl_->mutex);
    impl_->reading = reading;
    impl_->Wake();
}

void Board::Vanish() {
    std::unique_lock lock(impl_->mutex);
    impl_->Run(Impl::Request::Vanish, lock);
}

void Board::Reappear() {
    std::unique_lock lock(impl_->mutex);
    impl_->Run(Impl::Request::Reappear, lock);
}

bool Board::Vanished() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->vanished;
}

std::vector<RxByte> Board::ReceivedBytes() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->rxBytes;
}

std::string Board::Received() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->rxText;
}

std::vector<RxCommand> Board::Commands() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->commands;
}

std::vector<TxChunk> Board::Sent() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->sent;
}

void Board::ClearRecords() {
    std::lock_guard lock(impl_->mutex);
    impl_->rxBytes.clear();
    impl_->rxText.clear();
    impl_->commands.clear();
    impl_->sent.clear();
}

bool Board::WaitForReceived(std::string_view needle, milliseconds timeout) const {
    std::unique_lock lock(impl_->mutex);
    return impl_->changed.wait_for(lock, timeout,
                                   [&] { return impl_->rxText.find(needle) != std::string::npos; });
}

bool Board::WaitForCommands(size_t n, milliseconds timeout) const {
    std::unique_lock lock(impl_->mutex);
    return impl_->changed.wait_for(lock, timeout, [&] { return impl_->commands.size() >= n; });
}

bool Board::Echo() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->module.Echo();
}

std::string Board::ClockValue() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->module.ClockValue(Clock::now());
}

void Board::SetTimeLine(std::string line) {
    std::lock_guard lock(impl_->mutex);
    impl_->module.SetTimeLine(std::move(line));
}

std::string Board::OwnNumber() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->module.OwnNumber();
}

size_t Board::StoredMessages() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->module.StoredMessages();
}

bool Board::GpsRunning() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->module.GpsRunning();
}

void Board::SetGpsInterval(milliseconds interval) {
    std::lock_guard lock(impl_->mutex);
    impl_->gpsInterval = interval < milliseconds{0} ? milliseconds{0} : interval;
    if (impl_->gpsActive) impl_->gpsNext = Clock::now() + impl_->gpsInterval;
    impl_->Wake();
}

void Board::SetNetworkDelay(milliseconds delay) {
    std::lock_guard lock(impl_->mutex);
    impl_->module.SetNetworkDelay(delay);
}

void Board::SetObserver(TrafficObserver observer) {
    std::lock_guard lock(impl_->mutex);
    impl_->observer = std::move(observer);
}

void Board::SetRecording(bool recording) {
    std::lock_guard lock(impl_->mutex);
    impl_->recording = recording;
}

}  // namespace karvex::sim
