// The calling thread's CPU time, in seconds: what the mixing costs, whatever else the machine does.
#pragma once

#include <time.h>

inline double tempsCpu() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}
