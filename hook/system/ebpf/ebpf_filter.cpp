#include "hook/system/ebpf/ebpf_filter.h"

#include <bpf/bpf.h>
#include <bpf/libbpf.h>

#include <vector>

#include "hook/system/ebpf/talvek_filter.h"
#include "hook/system/sysev_filter.h"

bool EbpfSetFilter(EbpfSession* s, const IfsFilter& f) {
    talvek_filter table{};
    table.set = 1;
    table.monitoring = f.monitoring ? 1 : 0;
    table.results = static_cast<uint32_t>(f.results);
    table.funcs = IfsFilterPositions(f);
    table.process_events = SysevNeeded(f, SYSEV_FORK) ? 1 : 0;
    for (uint16_t call = 0; call < SYSEV_CALL_COUNT; ++call) {
        const SysevCallFilter& c = SysevCallFilterOf(call);
        table.calls[call].funcs = c.funcs;
        table.calls[call].flags = (SysevNeeded(f, call) ? TALVEK_FILTER_NEEDED : 0) |
                                  (c.zeroFails ? TALVEK_FILTER_ZERO_FAILS : 0);
    }
    const int fd = EbpfMapFd(s, "filter");
    const uint32_t key = 0;
    return fd >= 0 && bpf_map_update_elem(fd, &key, &table, BPF_ANY) == 0;
}

EbpfFilterCounts EbpfGetFilterCounts(const EbpfSession* s) {
    EbpfFilterCounts counts;
    const int cpus = libbpf_num_possible_cpus();
    const int fd = EbpfMapFd(s, "filter_counters");
    if (cpus <= 0 || fd < 0)
        return counts;
    std::vector<uint64_t> perCpu(static_cast<size_t>(cpus));
    uint64_t* slots[] = {&counts.filteredOut, &counts.lostNeeded};
    for (uint32_t slot = 0; slot < TALVEK_FILTER_COUNTER_COUNT; ++slot) {
        if (bpf_map_lookup_elem(fd, &slot, perCpu.data()) != 0)
            continue;
        for (uint64_t n : perCpu)
            *slots[slot] += n;
    }
    return counts;
}
