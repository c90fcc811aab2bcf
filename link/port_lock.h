// The UUCP lock-file convention that many Linux serial programs follow: a port is in use while
// <lock dir>/LCK..<device> names a live process. The file holds the owner's PID as ten characters,
// right-aligned, and a line end.
#pragma once

#include <string>

namespace karvex {

// The lock directory: $KARVEX_LOCK_DIR when set (tests point it at a folder of their own),
// /run/lock otherwise.
std::string LockDirectory();

// The lock file's name for a device: the path below /dev with every '/' turned into '_' after
// symbolic links are followed (/dev/ttyUSB0 gives LCK..ttyUSB0, /dev/pts/3 gives LCK..pts_3,
// a by-id link gives its device's name); the last path component for a device outside /dev.
std::string LockFileName(const std::string& devicePath);

// A lock held by this process, released (the file removed) on destruction or Release().
class PortLock {
  public:
    PortLock() = default;
    ~PortLock() { Release(); }
    PortLock(const PortLock&) = delete;
    PortLock& operator=(const PortLock&) = delete;

    // False when a live process holds the port. A stale lock (its process has gone, or the file
    // names none) is removed and replaced by ours. Where the directory cannot be written the
    // port is taken without a lock file, and Acquire still succeeds.
    bool Acquire(const std::string& devicePath, const std::string& lockDir = LockDirectory());
    void Release();
    // The lock file now held, empty when none.
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

}  // namespace karvex
