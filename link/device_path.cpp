#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <system_error>

#include "link/com_name.h"
#include "link/network_address.h"
#include "link/program_path.h"
#include "link/program_places.h"
#include "link/serial_port.h"

namespace karvex {

namespace {
// A COM link may name a board on another machine instead of a device: its text is then a network
// address (rfc2217://host:port), which is what the link resolves to. Otherwise the link itself.
std::string NetworkTargetOr(const std::string& link) {
    std::string text(4096, '\0');
    const ssize_t n = readlink(link.c_str(), text.data(), text.size());
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return IsNetworkName(text) ? text : link;
}
}  // namespace

std::string ResolveDevicePath(const std::string& path, const std::string& exeDir) {
    const std::string_view view(path);
    if (!view.starts_with(kDevicePrefix)) return path;
    const int n = ComNumber(view.substr(kDevicePrefix.size()));
    if (n <= 0) return {};  // the bare prefix, or a name that is no COM port
    for (const std::string& dir : ComLinkDirs(exeDir)) {
        const std::string link = dir + "/dosdevices/com" + std::to_string(n);
        // The first link found decides even when it dangles (its board has gone): opening it
        // then fails rather than reaching a different device.
        struct stat st {};
        if (lstat(link.c_str(), &st) == 0) return NetworkTargetOr(link);
    }
    return "/dev/ttyS" + std::to_string(n - 1);
}

std::string ResolvePortName(const std::string& name) {
    return ResolveDevicePath(name, ExecutableDir());
}

}  // namespace karvex
