// What a long run must give back: open descriptors, threads and memory of this process.
#pragma once

#include <dirent.h>
#include <malloc.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <string>

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KARVEX_SOAK_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KARVEX_SOAK_SANITIZED 1
#endif
#if defined(KARVEX_SOAK_SANITIZED)
// From the sanitizer runtime (its header does not come with every compiler).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace karvex::soak {

// True in a sanitizer build: its allocator keeps freed memory in quarantine and gives every thread
// shadow memory, so the resident size grows for a while on its own; the live heap is what counts.
#if defined(KARVEX_SOAK_SANITIZED)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif

struct Levels {
    int fds = 0;       // entries of /proc/self/fd
    int threads = 0;   // entries of /proc/self/task
    long rssKiB = 0;   // resident set, from /proc/self/statm
    long heapKiB = 0;  // bytes the allocator has handed out and not had back
};

inline int CountEntries(const char* dir) {
    DIR* d = opendir(dir);
    if (d == nullptr) return -1;
    int n = 0;
    while (const dirent* e = readdir(d)) {
        if (e->d_name[0] != '.') ++n;
    }
    closedir(d);
    return n - (std::string(dir) == "/proc/self/fd" ? 1 : 0);  // the one opendir holds
}

inline Levels Measure() {
    Levels l;
    l.fds = CountEntries("/proc/self/fd");
    l.threads = CountEntries("/proc/self/task");
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        long size = 0;
        long resident = 0;
        if (std::fscanf(f, "%ld %ld", &size, &resident) == 2) {
            l.rssKiB = resident * (sysconf(_SC_PAGESIZE) / 1024);
        }
        std::fclose(f);
    }
#if defined(KARVEX_SOAK_SANITIZED)
    l.heapKiB = static_cast<long>(__sanitizer_get_current_allocated_bytes() / 1024);
#else
    l.heapKiB = static_cast<long>(mallinfo2().uordblks / 1024);
#endif
    return l;
}

inline void Print(const char* when, const Levels& l) {
    std::printf("[soak] %-7s descriptors %d, threads %d, resident %ld KiB, heap in use %ld KiB\n",
                when, l.fds, l.threads, l.rssKiB, l.heapKiB);
    std::fflush(stdout);
}

}  // namespace karvex::soak
