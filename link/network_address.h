// Names of boards on other machines: rfc2217://host:port (telnet with the COM port option) and
// tcp://host:port (the raw byte stream). The host is a name, an IPv4 address or [an IPv6 one].
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace karvex {

struct NetworkAddress {
    enum class Protocol { Rfc2217, RawTcp };
    Protocol protocol = Protocol::Rfc2217;
    std::string host;  // without the brackets of an IPv6 address
    uint16_t port = 0;
};

// True for every name of the form scheme://..., well formed or not: such a name is never a
// device path, so it is never opened as one.
bool IsNetworkName(std::string_view name);

// The parts of a well-formed address; nothing for any other name (an unknown scheme, no host, a
// port outside 1..65535, anything after the port).
std::optional<NetworkAddress> ParseNetworkAddress(std::string_view name);

}  // namespace karvex
