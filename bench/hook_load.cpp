// hook_load N [RATE] [FILE]: a stream of file calls for the hook benchmark.
// N times: open FILE, read 64 bytes, close it, and ask for a name that does
// not exist (4 calls the hook reports). RATE, when not 0, paces the stream at
// that many calls per second. Prints the calls made and the rate achieved.
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include "bench/monotonic_seconds.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: hook_load N [RATE] [FILE]\n");
        return 2;
    }
    const long n = strtol(argv[1], nullptr, 10);
    const double rate = argc > 2 ? strtod(argv[2], nullptr) : 0;
    const char* file = argc > 3 ? argv[3] : "/etc/hostname";
    char buffer[64];
    const double start = MonotonicSeconds();
    for (long i = 0; i < n; ++i) {
        const int fd = open(file, O_RDONLY);
        if (fd < 0 || read(fd, buffer, sizeof buffer) < 0)
            return 1;
        close(fd);
        if (access("/nonexistent-talvek/x", F_OK) == 0)
            return 1;
        if (rate > 0 && i % 256 == 255) {
            const double ahead =
                start + 4.0 * static_cast<double>(i + 1) / rate - MonotonicSeconds();
            if (ahead > 0)
                usleep(static_cast<useconds_t>(ahead * 1e6));
        }
    }
    const double elapsed = MonotonicSeconds() - start;
    printf("%ld calls in %.3f s: %.0f calls/s\n", 4 * n, elapsed,
           4.0 * static_cast<double>(n) / elapsed);
    return 0;
}
