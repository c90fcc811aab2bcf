#include "link/port_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>

namespace karvex {

namespace {

constexpr const char* kDefaultLockDir = "/run/lock";
constexpr int kTakeAttempts = 3;  // a stale lock removed by another program at the same moment

// The PID a lock file names, 0 when it names none (unreadable, empty or not a number). Only the
// ASCII form is read: the old binary form is long out of use and counts as stale.
long LockOwner(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return 0;
    char text[32] = {};
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0) return 0;
    char* end = nullptr;
    const long pid = std::strtol(text, &end, 10);
    return (end == text || pid <= 0) ? 0 : pid;
}

bool ProcessLives(long pid) {
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// Writes our lock beside `path` and links it in place: the link fails when a lock appeared in
// the meantime, so two programs never both believe they hold the port.
enum class Take { Taken, Exists, Unwritable };
Take TryTake(const std::string& path) {
    char content[16];
    const int len = std::snprintf(content, sizeof content, "%10ld\n", static_cast<long>(getpid()));
    const std::string temp = path + ".karvex." + std::to_string(getpid());
    const int fd =
        ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) return Take::Unwritable;
    const bool written = ::write(fd, content, static_cast<size_t>(len)) == len;
    ::fchmod(fd, 0644);  // readable by every program that checks it, whatever our umask
    ::close(fd);
    if (!written) {
        ::unlink(temp.c_str());
        return Take::Unwritable;
    }
    const int linked = ::link(temp.c_str(), path.c_str());
    const int linkError = errno;
    ::unlink(temp.c_str());
    if (linked == 0) return Take::Taken;
    return linkError == EEXIST ? Take::Exists : Take::Unwritable;
}

}  // namespace

std::string LockDirectory() {
    const char* dir = std::getenv("KARVEX_LOCK_DIR");
    return dir != nullptr && *dir != '\0' ? dir : kDefaultLockDir;
}

std::string LockFileName(const std::string& devicePath) {
    std::error_code ec;
    std::string real = std::filesystem::canonical(devicePath, ec).string();
    if (ec) real = devicePath;
    constexpr std::string_view kDev = "/dev/";
    std::string name;
    if (std::string_view(real).starts_with(kDev)) {
        name = real.substr(kDev.size());
        for (char& c : name) {
            if (c == '/') c = '_';
        }
    } else {
        const size_t slash = real.rfind('/');
        name = slash == std::string::npos ? real : real.substr(slash + 1);
    }
    return "LCK.." + name;
}

bool PortLock::Acquire(const std::string& devicePath, const std::string& lockDir) {
    Release();
    const std::string path = lockDir + "/" + LockFileName(devicePath);
    for (int attempt = 0; attempt < kTakeAttempts; ++attempt) {
        switch (TryTake(path)) {
            case Take::Taken:
                path_ = path;
                return true;
            case Take::Unwritable: {
                // No lock of our own, but a live owner's lock is still honoured.
                const long owner = LockOwner(path);
                return owner == 0 || !ProcessLives(owner);
            }
            case Take::Exists: {
                const long owner = LockOwner(path);
                if (owner != 0 && ProcessLives(owner)) return false;
                // Stale: left by a program that ended without removing it (or by a crash of ours).
                if (::unlink(path.c_str()) != 0 && errno != ENOENT) return true;
                break;
            }
        }
    }
    return false;
}

void PortLock::Release() {
    if (path_.empty()) return;
    // Only our own lock is removed: never one that another program took after ours went stale.
    if (LockOwner(path_) == getpid()) ::unlink(path_.c_str());
    path_.clear();
}

}  // namespace karvex
