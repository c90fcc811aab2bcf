#include <windows.h>

#include <sys/resource.h>

int getrusage(int, rusage* usage) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return -1;
    auto toTimeval = [](const FILETIME& t) {
        const unsigned long long ticks =
            (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;  // 100 ns
        timeval tv{};
        tv.tv_sec = static_cast<long>(ticks / 10000000ULL);
        tv.tv_usec = static_cast<long>(ticks % 10000000ULL / 10);
        return tv;
    };
    usage->ru_utime = toTimeval(user);
    usage->ru_stime = toTimeval(kernel);
    return 0;
}
