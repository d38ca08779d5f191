// talvek-hook --control FILE: control lines (trace/ifs_filter.h) read as they
// come, from a FIFO or from a file followed as it grows (read again from its
// start when it is written anew). A line that cannot be read is reported on
// standard error and changes nothing; so is a line longer than
// kControlLineMax bytes, which is counted and skipped as it comes, never
// held whole.
#pragma once

#include <stddef.h>

#include <string>

#include "trace/ifs_filter.h"

constexpr size_t kControlLineMax = 4096; // bytes of a line, without its line end

struct FilterControl {
    int fd = -1;
    bool fifo = false;
    long long offset = 0;    // of a file: bytes read so far
    std::string partial;     // an unfinished line, at most kControlLineMax bytes
    bool overLong = false;   // the unfinished line is past kControlLineMax: skipped
    long long longLines = 0; // lines skipped as too long (counted once past the bound)
};

// Opens path without waiting for a writer; false with `why` when it cannot.
bool FilterControlOpen(FilterControl* c, const char* path, std::string* why);

// Applies, in order, every complete line that has arrived to f; returns
// whether any line was applied.
bool FilterControlPoll(FilterControl* c, IfsFilter* f);

void FilterControlClose(FilterControl* c);
