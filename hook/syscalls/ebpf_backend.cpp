// The eBPF backend of talvek-hook: loads the kernel side
// (hook/syscalls/bpf/talvek_hook.bpf.c), fills its table of watched processes, attaches
// it to the raw system-call and process tracepoints and hands the records of
// its ring buffer to the caller.
#include "hook/syscalls/ebpf_backend.h"

#include <bpf/bpf.h>
#include <bpf/libbpf.h>
#include <dirent.h>
#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <unordered_map>

#include "hook/syscalls/bpf/talvek_hook_maps.h"
#include "hook/syscalls/received_fd.h"
#include "talvek_hook.skel.h"

struct EbpfSession {
    talvek_hook_bpf* skel = nullptr;
    std::vector<bpf_link*> links;
    ring_buffer* ring = nullptr;
    bool all = false;
    uint64_t seen = 0;
    uint64_t lostPath = 0;
    // The current EbpfPoll's sink and how many records it has handed over.
    SysevSink sink = nullptr;
    void* sinkCtx = nullptr;
    int handed = 0;
    bool batchFull = false;
};

namespace {

// Records handed over by one EbpfPoll at most, so that a caller under a
// steady stream still gets back control to flush and to notice signals.
constexpr int kPollBatch = 4096;

// The call entries' program, attached last (the calls' own programs are reached
// from it, not attached).
constexpr const char* kSysEnterSection = "raw_tp/sys_enter";

constexpr int kCapSysAdmin = 21;
constexpr int kCapPerfmon = 38;
constexpr int kCapBpf = 39;

// The value of a "Key:\t..." line of /proc/<pid>/status, or "" when absent.
std::string StatusField(pid_t pid, const char* key) {
    char path[64];
    snprintf(path, sizeof(path), "/proc/%d/status", (int)pid);
    FILE* f = fopen(path, "r");
    if (f == nullptr)
        return "";
    char line[512];
    std::string value;
    size_t keyLen = strlen(key);
    while (fgets(line, sizeof(line), f) != nullptr) {
        if (strncmp(line, key, keyLen) == 0 && line[keyLen] == ':') {
            value = line + keyLen + 1;
            break;
        }
    }
    fclose(f);
    value.erase(0, value.find_first_not_of(" \t"));
    value.erase(value.find_last_not_of(" \t\n") + 1);
    return value;
}

bool HasCap(uint64_t caps, int cap) {
    return (caps >> cap) & 1;
}

bool MayUseBpf() {
    uint64_t caps = strtoull(StatusField(getpid(), "CapEff").c_str(), nullptr, 16);
    return HasCap(caps, kCapSysAdmin) || (HasCap(caps, kCapBpf) && HasCap(caps, kCapPerfmon));
}

int SilentPrint(enum libbpf_print_level, const char*, va_list) {
    return 0;
}

int DebugPrint(enum libbpf_print_level, const char* format, va_list args) {
    return vfprintf(stderr, format, args);
}

// libbpf speaks only when TALVEK_HOOK_DEBUG is set.
void SetLibbpfPrint() {
    const char* debug = getenv("TALVEK_HOOK_DEBUG");
    libbpf_set_print(debug != nullptr && *debug != 0 ? DebugPrint : SilentPrint);
}

bool Fail(std::string* why, const std::string& what, int err) {
    *why = what + ": " + strerror(err < 0 ? -err : err) +
           " (TALVEK_HOOK_DEBUG=1 shows libbpf's messages; --backend ptrace works without eBPF)";
    return false;
}

// ---- Processes and their descendants, from /proc ----

// The parent of a living process, or -1 (gone, or ended and not yet reaped).
pid_t ParentOf(pid_t pid) {
    char path[64];
    snprintf(path, sizeof(path), "/proc/%d/stat", (int)pid);
    FILE* f = fopen(path, "r");
    if (f == nullptr)
        return -1;
    char buf[1024];
    size_t n = fread(buf, 1, sizeof(buf) - 1, f);
    fclose(f);
    buf[n] = 0;
    // "pid (comm) state ppid ...": the name may hold spaces and parentheses.
    const char* close = strrchr(buf, ')');
    char state = 0;
    int ppid = -1;
    if (close == nullptr || sscanf(close + 1, " %c %d", &state, &ppid) != 2 || state == 'Z' ||
        state == 'X')
        return -1;
    return ppid;
}

// `root` (a process, or a thread standing for its process) and every process
// below it now; new ones are added by the kernel side as they are made.
std::vector<pid_t> ProcessTree(pid_t root) {
    std::vector<pid_t> tree;
    pid_t tgid = (pid_t)atoi(StatusField(root, "Tgid").c_str());
    if (tgid <= 0)
        return tree;
    std::unordered_multimap<pid_t, pid_t> children;
    if (DIR* d = opendir("/proc")) {
        while (dirent* e = readdir(d)) {
            pid_t pid = (pid_t)atoi(e->d_name);
            if (pid > 0)
                children.emplace(ParentOf(pid), pid);
        }
        closedir(d);
    }
    tree.push_back(tgid);
    for (size_t i = 0; i < tree.size(); i++) {
        auto range = children.equal_range(tree[i]);
        for (auto it = range.first; it != range.second; ++it)
            tree.push_back(it->second);
    }
    return tree;
}

// Lists a tree in the kernel's process table (watched, or with --all excluded).
// A process that ended before it was listed is taken out again: the kernel
// side takes out only those that end after.
bool ListTree(EbpfSession* s, pid_t root) {
    std::vector<pid_t> tree = ProcessTree(root);
    if (tree.empty())
        return false;
    int fd = bpf_map__fd(s->skel->maps.procs);
    for (pid_t pid : tree) {
        uint32_t key = (uint32_t)pid;
        uint8_t one = 1;
        int err = bpf_map_update_elem(fd, &key, &one, BPF_NOEXIST);
        if (err == 0)
            __atomic_fetch_add(&s->skel->bss->procs_listed, 1, __ATOMIC_SEQ_CST);
        else if (err != -EEXIST)
            return false;
        if (ParentOf(pid) < 0 && bpf_map_delete_elem(fd, &key) == 0)
            __atomic_fetch_sub(&s->skel->bss->procs_listed, 1, __ATOMIC_SEQ_CST);
    }
    return true;
}

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
                return Fail(why, std::string("attaching to ") + bpf_program__section_name(prog),
                            errno);
            s->links.push_back(link);
        }
    }
    return true;
}

