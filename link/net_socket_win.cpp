// The network port's sockets over Winsock. Waits are select() on the socket and the waker, a UDP
// socket on 127.0.0.1 connected to itself: setting it sends it one datagram, which is never read,
// so it stays readable for good.
#include <winsock2.h>
#include <ws2tcpip.h>
// winsock2.h first: mstcpip.h needs its types.
#include <mstcpip.h>
#include <windows.h>

#include <cstring>

#include "link/net_socket.h"
#include "link/utf16_win.h"

namespace karvex::net {

namespace {

// As on Linux: an idle peer that vanished is found by keepalive within about 25 s (Windows sends
// ten probes).
constexpr ULONG kKeepIdleMs = 5000;
constexpr ULONG kKeepIntervalMs = 2000;

bool Started() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

std::string ErrorText(int code) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = n > 0 && text != nullptr ? std::wstring(text, n) : std::wstring();
    if (text != nullptr) LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L'.' || message.back() == L' ')) {
        message.pop_back();
    }
    return message.empty() ? "Winsock error " + std::to_string(code) : Utf8FromUtf16(message);
}

bool NonBlocking(SOCKET s) {
    u_long on = 1;
    // Not inherited by the programs we start.
    SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    return ioctlsocket(s, FIONBIO, &on) == 0;
}

void Tune(SOCKET s) {
    const BOOL on = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof on);
    tcp_keepalive keepalive{1, kKeepIdleMs, kKeepIntervalMs};
    DWORD returned = 0;
    WSAIoctl(s, SIO_KEEPALIVE_VALS, &keepalive, sizeof keepalive, nullptr, 0, &returned, nullptr,
             nullptr);
}

}  // namespace

bool Startup() {
    return Started();
}

std::string ResolveErrorText(int status) {
    return ErrorText(status);
}

Socket MakeWaker() {
    if (!Started()) return kNoSocket;
    const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) return kNoSocket;
    sockaddr_in self{};
    self.sin_family = AF_INET;
    self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof self;
    if (!NonBlocking(s) || bind(s, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&self), &length) != 0 ||
        connect(s, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0) {
        closesocket(s);
        return kNoSocket;
    }
    return s;
}

void SetWaker(Socket waker) {
    const char one = 1;
    send(waker, &one, 1, 0);
}

void CloseSocket(Socket socket) {
    // No linger: what is still unsent leaves in the background, the close itself never waits.
    if (socket != kNoSocket) closesocket(socket);
}

Socket Connect(const Endpoint& to, SteadyClock::time_point deadline, Socket waker,
               std::string& error) {
    const SOCKET s = socket(to.family, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        error = ErrorText(WSAGetLastError());
        return kNoSocket;
    }
    if (!NonBlocking(s)) {
        error = ErrorText(WSAGetLastError());
        closesocket(s);
        return kNoSocket;
    }
    int result = 0;
    if (connect(s, reinterpret_cast<const sockaddr*>(to.address), to.length) != 0) {
        result = WSAGetLastError();
        if (result == WSAEWOULDBLOCK) {
            result = 0;
            int length = sizeof result;
            switch (Wait(s, waker, true, deadline)) {
                case Ready::Yes:
                    if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&result),
                                   &length) != 0) {
                        result = WSAGetLastError();
                    }
                    break;
                case Ready::TimedOut:
                    result = WSAETIMEDOUT;
                    break;
                case Ready::Woken:
                case Ready::Failed:
                    result = WSAECONNABORTED;
                    break;
            }
        }
    }
    if (result != 0) {
        error = ErrorText(result);
        closesocket(s);
        return kNoSocket;
    }
    Tune(s);
    return s;
}

Ready Wait(Socket socket, Socket waker, bool forWrite, SteadyClock::time_point deadline) {
    for (;;) {
        fd_set readable, writable, failed;
        FD_ZERO(&readable);
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(waker, &readable);
        FD_SET(socket, forWrite ? &writable : &readable);
        FD_SET(socket, &failed);  // a connect that failed shows only here
        const auto left =
            std::chrono::duration_cast<std::chrono::microseconds>(deadline - SteadyClock::now())
                .count();
        // Rounded up to a whole millisecond, so that a wait never ends a hair before the deadline.
        const long long us = left <= 0 ? 0 : (left / 1000 + 1) * 1000;
        timeval timeout{static_cast<long>(us / 1000000), static_cast<long>(us % 1000000)};
        const int n = select(0, &readable, &writable, &failed, &timeout);
        if (n == SOCKET_ERROR) return Ready::Failed;
        if (FD_ISSET(waker, &readable)) return Ready::Woken;
        if (n > 0) return Ready::Yes;
        if (SteadyClock::now() >= deadline) return Ready::TimedOut;
    }
}

long Send(Socket socket, const char* bytes, size_t count) {
    const int n = send(socket, bytes, static_cast<int>(count), 0);
    if (n != SOCKET_ERROR) return n;
    return WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
}

long Receive(Socket socket, char* buffer, size_t count) {
    const int n = recv(socket, buffer, static_cast<int>(count), 0);
    if (n > 0) return n;
    if (n == 0) return -1;  // the peer closed the connection
    return WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
}

}  // namespace karvex::net
