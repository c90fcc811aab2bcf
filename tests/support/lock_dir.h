// A lock-file folder of the test's own, named to the port through KARVEX_LOCK_DIR for as long
// as the object lives.
#pragma once

#include <stdlib.h>

#include <filesystem>

namespace karvex::testing {

class ScopedLockDir {
  public:
    ScopedLockDir() {
        char dir[] = "/tmp/karvex-locks-XXXXXX";
        if (mkdtemp(dir) != nullptr) {
            path_ = dir;
            setenv("KARVEX_LOCK_DIR", dir, 1);
        }
    }
    ~ScopedLockDir() {
        unsetenv("KARVEX_LOCK_DIR");
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScopedLockDir(const ScopedLockDir&) = delete;
    ScopedLockDir& operator=(const ScopedLockDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace karvex::testing
