#include "hook/system/ebpf/ebpf_filter.h"

#include <bpf/bpf.h>
#include <bpf/libbpf.h>

#include <vector>

#include "hook/bpf/talvek_hook_maps.h"
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
    const int fd = EbpfMapFd(s, "counters");
    if (cpus <= 0 || fd < 0)
        return counts;
    std::vector<uint64_t> perCpu(static_cast<size_t>(cpus));
    const struct {
        uint32_t slot;
        uint64_t* total;
    } slots[] = {{TALVEK_FILTERED_OUT, &counts.filteredOut},
                 {TALVEK_LOST_NEEDED, &counts.lostNeeded}};
    for (const auto& c : slots) {
        if (bpf_map_lookup_elem(fd, &c.slot, perCpu.data()) != 0)
            continue;
        for (uint64_t n : perCpu)
            *c.total += n;
    }
    return counts;
}
