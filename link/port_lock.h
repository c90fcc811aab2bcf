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

    // False when the port is in use: the lock names a live process, holds no PID yet and was
    // written in the last few seconds (its owner is still writing it), or cannot be read (another
    // user's). A stale lock (its process has gone, a PID no process can have, or no PID and
    // older) is removed and replaced by ours; a second program removing the same stale lock at
    // the same moment never removes ours instead. Where the directory cannot be written the port
    // is taken without a lock file, and Acquire still succeeds.
    bool Acquire(const std::string& devicePath, const std::string& lockDir = LockDirectory());
    void Release();
    // The lock file now held, empty when none.
    const std::string& Path() const { return path_; }
    // True when `fd` is open on the device that the last Acquire locked, as that device's name
    // stands now: a name that came to mean another device in between (an adapter re-plugged, a
    // by-id link that moved) gives false.
    bool Covers(int fd) const;

  private:
    std::string path_;
    std::string device_;  // the locked device, symbolic links followed
};

}  // namespace karvex
