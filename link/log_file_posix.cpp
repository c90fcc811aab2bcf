// The log save on POSIX: a temporary file beside the target, fsync, rename.
#include "link/log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace karvex {

namespace {

// Writes everything, retrying short writes and interruptions; false with errno set on failure.
bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

std::string Reason(int error) {
    return std::strerror(error);
}

// SaveLogFile's work; with `keep` the new file stays open and its descriptor is stored there, so
// that later appends reach the very file that was renamed into place.
std::string Replace(const std::string& path, std::string_view bytes, int* keep) {
    if (path.empty()) return Reason(ENOENT);
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty()) return Reason(EISDIR);

    struct stat old {};
    // A symbolic link at the name is replaced like a missing file: the new file is owner-only
    // and takes nothing from whatever the link points at.
    const bool replacing = ::lstat(path.c_str(), &old) == 0 && !S_ISLNK(old.st_mode);
    if (replacing && !S_ISREG(old.st_mode)) {
        // A folder, a FIFO or a device at that name: renaming over it would fail or replace it.
        return Reason(S_ISDIR(old.st_mode) ? EISDIR : EEXIST);
    }

    std::string temp = dir + (dir.ends_with('/') ? "" : "/") + "." + name + ".XXXXXX";
    std::vector<char> pattern(temp.begin(), temp.end());
    pattern.push_back('\0');
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);  // created 0600
    if (fd < 0) return Reason(errno);
    temp = pattern.data();

    // A replaced file keeps its permissions, but never setuid or setgid: a log is no program.
    const mode_t kept = old.st_mode & 07777 & ~(S_ISUID | S_ISGID);
    bool ok = (!replacing || ::fchmod(fd, kept) == 0) && WriteAll(fd, bytes) && ::fsync(fd) == 0;
    int error = ok ? 0 : errno;
    if (keep != nullptr && ok) {
        *keep = fd;
    } else if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        if (keep != nullptr && *keep >= 0) {
            ::close(*keep);
            *keep = -1;
        }
        ::unlink(temp.c_str());
        return Reason(error);
    }
    // Make the rename itself durable: sync the folder that holds the new name.
    if (const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return {};
}

}  // namespace

std::string SaveLogFile(const std::string& path, std::string_view bytes) {
    return Replace(path, bytes, nullptr);
}

GrowingLogFile::~GrowingLogFile() {
    if (fd_ >= 0) ::close(fd_);
}

std::string GrowingLogFile::Create(const std::string& path, std::string_view first) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    return Replace(path, first, &fd_);
}

std::string GrowingLogFile::Append(std::string_view bytes) {
    if (fd_ < 0) return Reason(EBADF);
    // The descriptor's offset is the file's end: only this object writes to it.
    if (!WriteAll(fd_, bytes)) return Reason(errno);
    return {};
}

std::string GrowingLogFile::Sync() {
    if (fd_ < 0) return Reason(EBADF);
    if (::fdatasync(fd_) != 0) return Reason(errno);
    return {};
}

}  // namespace karvex
