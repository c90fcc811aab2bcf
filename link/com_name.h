// COM port names as the program writes them: \\.\COMn, n from 1 on.
#pragma once

#include <cctype>
#include <string>
#include <string_view>

namespace karvex {

// The device-namespace prefix: backslash, backslash, full stop, backslash.
inline constexpr std::string_view kDevicePrefix = "\\\\.\\";

// The n of "COMn" (any case; 1..99 as the drop-down offers, any positive number accepted), or 0.
inline int ComNumber(std::string_view name) {
    if (name.size() < 4 || name.size() > 6) return 0;
    for (size_t i = 0; i < 3; ++i) {
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return 0;
    }
    int n = 0;
    for (const char c : name.substr(3)) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
        n = n * 10 + (c - '0');
    }
    return n;
}

// "COMn", as the drop-down and karvex-run name the port.
inline std::string ComName(int n) {
    return "COM" + std::to_string(n);
}

// "\\.\COMn": what the program opens for COM port n.
inline std::string ComDevicePath(int n) {
    return std::string(kDevicePrefix) + ComName(n);
}

}  // namespace karvex
