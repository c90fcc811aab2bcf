#include "link/port_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string_view>
#include <vector>

namespace karvex {

namespace {

constexpr const char* kDefaultLockDir = "/run/lock";
constexpr int kTakeAttempts = 3;  // a stale lock removed by another program at the same moment
// Programs commonly create the lock file first and write their PID a moment later: a lock
// without a PID is taken as its writer's for this long after it was last written.
constexpr std::time_t kYoungLockSeconds = 5;

std::string RealDevicePath(const std::string& devicePath) {
    std::error_code ec;
    std::string real = std::filesystem::canonical(devicePath, ec).string();
    return ec ? devicePath : real;
}

bool ProcessLives(long pid) {
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// What a lock file found at the lock's name says about the port. The file stays open, so that
// only this very file is ever removed as stale.
class FoundLock {
  public:
    enum class Owner { None, Live, Stale, Unreadable };

    explicit FoundLock(const std::string& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK)) {
        if (fd_ < 0) {
            owner_ = errno == ENOENT ? Owner::None : Owner::Unreadable;
            return;
        }
        char text[32] = {};
        const ssize_t n = ::fstat(fd_, &seen_) == 0 && S_ISREG(seen_.st_mode)
                              ? ::read(fd_, text, sizeof text - 1)
                              : -1;
        if (n < 0) {
            owner_ = Owner::Unreadable;
            return;
        }
        // Only the ASCII form is read: the old binary form is long out of use and counts as no
        // PID.
        char* end = nullptr;
        errno = 0;
        const long pid = std::strtol(text, &end, 10);
        if (end == text) {
            const std::time_t age = std::time(nullptr) - seen_.st_mtime;
            owner_ =
                age < kYoungLockSeconds && -age < kYoungLockSeconds ? Owner::Live : Owner::Stale;
        } else if (errno == ERANGE || pid <= 0 || pid > INT_MAX) {
            owner_ = Owner::Stale;  // no process has such a PID (kill would take -1 as "all")
        } else {
            pid_ = pid;
            owner_ = ProcessLives(pid) ? Owner::Live : Owner::Stale;
        }
    }
    ~FoundLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    FoundLock(const FoundLock&) = delete;
    FoundLock& operator=(const FoundLock&) = delete;

    Owner Who() const { return owner_; }
    long Pid() const { return pid_; }  // 0 when the file names no process

    // Removes the stale lock when `path` still names the file that was judged. Two programs that
    // found the same stale lock take turns (an flock on that file, held until it is gone); the
    // second then finds the name free or taken by the first one's new lock, and leaves it. False
    // when the file stays and cannot be removed (another user's, in a sticky folder).
    bool RemoveStale(const std::string& path) const {
        if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) return true;  // being removed: look again
        struct stat now {};
        if (::lstat(path.c_str(), &now) != 0 || now.st_dev != seen_.st_dev ||
            now.st_ino != seen_.st_ino) {
            return true;
        }
        return ::unlink(path.c_str()) == 0 || errno == ENOENT;
    }

  private:
    int fd_;
    struct stat seen_ {};
    Owner owner_ = Owner::None;
    long pid_ = 0;
};

// Writes our lock beside `path` and links it in place: the link fails when a lock appeared in
// the meantime, so two programs never both believe they hold the port.
enum class Take { Taken, Exists, Unwritable };
Take TryTake(const std::string& path) {
    char content[16];
    const int len = std::snprintf(content, sizeof content, "%10ld\n", static_cast<long>(getpid()));
    // The lock folder is writable by everybody: the temporary file gets a name nobody can
    // foresee and is created new, so nothing planted there is ever opened, written or re-moded.
    std::string temp = path + ".karvex.XXXXXX";
    std::vector<char> pattern(temp.begin(), temp.end());
    pattern.push_back('\0');
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) return Take::Unwritable;
    temp = pattern.data();
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
    const std::string real = RealDevicePath(devicePath);
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
    device_ = RealDevicePath(devicePath);
    const std::string path = lockDir + "/" + LockFileName(device_);
    using Owner = FoundLock::Owner;
    for (int attempt = 0; attempt < kTakeAttempts; ++attempt) {
        const Take take = TryTake(path);
        if (take == Take::Taken) {
            path_ = path;
            return true;
        }
        const FoundLock found(path);
        switch (found.Who()) {
            case Owner::Live:
            case Owner::Unreadable:
                return false;
            case Owner::None:  // removed in the meantime: try again
            case Owner::Stale:
                // No lock of our own where the folder cannot be written, but only a live or
                // unreadable lock keeps us out.
                if (take == Take::Unwritable) return true;
                // Stale: left by a program that ended without removing it (or by a crash of
                // ours). One that cannot be removed does not keep us out either.
                if (found.Who() == Owner::Stale && !found.RemoveStale(path)) return true;
                break;
        }
    }
    return false;
}

void PortLock::Release() {
    device_.clear();
    if (path_.empty()) return;
    // Only our own lock is removed: never one that another program took after ours went stale.
    if (FoundLock(path_).Pid() == getpid()) ::unlink(path_.c_str());
    path_.clear();
}

bool PortLock::Covers(int fd) const {
    struct stat opened {};
    struct stat locked {};
    return !device_.empty() && ::fstat(fd, &opened) == 0 && ::stat(device_.c_str(), &locked) == 0 &&
           S_ISCHR(opened.st_mode) && S_ISCHR(locked.st_mode) && opened.st_rdev == locked.st_rdev;
}

}  // namespace karvex
