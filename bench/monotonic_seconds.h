// Seconds on the monotonic clock, for the host benchmarks' pacing.
#pragma once

#include <time.h>

inline double MonotonicSeconds() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}