bool FillProcessTable(EbpfSession* s, const EbpfWatch& watch, std::string* why) {
    if (watch.all) {
        if (!ListTree(s, getpid()))
            return Fail(why, "excluding talvek-hook itself", errno);
        for (pid_t pid : watch.exclude)
            ListTree(s, pid); // a process already gone has nothing to exclude
        return true;
    }
    for (pid_t pid : watch.roots)
        if (!ListTree(s, pid)) {
            *why = "no process " + std::to_string(pid) + " to watch";
            return false;
        }
    return true;
}

// Whether every watched tree has ended: then nothing more can come.
bool NoneWatched(const EbpfSession* s) {
    return !s->all && __atomic_load_n(&s->skel->bss->procs_listed, __ATOMIC_SEQ_CST) == 0;
}

int64_t MsOf(const timespec& t) {
    return (int64_t)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

// The kernel side names a base descriptor by its components from the last to
// the first, each ended by a NUL ("sub\0w\0tmp\0"): "/tmp/w/sub".
void OrderBaseName(sysev* ev) {
    if ((ev->state & SYSEV_ST_BASE) == 0 || (ev->state & SYSEV_ST_BASE_CUT) != 0)
        return;
    std::vector<std::string> parts;
    size_t at = 0;
    while (at < sizeof(ev->path2) && ev->path2[at] != 0) {
        const size_t n = strnlen(ev->path2 + at, sizeof(ev->path2) - at);
        parts.emplace_back(ev->path2 + at, n);
        at += n + 1;
    }
    std::string name;
    for (auto it = parts.rbegin(); it != parts.rend(); ++it)
        name += "/" + *it;
    if (name.empty())
        name = "/";
    if (name.size() >= sizeof(ev->path2)) {
        ev->state |= SYSEV_ST_BASE_CUT;
        return;
    }
    memcpy(ev->path2, name.c_str(), name.size() + 1);
}

int OnRecord(void* ctx, void* data, size_t size) {
    EbpfSession* s = static_cast<EbpfSession*>(ctx);
    // Records end after the last name they hold; the rest reads as empty.
    sysev ev;
    memset(&ev, 0, sizeof(ev));
    memcpy(&ev, data, std::min(size, sizeof(ev)));
    ev.comm[sizeof(ev.comm) - 1] = 0;
    ev.path1[sizeof(ev.path1) - 1] = 0;
    OrderBaseName(&ev);
    ev.path2[sizeof(ev.path2) - 1] = 0;
    if (ev.call == SYSEV_RECEIVE_FD && ev.path1[0] == '\0')
        DescribeReceived(ev.tid, &ev); // a name the kernel side could not build
    s->seen++;
    s->lostPath +=
        (ev.flags & SYSEV_PATH1_UNREADABLE ? 1 : 0) + (ev.flags & SYSEV_PATH2_UNREADABLE ? 1 : 0);
    s->sink(ev, s->sinkCtx);
    if (++s->handed < kPollBatch)
        return 0;
    s->batchFull = true;
    return -1; // stops this poll; the record counts as consumed
}

void Destroy(EbpfSession* s) {
    ring_buffer__free(s->ring);
    for (bpf_link* link : s->links)
        bpf_link__destroy(link);
    talvek_hook_bpf__destroy(s->skel);
    delete s;
}

} // namespace

