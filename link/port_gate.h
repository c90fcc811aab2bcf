// The two-phase close every port shares. Each operation enters before it touches the device and
// leaves after; Shutdown wakes whatever waits, and Close releases the device only once nobody is
// inside, so no thread ever uses a descriptor, handle or socket after it was closed (the system
// hands all of them out again at once).
#pragma once

#include <condition_variable>
#include <mutex>

namespace karvex {

class PortGate {
  public:
    // The device is in place: operations may enter from now on.
    void Open() {
        std::lock_guard lock(mutex_);
        closing_ = false;
    }
    // False once the port is shut (or was never opened): the operation fails at once.
    bool Enter() {
        std::lock_guard lock(mutex_);
        if (closing_) return false;
        ++inUse_;
        return true;
    }
    void Leave() {
        std::lock_guard lock(mutex_);
        if (--inUse_ == 0) idle_.notify_all();
    }
    // Marks the port shut; the first time, `wake` runs (under the gate's lock) to end every wait.
    template <class Wake>
    void Shutdown(Wake wake) {
        std::lock_guard lock(mutex_);
        if (closing_) return;
        closing_ = true;
        wake();
    }
    // Shuts, waits until no operation is inside, then `release` runs under the gate's lock.
    template <class Wake, class Release>
    void Close(Wake wake, Release release) {
        Shutdown(wake);
        std::unique_lock lock(mutex_);
        idle_.wait(lock, [this] { return inUse_ == 0; });
        release();
    }
    bool IsOpen() const {
        std::lock_guard lock(mutex_);
        return !closing_;
    }

    // An operation in progress, for the scope of one call.
    class Use {
      public:
        explicit Use(PortGate& gate) : gate_(gate), ok_(gate.Enter()) {}
        ~Use() {
            if (ok_) gate_.Leave();
        }
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;
        explicit operator bool() const { return ok_; }

      private:
        PortGate& gate_;
        bool ok_;
    };

  private:
    mutable std::mutex mutex_;
    std::condition_variable idle_;
    bool closing_ = true;  // no device, or shut down: new operations fail at once
    int inUse_ = 0;        // operations currently inside
};

}  // namespace karvex
