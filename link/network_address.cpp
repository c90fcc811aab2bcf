#include "link/network_address.h"

#include <cctype>

namespace karvex {

namespace {

constexpr std::string_view kSeparator = "://";

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    }
    return true;
}

// 1..65535 written in decimal digits alone, or 0.
uint16_t PortNumber(std::string_view text) {
    if (text.empty() || text.size() > 5) return 0;
    unsigned value = 0;
    for (const char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value <= 65535 ? static_cast<uint16_t>(value) : 0;
}

bool ValidHost(std::string_view host) {
    if (host.empty()) return false;
    for (const char c : host) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= ' ' || u >= 0x7F || c == '/' || c == '@' || c == '[' || c == ']') return false;
    }
    return true;
}

}  // namespace

bool IsNetworkName(std::string_view name) {
    const size_t at = name.find(kSeparator);
    if (at == std::string_view::npos || at == 0) return false;
    for (const char c : name.substr(0, at)) {
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

std::optional<NetworkAddress> ParseNetworkAddress(std::string_view name) {
    NetworkAddress address;
    if (StartsWithNoCase(name, "rfc2217://")) {
        address.protocol = NetworkAddress::Protocol::Rfc2217;
    } else if (StartsWithNoCase(name, "tcp://")) {
        address.protocol = NetworkAddress::Protocol::RawTcp;
    } else {
        return std::nullopt;
    }
    std::string_view rest = name.substr(name.find(kSeparator) + kSeparator.size());
    const size_t colon = rest.rfind(':');
    if (colon == std::string_view::npos) return std::nullopt;
    std::string_view host = rest.substr(0, colon);
    address.port = PortNumber(rest.substr(colon + 1));
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);  // an IPv6 address, whose colons need the brackets
    } else if (host.find(':') != std::string_view::npos) {
        return std::nullopt;
    }
    if (address.port == 0 || !ValidHost(host)) return std::nullopt;
    address.host.assign(host);
    return address;
}

}  // namespace karvex
