#include "link/poll_wait.h"

#include <cerrno>

namespace karvex {

namespace {

using SteadyClock = std::chrono::steady_clock;

int RemainingMs(SteadyClock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now())
            .count();
    // Round up so that a poll never returns a hair before the deadline and then loops once more.
    return left <= 0 ? 0 : static_cast<int>(left) + 1;
}

}  // namespace

Ready WaitReady(int fd, int wakeFd, short events, SteadyClock::time_point deadline, bool* hungUp) {
    for (;;) {
        pollfd fds[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
        const int n = poll(fds, 2, RemainingMs(deadline));
        if (n < 0) {
            if (errno == EINTR) continue;
            return Ready::Failed;
        }
        if (fds[1].revents != 0) return Ready::Woken;
        if (n == 0) {
            if (SteadyClock::now() >= deadline) return Ready::TimedOut;
            continue;
        }
        if (hungUp != nullptr) *hungUp = (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
        if (fds[0].revents & events) return Ready::Yes;
        // POLLHUP / POLLERR / POLLNVAL without the wanted event: the device is gone.
        return Ready::Failed;
    }
}

}  // namespace karvex
