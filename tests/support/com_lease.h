// A COM number held by one test process at a time. Tests in separate processes that link a board
// under the same dosdevices/comN would otherwise replace each other's link and talk to the wrong
// board; a lease (a flock on dosdevices/.lease-comN) makes the second one wait until the first
// has finished. The kernel drops the lock when a process ends, however it ends.
#pragma once

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "timing.h"

namespace karvex::testing {

class ComLease {
  public:
    // Waits up to `limit` for COM`n` under `exeDir`; Held() tells whether it came.
    ComLease(const std::string& exeDir, int n,
             std::chrono::milliseconds limit = std::chrono::seconds(120)) {
        const std::filesystem::path dir = std::filesystem::path(exeDir) / "dosdevices";
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        const std::string path = (dir / (".lease-com" + std::to_string(n))).string();
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        held_ = fd_ >= 0 && WaitUntil([&] { return flock(fd_, LOCK_EX | LOCK_NB) == 0; }, limit);
    }
    ~ComLease() {
        if (fd_ >= 0) ::close(fd_);
    }
    ComLease(const ComLease&) = delete;
    ComLease& operator=(const ComLease&) = delete;

    bool Held() const { return held_; }

  private:
    int fd_ = -1;
    bool held_ = false;
};

}  // namespace karvex::testing
