// Waiting on a descriptor with poll() and a wake-up descriptor beside it, until a deadline on the
// monotonic clock: what the serial port and the network port's sockets share on POSIX systems.
#pragma once

#include <poll.h>

#include <chrono>

namespace karvex {

enum class Ready { Yes, TimedOut, Woken, Failed };

// Waits for `events` on `fd`, or the wake-up descriptor, until `deadline`. `hungUp` tells
// whether the device reported a hang-up or an error along with readiness (a vanished device
// stays readable, and its reads then give nothing).
Ready WaitReady(int fd, int wakeFd, short events, std::chrono::steady_clock::time_point deadline,
                bool* hungUp = nullptr);

}  // namespace karvex