bool EbpfAvailable(std::string* why) {
    if (!MayUseBpf()) {
        *why = "eBPF needs root (or CAP_BPF and CAP_PERFMON): run talvek-hook with sudo, "
               "or use --backend ptrace";
        return false;
    }
    if (access("/sys/kernel/btf/vmlinux", R_OK) != 0) {
        *why = "this kernel has no BTF (/sys/kernel/btf/vmlinux, CONFIG_DEBUG_INFO_BTF): "
               "use --backend ptrace";
        return false;
    }
    // Process ids in the kernel side are those of the first pid namespace.
    if (StatusField(getpid(), "NSpid").find_first_of(" \t") != std::string::npos) {
        *why = "talvek-hook runs in a pid namespace of its own, where eBPF sees other process "
               "ids: run it on the host, or use --backend ptrace";
        return false;
    }
    return true;
}

EbpfSession* EbpfStart(const EbpfWatch& watch, std::string* why) {
    if (!EbpfAvailable(why))
        return nullptr;
    SetLibbpfPrint();
    EbpfSession* s = new EbpfSession;
    s->all = watch.all;
    s->skel = talvek_hook_bpf__open();
    if (s->skel == nullptr) {
        Fail(why, "opening the eBPF programs", errno);
        Destroy(s);
        return nullptr;
    }
    s->skel->rodata->watch_all = watch.all ? 1 : 0;
    int err = talvek_hook_bpf__load(s->skel);
    bool ok = err == 0 || Fail(why, "loading the eBPF programs", err);
    ok = ok && FillProcessTable(s, watch, why) && AttachAll(s, why);
    if (ok) {
        s->ring = ring_buffer__new(bpf_map__fd(s->skel->maps.events), OnRecord, s, nullptr);
        ok = s->ring != nullptr || Fail(why, "opening the ring buffer", errno);
    }
    if (!ok) {
        Destroy(s);
        return nullptr;
    }
    return s;
}

bool EbpfAddRoot(EbpfSession* s, pid_t pid) {
    if (s->all)
        return true; // everything is watched but the excluded trees
    if (pid == getpid())
        return false;
    return ListTree(s, pid);
}

int EbpfPoll(EbpfSession* s, int timeoutMs, SysevSink sink, void* ctx) {
    s->sink = sink;
    s->sinkCtx = ctx;
    s->handed = 0;
    s->batchFull = false;
    // Small batches come without a wake-up: look every few milliseconds.
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    int64_t deadline = MsOf(now) + std::max(timeoutMs, 0);
    for (;;) {
        int64_t left = deadline - MsOf(now);
        int n = ring_buffer__poll(s->ring, (int)std::min<int64_t>(left, TALVEK_READER_TICK_MS));
        if (n >= 0 && !s->batchFull)
            n = ring_buffer__consume(s->ring);
        if (n < 0 && !s->batchFull && n != -EINTR)
            return -1;
        if (s->handed > 0 || n == -EINTR)
            return s->handed;
        clock_gettime(CLOCK_MONOTONIC, &now);
        if (MsOf(now) >= deadline || NoneWatched(s))
            return 0;
    }
}

EbpfCounters EbpfGetCounters(const EbpfSession* s) {
    EbpfCounters c;
    c.seen = s->seen;
    c.lostPath = s->lostPath;
    int cpus = libbpf_num_possible_cpus();
    if (cpus <= 0)
        return c;
    std::vector<uint64_t> perCpu((size_t)cpus);
    int fd = bpf_map__fd(s->skel->maps.counters);
    for (uint32_t slot = 0; slot < TALVEK_COUNTER_COUNT; slot++) {
        if (bpf_map_lookup_elem(fd, &slot, perCpu.data()) != 0)
            continue;
        for (uint64_t n : perCpu)
            c.lostRingFull += n;
    }
    return c;
}

int EbpfMapFd(const EbpfSession* s, const char* name) {
    return bpf_object__find_map_fd_by_name(s->skel->obj, name);
}

void EbpfStop(EbpfSession* s) {
    if (s != nullptr)
        Destroy(s);
}
