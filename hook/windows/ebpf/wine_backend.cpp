#include "hook/windows/ebpf/wine_backend.h"

#include <bpf/bpf.h>
#include <bpf/libbpf.h>
#include <errno.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>

#include "hook/bpf/talvek_hook_maps.h"
#include "hook/windows/nt_map.h"
#include "talvek_wine.skel.h"

struct WineSession {
    talvek_wine_bpf* skel = nullptr;
    std::vector<bpf_link*> links;
    EbpfRecordRing<ntev> ring;
    EbpfProcTable procs;
};

namespace {

constexpr const char* kHint = "TALVEK_HOOK_DEBUG=1 shows libbpf's messages";

// The functions probed; the kernel side has enter64_NAME, enterv64_NAME and
// enter32_NAME for each.
#define NT_FUNCTION_NAME(name, call) #name,
constexpr const char* kFunctions[] = {NT_WATCHED_FUNCTIONS(NT_FUNCTION_NAME)};
#undef NT_FUNCTION_NAME

// The entry programs of a library's calling convention (talvek_wine.bpf.c):
// enter64_, enterv64_, enter32_ and create64_ ... for NtCreateUserProcess.
std::string ConventionSuffix(WineCall call) {
    switch (call) {
    case WineCall::Stdcall32:
        return "32_";
    case WineCall::SysV64:
        return "v64_";
    case WineCall::MsAbi64:
        break;
    }
    return "64_";
}

bool AttachProbe(WineSession* s, bpf_program* prog, const WineLib& lib, const char* function,
                 bool ret, std::string* why) {
    LIBBPF_OPTS(bpf_uprobe_opts, opts, .retprobe = ret, .func_name = function);
    bpf_link* link = bpf_program__attach_uprobe_opts(prog, -1, lib.path.c_str(), 0, &opts);
    if (link == nullptr) {
        const int err = errno;
        *why = err == ENOENT || err == ESRCH
                   ? "the Windows view needs " + std::string(function) + ", which " + lib.path +
                         " does not have: use another Wine (--wine-lib DIR)"
                   : "attaching to " + std::string(function) + " of " + lib.path + ": " +
                         strerror(err) + " (TALVEK_HOOK_DEBUG=1 shows libbpf's messages)";
        return false;
    }
    s->links.push_back(link);
    return true;
}

// The process tracepoints first (a process made while attaching is watched),
// then the returns, so that no entry is seen without its return.
bool AttachAll(WineSession* s, const std::vector<WineLib>& libs, std::string* why) {
    for (bpf_program* prog :
         {s->skel->progs.on_fork, s->skel->progs.on_exec, s->skel->progs.on_exit}) {
        bpf_link* link = bpf_program__attach(prog);
        if (link == nullptr)
            return EbpfFail(why, std::string("attaching to ") + bpf_program__section_name(prog),
                            errno, kHint);
        s->links.push_back(link);
    }
    for (int pass = 0; pass < 2; ++pass) {
        for (const WineLib& lib : libs) {
            for (const char* function : kFunctions) {
                const std::string name = pass == 0
                                             ? (lib.wow ? "ret32" : "ret64")
                                             : "enter" + ConventionSuffix(lib.call) + function;
                bpf_program* prog = bpf_object__find_program_by_name(s->skel->obj, name.c_str());
                if (prog == nullptr) {
                    *why = "the Windows view's eBPF object has no program " + name;
                    return false;
                }
                if (!AttachProbe(s, prog, lib, function, pass == 0, why))
                    return false;
            }
            // NtCreateUserProcess: whether the process it makes inherits handles.
            const std::string create =
                pass == 0 ? "create_ret"
                          : "create" + ConventionSuffix(lib.call) + "NtCreateUserProcess";
            bpf_program* prog = bpf_object__find_program_by_name(s->skel->obj, create.c_str());
            if (prog == nullptr) {
                *why = "the Windows view's eBPF object has no program " + create;
                return false;
            }
            if (!AttachProbe(s, prog, lib, "NtCreateUserProcess", pass == 0, why))
                return false;
        }
    }
    return true;
}

int OnRecord(void* ctx, void* data, size_t size) {
    WineSession* s = static_cast<WineSession*>(ctx);
    return EbpfRingHand(&s->ring, NtevOfRecord(data, size));
}

void Destroy(WineSession* s) {
    ring_buffer__free(s->ring.ring);
    for (bpf_link* link : s->links)
        bpf_link__destroy(link);
    talvek_wine_bpf__destroy(s->skel);
    delete s;
}

} // namespace

WineSession* WineStart(const EbpfWatch& watch, const std::vector<WineLib>& libs, std::string* why) {
    if (!EbpfAvailable(why)) {
        *why = "the Windows view needs eBPF: " + *why;
        return nullptr;
    }
    EbpfSetLibbpfPrint();
    WineSession* s = new WineSession;
    s->skel = talvek_wine_bpf__open();
    if (s->skel == nullptr) {
        EbpfFail(why, "opening the Windows view's eBPF programs", errno, kHint);
        Destroy(s);
        return nullptr;
    }
    s->skel->rodata->watch_all = watch.all ? 1 : 0;
    const int err = talvek_wine_bpf__load(s->skel);
    bool ok = err == 0 || EbpfFail(why, "loading the Windows view's eBPF programs", err, kHint);
    if (ok)
        s->procs = {bpf_map__fd(s->skel->maps.procs),
                    reinterpret_cast<uint64_t*>(&s->skel->bss->procs_listed), watch.all};
    ok = ok && EbpfFillProcessTable(s->procs, watch, why) && AttachAll(s, libs, why);
    if (ok) {
        s->ring.ring = ring_buffer__new(bpf_map__fd(s->skel->maps.events), OnRecord, s, nullptr);
        ok = s->ring.ring != nullptr || EbpfFail(why, "opening the ring buffer", errno, kHint);
    }
    if (!ok) {
        Destroy(s);
        return nullptr;
    }
    return s;
}

bool WineAddRoot(WineSession* s, pid_t pid) {
    return EbpfAddTree(s->procs, pid);
}

int WinePoll(WineSession* s, int timeoutMs, NtSink sink, void* ctx) {
    return EbpfRingPollTo(&s->ring, s->procs, timeoutMs, sink, ctx);
}

uint64_t WineLostRingFull(const WineSession* s) {
    return EbpfSumCounters(bpf_map__fd(s->skel->maps.counters), TALVEK_LOSS_SLOTS);
}

void WineStop(WineSession* s) {
    if (s != nullptr)
        Destroy(s);
}
