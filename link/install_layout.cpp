#include "link/install_layout.h"

#include "link/program_path.h"
#include "link/program_places.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

namespace karvex {

namespace {

bool IsDir(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string HomeDir() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        return home;
    }
    struct passwd entry {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && found->pw_dir[0] == '/') {
        return found->pw_dir;
    }
    return {};
}

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// <root> when `exeDir` is <root>/build/<preset>/<folder> of a checkout (one holding CMakeLists.txt
// and scripts/attach-board.sh), else empty.
std::string CheckoutRoot(const std::string& exeDir) {
    const std::filesystem::path build =
        std::filesystem::path(WithoutTrailingSlashes(exeDir)).parent_path().parent_path();
    const std::string root = build.parent_path().string();
    if (build.filename() != "build" || root.empty() || !IsFile(root + "/CMakeLists.txt") ||
        !IsFile(root + "/scripts/attach-board.sh")) {
        return {};
    }
    return root;
}

}  // namespace

bool IsInstalledLayout(const std::string& exeDir) {
    const std::string dir = WithoutTrailingSlashes(exeDir);
    constexpr std::string_view kBin = "/bin";
    if (!dir.ends_with(kBin)) return false;
    const std::string prefix = dir.substr(0, dir.size() - kBin.size());
    return IsDir(prefix + "/" + kInstalledDataDir);
}

std::string UserConfigDir() {
    // Relative values are invalid and ignored, as the base-directory convention asks.
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
        return WithoutTrailingSlashes(xdg) + "/karvex";
    }
    const std::string home = HomeDir();
    if (home.empty()) return {};
    return WithoutTrailingSlashes(home) + "/.config/karvex";
}

ProgramLayout LayoutOf(const std::string& exeDir, const std::string& baseName) {
    ProgramLayout layout;
    layout.exeDir = exeDir;
    layout.baseName = baseName;
    layout.installed = IsInstalledLayout(exeDir);
    if (!exeDir.empty()) layout.checkoutRoot = CheckoutRoot(exeDir);
    layout.userDir = UserConfigDir();
    return layout;
}

bool MakePrivateDirs(const std::string& dir) {
    if (dir.empty()) return false;
    if (IsDir(dir)) return true;
    const size_t slash = dir.find_last_not_of('/') == std::string::npos
                             ? std::string::npos
                             : dir.rfind('/', dir.find_last_not_of('/'));
    if (slash != std::string::npos && slash > 0 && !MakePrivateDirs(dir.substr(0, slash))) {
        return false;
    }
    // Another process may create it at the same moment; what counts is that it is a folder now.
    return (mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST) && IsDir(dir);
}

}  // namespace karvex
