// Name resolution for the network port: getaddrinfo, which POSIX systems and Winsock share.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <sys/socket.h>
#endif

#include <cstring>

#include "link/net_socket.h"

namespace karvex::net {

std::vector<Endpoint> Resolve(const std::string& host, uint16_t port, std::string& error) {
    std::vector<Endpoint> endpoints;
    if (!Startup()) {
        error = "sockets are not available";
        return endpoints;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int status = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (status != 0) {
        error = ResolveErrorText(status);
        return endpoints;
    }
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        Endpoint e;
        if (a->ai_addrlen > sizeof e.address) continue;
        std::memcpy(e.address, a->ai_addr, a->ai_addrlen);
        e.length = static_cast<int>(a->ai_addrlen);
        e.family = a->ai_family;
        endpoints.push_back(e);
    }
    freeaddrinfo(found);
    return endpoints;
}

}  // namespace karvex::net
