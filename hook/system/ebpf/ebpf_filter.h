// The monitor's filter for the eBPF backend's kernel side
// (hook/system/ebpf/talvek_filter.h): the table it decides by, and what it
// left out.
#pragma once

#include <stdint.h>

#include "trace/ifs_filter.h"
#include "hook/system/ebpf/ebpf_backend.h"

struct EbpfFilterCounts {
    uint64_t filteredOut = 0; // calls not sent: not shown and not needed
    uint64_t lostNeeded = 0;  // needed, not shown, the ring buffer full
};

// Writes the table for f; false when the map could not be written.
bool EbpfSetFilter(EbpfSession* s, const IfsFilter& f);

EbpfFilterCounts EbpfGetFilterCounts(const EbpfSession* s);
