#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "link/net_socket.h"
#include "link/poll_wait.h"

namespace karvex::net {

namespace {

// A peer that vanishes without a word (power cut, cable pulled) is found within about 11 s by
// keepalive when idle, and within 10 s when data we sent stays unacknowledged.
constexpr int kKeepIdleS = 5;
constexpr int kKeepIntervalS = 2;
constexpr int kKeepCount = 3;
constexpr unsigned kUnackedMs = 10000;

void Tune(int s) {
    const int on = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    setsockopt(s, IPPROTO_TCP, TCP_KEEPIDLE, &kKeepIdleS, sizeof kKeepIdleS);
    setsockopt(s, IPPROTO_TCP, TCP_KEEPINTVL, &kKeepIntervalS, sizeof kKeepIntervalS);
    setsockopt(s, IPPROTO_TCP, TCP_KEEPCNT, &kKeepCount, sizeof kKeepCount);
    setsockopt(s, IPPROTO_TCP, TCP_USER_TIMEOUT, &kUnackedMs, sizeof kUnackedMs);
}

}  // namespace

bool Startup() {
    return true;
}

std::string ResolveErrorText(int status) {
    return gai_strerror(status);
}

Socket MakeWaker() {
    return eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

void SetWaker(Socket waker) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(waker, &one, sizeof one);
}

void CloseSocket(Socket socket) {
    // No linger: what is still unsent leaves in the background, the close itself never waits.
    if (socket >= 0) ::close(socket);
}

Socket Connect(const Endpoint& to, SteadyClock::time_point deadline, Socket waker,
               std::string& error) {
    const int s = ::socket(to.family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (s < 0) {
        error = std::strerror(errno);
        return kNoSocket;
    }
    if (::connect(s, reinterpret_cast<const sockaddr*>(to.address),
                  static_cast<socklen_t>(to.length)) != 0 &&
        errno != EINPROGRESS) {
        error = std::strerror(errno);
        ::close(s);
        return kNoSocket;
    }
    int result = 0;
    socklen_t length = sizeof result;
    switch (Wait(s, waker, true, deadline)) {
        case Ready::Yes:
            if (getsockopt(s, SOL_SOCKET, SO_ERROR, &result, &length) != 0) result = errno;
            break;
        case Ready::TimedOut:
            result = ETIMEDOUT;
            break;
        case Ready::Woken:
        case Ready::Failed:
            result = ECANCELED;
            break;
    }
    if (result != 0) {
        error = std::strerror(result);
        ::close(s);
        return kNoSocket;
    }
    Tune(s);
    return s;
}

Ready Wait(Socket socket, Socket waker, bool forWrite, SteadyClock::time_point deadline) {
    switch (WaitReady(socket, waker, forWrite ? POLLOUT : POLLIN, deadline)) {
        case karvex::Ready::Yes:
            return Ready::Yes;
        case karvex::Ready::TimedOut:
            return Ready::TimedOut;
        case karvex::Ready::Woken:
            return Ready::Woken;
        case karvex::Ready::Failed:
            break;
    }
    // A reset or a refused connection without the wanted event: the receive, the send or the
    // connect's own error that follows tells what happened.
    return Ready::Yes;
}

long Send(Socket socket, const char* bytes, size_t count) {
    for (;;) {
        // MSG_NOSIGNAL: a connection the peer has closed fails the send, it does not end us.
        const ssize_t n = ::send(socket, bytes, count, MSG_NOSIGNAL);
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    }
}

long Receive(Socket socket, char* buffer, size_t count) {
    for (;;) {
        const ssize_t n = ::recv(socket, buffer, count, 0);
        if (n > 0) return static_cast<long>(n);
        if (n == 0) return -1;  // the peer closed the connection
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    }
}

}  // namespace karvex::net
