// stat_storm SECONDS [EVERY]: stats an existing name as fast as it can for
// SECONDS, and every EVERY-th time (default 20,000) a name that does not
// exist, /nonexistent-talvek/storm-N with N counting from 1. Prints the calls
// made, the rate and how many of them failed.
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>

#include "bench/monotonic_seconds.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: stat_storm SECONDS [EVERY]\n");
        return 2;
    }
    const double seconds = strtod(argv[1], nullptr);
    const long every = argc > 2 ? strtol(argv[2], nullptr, 10) : 20000;
    const double start = MonotonicSeconds();
    long calls = 0, failed = 0;
    struct stat st;
    for (double now = start; now - start < seconds; now = MonotonicSeconds()) {
        for (int i = 0; i < 1000; ++i) {
            ++calls;
            if (calls % every == 0) {
                char name[64];
                snprintf(name, sizeof name, "/nonexistent-talvek/storm-%ld", ++failed);
                if (stat(name, &st) == 0)
                    return 1;
            } else if (stat("/etc/hostname", &st) != 0) {
                return 1;
            }
        }
    }
    const double elapsed = MonotonicSeconds() - start;
    printf("%ld stats in %.2f s (%.0f/s), %ld of them failed\n", calls, elapsed,
           static_cast<double>(calls) / elapsed, failed);
    return 0;
}
