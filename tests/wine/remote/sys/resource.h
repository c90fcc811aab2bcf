// getrusage for the Windows test build: the process's user and kernel time (GetProcessTimes), so
// the tests that check a wait costs no CPU run unchanged.
#pragma once

#include <sys/time.h>

#define RUSAGE_SELF 0

struct rusage {
    timeval ru_utime;
    timeval ru_stime;
};

int getrusage(int who, rusage* usage);
