// The eBPF backend of talvek-hook: loads the kernel side
// (hook/system/ebpf/talvek_hook.bpf.c), fills its table of watched processes, attaches
// it to the raw system-call and process tracepoints and hands the records of
// its ring buffer to the caller.
#include "hook/system/ebpf/ebpf_backend.h"

#include <bpf/bpf.h>
#include <bpf/libbpf.h>
#include <errno.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>

#include "hook/bpf/talvek_hook_maps.h"
#include "hook/system/received_fd.h"
#include "hook/system/sysev_map.h"
#include "talvek_hook.skel.h"

struct EbpfSession {
    talvek_hook_bpf* skel = nullptr;
    std::vector<bpf_link*> links;
    EbpfRecordRing<sysev> ring;
    EbpfProcTable procs;
    uint64_t seen = 0;
    uint64_t lostPath = 0;
};

namespace {

// The call entries' program, attached last (the calls' own programs are reached
// from it, not attached).
constexpr const char* kSysEnterSection = "raw_tp/sys_enter";

// ---- Loading and attaching ----

// Attaches the programs that have a tracepoint, the call entries last so that
// no call is entered without its exit being seen.
bool AttachAll(EbpfSession* s, std::string* why) {
    for (int pass = 0; pass < 2; pass++) {
        bpf_program* prog;
        bpf_object__for_each_program(prog, s->skel->obj) {
            const char* sec = bpf_program__section_name(prog);
            bool enter = strcmp(sec, kSysEnterSection) == 0;
            if (strchr(sec, '/') == nullptr || enter != (pass == 1))
                continue;
            bpf_link* link = bpf_program__attach(prog);
            if (link == nullptr)
                return EbpfFail(why, std::string("attaching to ") + bpf_program__section_name(prog),
                                errno);
            s->links.push_back(link);
        }
    }
    return true;
}

int OnRecord(void* ctx, void* data, size_t size) {
    EbpfSession* s = static_cast<EbpfSession*>(ctx);
    sysev ev = SysevOfRecord(data, size);
    if (ev.call == SYSEV_RECEIVE_FD && ev.path1[0] == '\0')
        DescribeReceived(ev.tid, &ev); // a name the kernel side could not build
    s->seen++;
    s->lostPath +=
        (ev.flags & SYSEV_PATH1_UNREADABLE ? 1 : 0) + (ev.flags & SYSEV_PATH2_UNREADABLE ? 1 : 0);
    return EbpfRingHand(&s->ring, ev);
}

void Destroy(EbpfSession* s) {
    ring_buffer__free(s->ring.ring);
    for (bpf_link* link : s->links)
        bpf_link__destroy(link);
    talvek_hook_bpf__destroy(s->skel);
    delete s;
}

} // namespace

EbpfSession* EbpfStart(const EbpfWatch& watch, std::string* why) {
    if (!EbpfAvailable(why))
        return nullptr;
    EbpfSetLibbpfPrint();
    EbpfSession* s = new EbpfSession;
    s->skel = talvek_hook_bpf__open();
    if (s->skel == nullptr) {
        EbpfFail(why, "opening the eBPF programs", errno);
        Destroy(s);
        return nullptr;
    }
    s->skel->rodata->watch_all = watch.all ? 1 : 0;
    int err = talvek_hook_bpf__load(s->skel);
    bool ok = err == 0 || EbpfFail(why, "loading the eBPF programs", err);
    if (ok)
        s->procs = {bpf_map__fd(s->skel->maps.procs),
                    reinterpret_cast<uint64_t*>(&s->skel->bss->procs_listed), watch.all};
    ok = ok && EbpfFillProcessTable(s->procs, watch, why) && AttachAll(s, why);
    if (ok) {
        s->ring.ring = ring_buffer__new(bpf_map__fd(s->skel->maps.events), OnRecord, s, nullptr);
        ok = s->ring.ring != nullptr || EbpfFail(why, "opening the ring buffer", errno);
    }
    if (!ok) {
        Destroy(s);
        return nullptr;
    }
    return s;
}

bool EbpfAddRoot(EbpfSession* s, pid_t pid) {
    return EbpfAddTree(s->procs, pid);
}

int EbpfPoll(EbpfSession* s, int timeoutMs, SysevSink sink, void* ctx) {
    return EbpfRingPollTo(&s->ring, s->procs, timeoutMs, sink, ctx);
}

EbpfCounters EbpfGetCounters(const EbpfSession* s) {
    EbpfCounters c;
    c.seen = s->seen;
    c.lostPath = s->lostPath;
    c.lostRingFull = EbpfSumCounters(bpf_map__fd(s->skel->maps.counters), TALVEK_LOSS_SLOTS);
    return c;
}

int EbpfMapFd(const EbpfSession* s, const char* name) {
    return bpf_object__find_map_fd_by_name(s->skel->obj, name);
}

void EbpfStop(EbpfSession* s) {
    if (s != nullptr)
        Destroy(s);
}
