#include "sim/com_links.h"

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <system_error>

namespace karvex::sim {

namespace fs = std::filesystem;

bool ComLinks::Replace(const std::string& path, const std::string& target) {
    // A link under a temporary name, renamed over the old one: whoever resolves the name sees
    // either the old device or the new one, never no link at all.
    static std::atomic<unsigned> counter{0};
    const fs::path final(path);
    const fs::path temp = final.parent_path() /
                          ("." + final.filename().string() + ".tmp." + std::to_string(getpid()) +
                           "." + std::to_string(counter.fetch_add(1)));
    std::error_code ec;
    fs::remove(temp, ec);
    if (symlink(target.c_str(), temp.c_str()) != 0) return false;
    if (rename(temp.c_str(), final.c_str()) != 0) {
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

bool ComLinks::Place(const std::string& dir, int n, const std::string& target) {
    if (dir.empty() || n < 1 || target.empty()) return false;
    const fs::path folder = fs::path(dir) / "dosdevices";
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) return false;
    const std::string path = (folder / ("com" + std::to_string(n))).string();
    if (!Replace(path, target)) return false;
    for (Link& link : links_) {
        if (link.path == path) {
            link.target = target;
            return true;
        }
    }
    links_.push_back({path, target});
    return true;
}

void ComLinks::Repoint(const std::string& target) {
    for (Link& link : links_) {
        if (Replace(link.path, target)) link.target = target;
    }
}

void ComLinks::RemoveAll() {
    for (const Link& link : links_) {
        std::error_code ec;
        if (fs::read_symlink(link.path, ec) == fs::path(link.target) && !ec) {
            fs::remove(link.path, ec);
        }
    }
    links_.clear();
}

}  // namespace karvex::sim
