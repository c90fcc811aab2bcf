// The executable's path on Linux: /proc/self/exe.
#include <sys/stat.h>
#include <unistd.h>

#include "link/program_path.h"

namespace karvex {

std::string ExecutablePath() {
    std::string path(256, '\0');
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
        if (n < 0) return {};
        if (static_cast<size_t>(n) < path.size()) {
            path.resize(static_cast<size_t>(n));
            break;
        }
        // The path may have been cut off: try again with room to spare.
        path.resize(path.size() * 2);
    }
    // When the executable was replaced while it runs (a rebuild, an update), the kernel reports
    // the old file as "<path> (deleted)"; what belongs beside it belongs beside the path as it
    // now stands.
    constexpr std::string_view kDeleted = " (deleted)";
    struct stat st {};
    if (std::string_view(path).ends_with(kDeleted) && lstat(path.c_str(), &st) != 0) {
        path.resize(path.size() - kDeleted.size());
    }
    return path;
}

}  // namespace karvex
