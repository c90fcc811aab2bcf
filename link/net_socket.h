// The little of TCP sockets the network port needs, over POSIX sockets (net_socket_posix.cpp) or
// Winsock (net_socket_win.cpp): one file per platform behind these functions. Every socket is
// non-blocking; every wait also ends when the port's waker is set.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace karvex::net {

#ifdef _WIN32
using Socket = uintptr_t;  // SOCKET
inline constexpr Socket kNoSocket = ~static_cast<uintptr_t>(0);
#else
using Socket = int;
inline constexpr Socket kNoSocket = -1;
#endif
using SteadyClock = std::chrono::steady_clock;

// One address to connect to, as the resolver gave it.
struct Endpoint {
    alignas(8) unsigned char address[128];  // a sockaddr of `length` bytes
    int length = 0;
    int family = 0;
};

// Once per process before any other call (Winsock); true when sockets can be used.
bool Startup();

// The addresses of `host` (a name or a numeric address) at `port`, in the resolver's order. Blocks
// as long as the resolver does: callers bound it. Empty, with `error` set, when there is none.
// (net_resolve.cpp: getaddrinfo is the same on both platforms.)
std::vector<Endpoint> Resolve(const std::string& host, uint16_t port, std::string& error);
// getaddrinfo's failure `status` in words.
std::string ResolveErrorText(int status);

// A waker: once set it stays set, so every wait in progress or to come returns at once.
Socket MakeWaker();
void SetWaker(Socket waker);
void CloseSocket(Socket socket);

// Connects to `to` before `deadline`, unless the waker is set first. The connected socket, with
// TCP_NODELAY and keepalive on, or kNoSocket with `error` set.
Socket Connect(const Endpoint& to, SteadyClock::time_point deadline, Socket waker,
               std::string& error);

enum class Ready { Yes, TimedOut, Woken, Failed };
// Waits until `socket` can be read (or written, `forWrite`), the waker is set, or `deadline`.
Ready Wait(Socket socket, Socket waker, bool forWrite, SteadyClock::time_point deadline);

// One non-blocking send: the count sent (0 when the socket takes nothing now), or -1 when the
// connection has gone (closed, reset, timed out by keepalive).
long Send(Socket socket, const char* bytes, size_t count);
// One non-blocking receive: the count received (0 when nothing waits now), or -1 when the
// connection has gone: the peer closed or reset it.
long Receive(Socket socket, char* buffer, size_t count);

}  // namespace karvex::net
