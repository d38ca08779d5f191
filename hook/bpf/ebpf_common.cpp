// What both views' eBPF loaders share.
#include "hook/bpf/ebpf_common.h"

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

#include "hook/bpf/talvek_hook_maps.h"
#include "hook/proc_text.h"

namespace {

// Records handed over by one poll at most, so that a caller under a steady
// stream still gets back control to flush and to notice signals.
constexpr int kPollBatch = 4096;

constexpr int kCapSysAdmin = 21;
constexpr int kCapPerfmon = 38;
constexpr int kCapBpf = 39;

// /proc/<pid>/status, or "" when it cannot be read.
std::string StatusText(pid_t pid) {
    char path[64];
    snprintf(path, sizeof(path), "/proc/%d/status", (int)pid);
    std::string text;
    ReadProcText(path, &text, 1 << 16);
    return text;
}

bool HasCap(uint64_t caps, int cap) {
    return (caps >> cap) & 1;
}

bool MayUseBpf() {
    const std::string status = StatusText(getpid());
    uint64_t caps = 0;
    ParseStatusMask(status.data(), status.size(), "CapEff", &caps);
    return HasCap(caps, kCapSysAdmin) || (HasCap(caps, kCapBpf) && HasCap(caps, kCapPerfmon));
}

int SilentPrint(enum libbpf_print_level, const char*, va_list) {
    return 0;
}

int DebugPrint(enum libbpf_print_level, const char* format, va_list args) {
    return vfprintf(stderr, format, args);
}

} // namespace

void EbpfSetLibbpfPrint() {
    const char* debug = getenv("TALVEK_HOOK_DEBUG");
    libbpf_set_print(debug != nullptr && *debug != 0 ? DebugPrint : SilentPrint);
}

bool EbpfFail(std::string* why, const std::string& what, int err, const char* hint) {
    *why = what + ": " + strerror(err < 0 ? -err : err) + " (" + hint + ")";
    return false;
}

namespace {

// The parent of a living process, or -1 (gone, or ended and not yet reaped).
pid_t ParentOf(pid_t pid) {
    char path[64];
    snprintf(path, sizeof(path), "/proc/%d/stat", (int)pid);
    std::string text;
    ProcStat stat;
    if (!ReadProcText(path, &text, 4096) || !ParseProcStat(text.data(), text.size(), &stat) ||
        stat.state == 'Z' || stat.state == 'X')
        return -1;
    return stat.ppid;
}

// `root` (a process, or a thread standing for its process) and every process
// below it now; new ones are added by the kernel side as they are made.
std::vector<pid_t> ProcessTree(pid_t root) {
    std::vector<pid_t> tree;
    const std::string status = StatusText(root);
    int32_t tgid = 0;
    if (!ParseStatusTgid(status.data(), status.size(), &tgid))
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
} // namespace

bool EbpfListTree(const EbpfProcTable& t, pid_t root) {
    std::vector<pid_t> tree = ProcessTree(root);
    if (tree.empty())
        return false;
    int fd = t.fd;
    for (pid_t pid : tree) {
        uint32_t key = (uint32_t)pid;
        uint8_t one = 1;
        int err = bpf_map_update_elem(fd, &key, &one, BPF_NOEXIST);
        if (err == 0)
            __atomic_fetch_add(t.listed, 1, __ATOMIC_SEQ_CST);
        else if (err != -EEXIST)
            return false;
        if (ParentOf(pid) < 0 && bpf_map_delete_elem(fd, &key) == 0)
            __atomic_fetch_sub(t.listed, 1, __ATOMIC_SEQ_CST);
    }
    return true;
}

bool EbpfFillProcessTable(const EbpfProcTable& t, const EbpfWatch& watch, std::string* why) {
    if (watch.all) {
        if (!EbpfListTree(t, getpid()))
            return EbpfFail(why, "excluding talvek-hook itself", errno);
        for (pid_t pid : watch.exclude)
            EbpfListTree(t, pid); // a process already gone has nothing to exclude
        return true;
    }
    for (pid_t pid : watch.roots)
        if (!EbpfListTree(t, pid)) {
            *why = "no process " + std::to_string(pid) + " to watch";
            return false;
        }
    return true;
}

bool EbpfAddTree(const EbpfProcTable& t, pid_t pid) {
    if (t.all)
        return true;
    if (pid == getpid())
        return false;
    return EbpfListTree(t, pid);
}

bool EbpfNoneWatched(const EbpfProcTable& t) {
    return !t.all && __atomic_load_n(t.listed, __ATOMIC_SEQ_CST) == 0;
}

namespace {

int64_t MsOf(const timespec& t) {
    return (int64_t)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

} // namespace

bool EbpfRingTake(EbpfRing* r) {
    if (++r->handed < kPollBatch)
        return true;
    r->batchFull = true;
    return false;
}

int EbpfRingPoll(EbpfRing* r, const EbpfProcTable& t, int timeoutMs) {
    r->handed = 0;
    r->batchFull = false;
    // Small batches come without a wake-up: look every few milliseconds.
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    int64_t deadline = MsOf(now) + std::max(timeoutMs, 0);
    for (;;) {
        int64_t left = deadline - MsOf(now);
        int n = ring_buffer__poll(r->ring, (int)std::min<int64_t>(left, TALVEK_READER_TICK_MS));
        if (n >= 0 && !r->batchFull)
            n = ring_buffer__consume(r->ring);
        if (n < 0 && !r->batchFull && n != -EINTR)
            return -1;
        if (r->handed > 0 || n == -EINTR)
            return r->handed;
        clock_gettime(CLOCK_MONOTONIC, &now);
        if (MsOf(now) >= deadline || EbpfNoneWatched(t))
            return 0;
    }
}

uint64_t EbpfSumCounters(int fd, uint32_t slots) {
    uint64_t total = 0;
    int cpus = libbpf_num_possible_cpus();
    if (cpus <= 0)
        return 0;
    std::vector<uint64_t> perCpu((size_t)cpus);
    for (uint32_t slot = 0; slot < slots; slot++) {
        if (bpf_map_lookup_elem(fd, &slot, perCpu.data()) != 0)
            continue;
        for (uint64_t n : perCpu)
            total += n;
    }
    return total;
}

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
    const std::string status = StatusText(getpid());
    std::string nspid;
    ParseStatusField(status.data(), status.size(), "NSpid", &nspid);
    if (nspid.find_first_of(" \t") != std::string::npos) {
        *why = "talvek-hook runs in a pid namespace of its own, where eBPF sees other process "
               "ids: run it on the host, or use --backend ptrace";
        return false;
    }
    return true;
}
