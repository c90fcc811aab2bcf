// COM port names on Windows. \\.\COMn is the system's own port, unless a file ports.ini names a
// board on another machine for it, one line per port:
//
//   ; boards on other machines
//   COM5=rfc2217://bench7:4001
//   COM6=tcp://bench8:4002
//
// Notepad is enough to write it; karvex.exe and karvex-run.exe read the same file: the one beside
// them, then, for an installed copy, the one in the user's folder (ComLinkDirs).
// The link's headers before windows.h, whose E_FAIL macro would hide the link's constant.
#include "link/com_name.h"
#include "link/network_address.h"
#include "link/program_path.h"
#include "link/program_places.h"
#include "link/serial_port.h"
#include "link/utf16_win.h"
// (keeps this order)
#include <windows.h>

#include <cstdio>
#include <string>

namespace karvex {

namespace {

std::string_view Trimmed(std::string_view text) {
    constexpr std::string_view kBlank = " \t\r\n";
    const size_t first = text.find_first_not_of(kBlank);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlank) - first + 1);
}

// The address the line COMn=... of the ports file `file` (UTF-8) gives; empty when it gives none.
std::string AddressIn(const std::string& file, int n) {
    FILE* in = _wfopen(Utf16FromUtf8(file).c_str(), L"rb");
    if (in == nullptr) return {};
    std::string found;
    char buffer[1024];
    while (found.empty() && std::fgets(buffer, sizeof buffer, in) != nullptr) {
        const std::string_view line = Trimmed(buffer);
        const size_t equals = line.find('=');
        if (line.empty() || line[0] == ';' || line[0] == '#' || equals == std::string_view::npos) {
            continue;
        }
        if (ComNumber(Trimmed(line.substr(0, equals))) != n) continue;
        // Only boards on other machines are named here; any other value leaves the port as it is.
        const std::string_view value = Trimmed(line.substr(equals + 1));
        if (IsNetworkName(value)) found.assign(value);
    }
    std::fclose(in);
    return found;
}

}  // namespace

std::string ResolveDevicePath(const std::string& path, const std::string& exeDir) {
    const std::string_view view(path);
    if (!view.starts_with(kDevicePrefix) || exeDir.empty()) return path;
    const int n = ComNumber(view.substr(kDevicePrefix.size()));
    if (n <= 0) return path;
    for (const std::string& dir : ComLinkDirs(exeDir)) {
        if (std::string found = AddressIn(JoinPath(dir, kPortsFile), n); !found.empty()) {
            return found;
        }
    }
    return path;
}

std::string ResolvePortName(const std::string& name) {
    return ResolveDevicePath(name, ExecutableDir());
}

}  // namespace karvex
