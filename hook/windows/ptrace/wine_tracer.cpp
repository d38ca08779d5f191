#include "hook/windows/ptrace/wine_tracer.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/audit.h>
#include <signal.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "hook/proc_text.h"
#include "hook/ptrace_tree.h"
#include "hook/trace_output.h"

// The thread whose memory nt_args.h reads (the one stopped at the call),
// by aligned lines of 64 bytes kept while it is stopped: the arguments on
// its stack, an OBJECT_ATTRIBUTES, a UNICODE_STRING, an IO_STATUS_BLOCK
// each come with one read. A line never crosses a page.
static pid_t g_readTid = 0;
static struct Line {
    uint64_t at = 0;
    bool valid = false;
    uint8_t bytes[64];
} g_lines[8];
static unsigned g_nextLine = 0;

// From now on reads are of thread tid's memory as it is now.
static void ReadFrom(pid_t tid) {
    g_readTid = tid;
    for (Line& line : g_lines)
        line.valid = false;
}

static const Line* LineAt(uint64_t at) {
    for (const Line& line : g_lines) {
        if (line.valid && line.at == at)
            return &line;
    }
    Line& line = g_lines[g_nextLine++ % 8];
    line.at = at;
    line.valid = TraceeRead(g_readTid, at, line.bytes, sizeof line.bytes);
    return line.valid ? &line : nullptr;
}

static int nt_read_user(void* dst, uint32_t size, uint64_t addr) {
    const uint64_t at = addr & ~uint64_t{63};
    // Within the line, measured from the line's start (addr is the
    // program's: addr + size may wrap).
    if (size <= 64 - (addr - at)) {
        if (const Line* line = LineAt(at)) {
            memcpy(dst, line->bytes + (addr - at), size);
            return 0;
        }
    }
    return TraceeRead(g_readTid, addr, dst, size) ? 0 : -1;
}

#include "hook/windows/nt_args.h"

namespace {

using ArgsReader = void (*)(nt_call*, uregs*, int wow, int sysv);
#define NT_ARGS_READER(name, call) name##_args,
constexpr ArgsReader kArgsReaders[] = {NT_WATCHED_FUNCTIONS(NT_ARGS_READER)};
#undef NT_ARGS_READER

// Where a watched call returns to, and NtCreateUserProcess: addresses in
// the first page, which no program may map (below vm.mmap_min_addr), so
// that the return faults there and the tracer sees it.
constexpr uint64_t kCallReturn = 0xa10;
constexpr uint64_t kCreateReturn = 0xa20;
constexpr uint8_t kInt3 = 0xCC;

constexpr unsigned kOptions = PTRACE_O_TRACESYSGOOD | PTRACE_O_TRACEFORK | PTRACE_O_TRACEVFORK |
                              PTRACE_O_TRACECLONE | PTRACE_O_TRACEEXEC;
constexpr uint64_t kMmapX86_64 = 9;
constexpr uint64_t kMmap2I386 = 192; // its offset counts pages of 4096 bytes

struct Breakpoint {
    const LibPlan* plan = nullptr;
    const PlannedBreakpoint* point = nullptr;
};

struct WineProcess {
    std::unordered_map<uint64_t, Breakpoint> points; // by address
    bool syscalls = false; // stopping at system calls until ntdll.so is in
    bool setUp = false;    // attached: its mappings looked at
    bool refused = false;  // its code differed from the file: left unpatched
    char comm[NTEV_COMM_SIZE] = {};
    int commFd = -1; // its /proc comm file, kept open
};

void Forget(WineProcess& p) {
    if (p.commFd >= 0)
        close(p.commFd);
    p.commFd = -1;
}

// A watched call in progress whose return the tracer redirected.
struct Frame {
    nt_call call{};
    uint64_t realReturn = 0;
};
// Calls in progress of a thread, innermost last: one, or more where a
// signal handler on a stack of its own made a call inside another (its sp
// above the other's), or a call was left by a jump past its return. Kept
// to a bound: past it the oldest (most likely one left) gets its real
// return address back and goes unrecorded.
constexpr size_t kMaxFrames = 16;

struct WineThread {
    pid_t tgid = 0;
    std::vector<Frame> frames;
    bool creating = false; // inside NtCreateUserProcess
    bool createWide = true;
    uint32_t createFlags = 0;
    uint64_t createReturn = 0;
    uint64_t createSp = 0;
    const LibPlan* mapping = nullptr; // an executable mapping of a Wine library in progress
    uint64_t mapOffset = 0;
    uint64_t mapLength = 0;
};

} // namespace

struct WineTraceSession {
    std::vector<LibPlan> plans;
    pid_t command = 0;
    bool commandEnded = false;
    int commandStatus = 0;
    std::unordered_map<pid_t, WineThread> threads;
    std::unordered_map<pid_t, WineProcess> processes;
    std::unordered_set<pid_t> early; // new tracees stopped before their parent's event
};

namespace {

uint64_t SlotMask(bool wide) {
    return wide ? ~0ull : 0xFFFFFFFFull;
}

bool WriteSlot(pid_t tid, uint64_t at, bool wide, uint64_t value) {
    return TraceeWrite(tid, at, &value, wide ? 8 : 4);
}

// Puts a redirected return address back, where the slot still holds the
// tracer's (a call that was left may have had its stack reused).
void PutBack(pid_t tid, uint64_t at, bool wide, uint64_t redirected, uint64_t real) {
    uint64_t now = 0;
    if (TraceeRead(tid, at, &now, wide ? 8 : 4) && now == redirected)
        WriteSlot(tid, at, wide, real);
}

uregs UregsOf(const user_regs_struct& regs) {
    static_assert(offsetof(user_regs_struct, ss) == offsetof(uregs, ss), "pt_regs order");
    uregs r;
    std::memcpy(&r, &regs, sizeof r);
    return r;
}

// Whether the process's program is one of Wine's loaders (wine, wine64,
// wine64-preloader, ...), which map ntdll.so; not its wineserver.
bool IsWineLoader(pid_t tid) {
    std::string exe;
    if (!ReadProcLink("/proc/" + std::to_string(tid) + "/exe", &exe))
        return false;
    const std::string base = exe.substr(exe.rfind('/') + 1);
    return base.rfind("wine", 0) == 0 && base.rfind("wineserver", 0) != 0;
}

void Resume(WineTraceSession* s, pid_t tid, int sig) {
    const auto t = s->threads.find(tid);
    const bool syscalls = t != s->threads.end() && s->processes[t->second.tgid].syscalls;
    ptrace(syscalls ? PTRACE_SYSCALL : PTRACE_CONT, tid, 0, sig);
}

// The process's name (its first thread's) as it is now: Wine names its
// processes after their .exe once they run. One read of a file kept open.
const char* ProcessComm(WineProcess& p, pid_t tgid) {
    if (p.commFd < 0)
        p.commFd = open(("/proc/" + std::to_string(tgid) + "/comm").c_str(), O_RDONLY | O_CLOEXEC);
    char text[NTEV_COMM_SIZE + 1];
    const ssize_t n = p.commFd >= 0 ? pread(p.commFd, text, NTEV_COMM_SIZE, 0) : -1;
    if (n > 0) {
        const std::string comm = ParseProcComm(text, static_cast<size_t>(n));
        const size_t length = std::min<size_t>(comm.size(), NTEV_COMM_SIZE - 1);
        std::memcpy(p.comm, comm.data(), length);
        p.comm[length] = '\0';
    }
    return p.comm;
}

void Refuse(WineProcess& p, pid_t tid, const std::string& what) {
    if (!p.refused)
        std::fprintf(stderr, "talvek-hook: process %d: %s; its Windows calls are not shown\n", tid,
                     what.c_str());
    p.refused = true;
    p.syscalls = false;
}

// The breakpoints of a library's functions that a new mapping of it (file
// bytes offset to offset + length, at base) holds, each checked against the
// file first.
void PlaceBreakpoints(WineProcess& p, pid_t tid, const LibPlan& plan, uint64_t base,
                      uint64_t offset, uint64_t length) {
    for (const PlannedBreakpoint& pt : plan.points) {
        const uint64_t at = base + (pt.fileOffset - offset);
        if (p.refused || pt.fileOffset < offset || pt.fileOffset - offset >= length ||
            p.points.count(at) != 0)
            continue;
        uint8_t now[sizeof pt.code];
        if (!TraceeRead(tid, at, now, pt.step.length) ||
            std::memcmp(now, pt.code, pt.step.length) != 0)
            return Refuse(p, tid,
                          std::string(pt.function) + " of " + plan.lib.path +
                              " differs from the file (another tracer's breakpoint?)");
        if (!TraceePatch(tid, at, &kInt3, 1))
            return Refuse(p, tid, "cannot write into " + plan.lib.path + ": " + strerror(errno));
        p.points[at] = {&plan, &pt};
    }
    if (p.points.size() >= plan.points.size())
        p.syscalls =
            false; // every breakpoint in (one ntdll.so a process): no more system-call stops
}

// The Wine library that is this file (the same wherever a process's root
// makes it appear), or nullptr.
const LibPlan* PlanOfFile(const WineTraceSession* s, uint64_t dev, uint64_t ino) {
    for (const LibPlan& plan : s->plans) {
        if (plan.dev == dev && plan.ino == ino)
            return &plan;
    }
    return nullptr;
}

// An attached process: the libraries it has mapped already.
void SetUpAttached(WineTraceSession* s, pid_t tid, WineProcess& p, pid_t tgid) {
    p.setUp = true;
    p.syscalls = IsWineLoader(tgid);
    std::FILE* f = std::fopen(("/proc/" + std::to_string(tgid) + "/maps").c_str(), "r");
    if (f == nullptr)
        return;
    char line[PATH_MAX + 128];
    while (std::fgets(line, sizeof line, f) != nullptr) {
        unsigned long long start = 0, end = 0, offset = 0, ino = 0;
        unsigned major = 0, minor = 0;
        char perms[5] = "";
        if (std::sscanf(line, "%llx-%llx %4s %llx %x:%x %llu", &start, &end, perms, &offset, &major,
                        &minor, &ino) != 7 ||
            perms[2] != 'x')
            continue;
        const LibPlan* plan = PlanOfFile(s, makedev(major, minor), ino);
        if (plan != nullptr)
            PlaceBreakpoints(p, tid, *plan, start, offset, end - start);
    }
    std::fclose(f);
}

// A system-call stop of a process whose ntdll.so is not in yet: an
// executable mapping of a Wine library, read at its entry and placed at
// its exit.
void OnSyscall(WineTraceSession* s, pid_t tid, WineThread& t) {
    SyscallInfo info;
    std::memset(&info, 0, sizeof info);
    if (ptrace(PTRACE_GET_SYSCALL_INFO, tid, sizeof info, &info) <= 0)
        return;
    if (info.op == kInfoEntry) {
        t.mapping = nullptr;
        const bool i386 = info.arch == AUDIT_ARCH_I386;
        const uint64_t* a = info.entry.args;
        const bool map = i386 ? info.entry.nr == kMmap2I386
                              : info.arch == AUDIT_ARCH_X86_64 && info.entry.nr == kMmapX86_64;
        if (!map || (a[2] & PROT_EXEC) == 0 || static_cast<int32_t>(a[4]) < 0)
            return;
        struct stat st;
        const std::string fd =
            "/proc/" + std::to_string(tid) + "/fd/" + std::to_string(static_cast<int32_t>(a[4]));
        const LibPlan* plan =
            stat(fd.c_str(), &st) == 0 ? PlanOfFile(s, st.st_dev, st.st_ino) : nullptr;
        if (plan != nullptr && plan->lib.wow == i386) {
            t.mapping = plan;
            t.mapOffset = i386 ? (a[5] & 0xFFFFFFFFu) * 4096 : a[5];
            t.mapLength = a[1];
        }
    } else if (info.op == kInfoExit && t.mapping != nullptr) {
        const LibPlan& plan = *t.mapping;
        t.mapping = nullptr;
        if (!info.exit.isError)
            PlaceBreakpoints(s->processes[t.tgid], tid, plan,
                             static_cast<uint64_t>(info.exit.rval) & SlotMask(!plan.lib.wow),
                             t.mapOffset, t.mapLength);
    }
}

// A watched function's entry: the call's arguments, and its return made to
// fault at kCallReturn; then its first instruction done for it.
bool OnBreakpoint(WineTraceSession* s, pid_t tid, WineThread& t, user_regs_struct& regs) {
    WineProcess& p = s->processes[t.tgid];
    const uint64_t at = regs.rip - 1;
    const auto found = p.points.find(at);
    if (found == p.points.end())
        return false;
    const PlannedBreakpoint& pt = *found->second.point;
    const WineLib& lib = found->second.plan->lib;
    const bool wide = !lib.wow;
    const int sysv = lib.call == WineCall::SysV64 ? 1 : 0;
    const uint64_t sp = regs.rsp & SlotMask(wide);
    uregs r = UregsOf(regs);
    uint64_t ret = 0;
    const bool inner = !t.frames.empty() && sp < t.frames.back().call.entry_sp; // inside it
    ReadFrom(tid);
    if (pt.call == kCreateProcessCall) {
        if (!t.creating && nt_read_user(&ret, wide ? 8 : 4, sp) == 0 &&
            WriteSlot(tid, sp, wide, kCreateReturn)) {
            t.creating = true;
            t.createWide = wide;
            t.createFlags = nt_create_process_flags(&r, lib.wow, sysv);
            t.createReturn = ret;
            t.createSp = sp;
        }
    } else if (!inner) {
        if (t.frames.size() >= kMaxFrames) { // the oldest returns unrecorded
            const Frame& oldest = t.frames.front();
            PutBack(tid, oldest.call.entry_sp, oldest.call.wow == 0, kCallReturn,
                    oldest.realReturn);
            t.frames.erase(t.frames.begin());
        }
        t.frames.emplace_back();
        Frame& f = t.frames.back();
        nt_begin(&f.call, pt.call, lib.wow, sp, static_cast<__u32>(t.tgid),
                 static_cast<__u32>(tid));
        kArgsReaders[pt.index](&f.call, &r, lib.wow, sysv);
        nt_mark_wow64(&f.call, regs.gs_base);
        nt_args_done(&f.call);
        if (nt_read_user(&ret, wide ? 8 : 4, sp) == 0 && WriteSlot(tid, sp, wide, kCallReturn))
            f.realReturn = ret;
        else
            t.frames.pop_back();
    }
    const auto write = [tid](uint64_t address, uint64_t value, size_t size) {
        return TraceeWrite(tid, address, &value, size);
    };
    return ApplyEntryStep(pt.step, at, wide, &regs, write) &&
           ptrace(PTRACE_SETREGS, tid, 0, &regs) == 0;
}

// A fault at one of the return addresses: the call's result, and the thread
// sent on to where the call was to return.
int OnReturn(WineTraceSession* s, pid_t tid, WineThread& t, user_regs_struct& regs, NtSink sink,
             void* ctx, bool* handled) {
    *handled = false;
    if (regs.rip == kCreateReturn && t.creating) {
        t.creating = false;
        regs.rip = t.createReturn;
        *handled = ptrace(PTRACE_SETREGS, tid, 0, &regs) == 0;
        return 0;
    }
    if (regs.rip != kCallReturn || t.frames.empty())
        return 0;
    ReadFrom(tid);
    Frame f = std::move(t.frames.back()); // the innermost returns first
    t.frames.pop_back();
    nt_complete(&f.call, regs.rax & SlotMask(f.call.wow == 0));
    f.call.ev.ts_ns = NowNs();
    std::memcpy(f.call.ev.comm, ProcessComm(s->processes[t.tgid], t.tgid), NTEV_COMM_SIZE);
    regs.rip = f.realReturn;
    *handled = ptrace(PTRACE_SETREGS, tid, 0, &regs) == 0;
    sink(f.call.ev, ctx);
    return 1;
}

int Emit(pid_t tgid, pid_t tid, uint16_t call, NtSink sink, void* ctx, const ntev* like = nullptr) {
    ntev ev;
    std::memset(&ev, 0, offsetof(ntev, name));
    if (like != nullptr)
        ev = *like;
    ev.call = call;
    ev.pid = static_cast<uint32_t>(tgid);
    ev.tid = static_cast<uint32_t>(tid);
    ev.ts_ns = NowNs();
    sink(ev, ctx);
    return 1;
}

// A new thread or process of a tracee's: a process starts as a copy of its
// parent (its memory holds the same breakpoints and return addresses).
int OnNew(WineTraceSession* s, pid_t tid, WineThread& t, int event, NtSink sink, void* ctx) {
    unsigned long child = 0;
    ptrace(PTRACE_GETEVENTMSG, tid, 0, &child);
    const pid_t newTid = static_cast<pid_t>(child);
    const bool thread = event == PTRACE_EVENT_CLONE && TgidOf(newTid) == t.tgid;
    int events = 0;
    if (thread) {
        s->threads[newTid].tgid = t.tgid;
    } else {
        WineThread copy = t;
        copy.tgid = newTid;
        copy.mapping = nullptr;
        WineProcess& child = s->processes[newTid];
        child = s->processes[t.tgid];
        child.commFd = -1; // its own
        s->threads[newTid] = copy;
        ntev fork;
        std::memset(&fork, 0, offsetof(ntev, name));
        fork.root = static_cast<uint64_t>(t.tgid);
        if (t.creating) { // NtCreateUserProcess's fork: whether it inherits handles
            fork.a[0] = t.createFlags;
            fork.a[1] = 1;
        }
        events = Emit(newTid, newTid, NTEV_PROCESS_FORK, sink, ctx, &fork);
    }
    if (s->early.erase(newTid) != 0)
        Resume(s, newTid, 0);
    return events;
}

int OnExec(WineTraceSession* s, pid_t tid, WineThread& t, NtSink sink, void* ctx) {
    unsigned long former = 0;
    ptrace(PTRACE_GETEVENTMSG, tid, 0, &former);
    if (static_cast<pid_t>(former) != tid)
        s->threads.erase(static_cast<pid_t>(former)); // the leader's id went to this thread
    const pid_t tgid = t.tgid;
    t = WineThread{};
    t.tgid = tgid;
    WineProcess& p = s->processes[tgid];
    Forget(p);
    p = WineProcess{};
    p.setUp = true;
    p.syscalls = IsWineLoader(tid);
    return Emit(tgid, tid, NTEV_PROCESS_EXEC, sink, ctx);
}

int OnStop(WineTraceSession* s, pid_t tid, int status, NtSink sink, void* ctx) {
    const auto it = s->threads.find(tid);
    if (it == s->threads.end()) {
        s->early.insert(tid); // resumed once its parent's event names it
        return 0;
    }
    WineThread& t = it->second;
    const int sig = WSTOPSIG(status);
    const int event = status >> 16;
    if (sig == (SIGTRAP | 0x80)) {
        OnSyscall(s, tid, t);
        Resume(s, tid, 0);
        return 0;
    }
    int events = 0;
    if (sig == SIGTRAP && (event == PTRACE_EVENT_FORK || event == PTRACE_EVENT_VFORK ||
                           event == PTRACE_EVENT_CLONE)) {
        events = OnNew(s, tid, t, event, sink, ctx);
        Resume(s, tid, 0);
        return events;
    }
    if (sig == SIGTRAP && event == PTRACE_EVENT_EXEC) {
        events = OnExec(s, tid, t, sink, ctx);
        Resume(s, tid, 0);
        return events;
    }
    if (event == PTRACE_EVENT_STOP) {
        WineProcess& p = s->processes[t.tgid];
        if (!p.setUp)
            SetUpAttached(s, tid, p, t.tgid);
        if (IsGroupStop(sig))
            ptrace(PTRACE_LISTEN, tid, 0, 0); // a group stop: stay stopped
        else
            Resume(s, tid, 0);
        return 0;
    }
    if (event == 0 && (sig == SIGTRAP || sig == SIGSEGV)) {
        user_regs_struct regs;
        bool handled = false;
        if (ptrace(PTRACE_GETREGS, tid, 0, &regs) == 0) {
            if (sig == SIGTRAP)
                handled = OnBreakpoint(s, tid, t, regs);
            else
                events = OnReturn(s, tid, t, regs, sink, ctx, &handled);
        }
        if (handled) {
            Resume(s, tid, 0);
            return events;
        }
    }
    Resume(s, tid, sig); // a signal for the tracee: deliver it
    return events;
}

int OnEnd(WineTraceSession* s, pid_t tid, int status, NtSink sink, void* ctx) {
    if (tid == s->command) {
        s->commandEnded = true;
        s->commandStatus = status;
    }
    const auto it = s->threads.find(tid);
    if (it == s->threads.end())
        return 0;
    const pid_t tgid = it->second.tgid;
    s->threads.erase(it);
    if (tid != tgid)
        return 0;
    Forget(s->processes[tgid]);
    s->processes.erase(tgid);
    return Emit(tgid, tid, NTEV_PROCESS_EXIT, sink, ctx);
}

// Whether the return addresses can be made to fault here: nothing may be
// mapped below vm.mmap_min_addr.
bool ReturnsFault(std::string* why) {
    unsigned long long minAddr = 0;
    if (std::FILE* f = std::fopen("/proc/sys/vm/mmap_min_addr", "r")) {
        if (std::fscanf(f, "%llu", &minAddr) != 1)
            minAddr = 0;
        std::fclose(f);
    }
    if (minAddr > kCreateReturn)
        return true;
    *why = "the Windows view under ptrace needs vm.mmap_min_addr above " +
           std::to_string(kCreateReturn) + " (it is " + std::to_string(minAddr) +
           "): use the eBPF backend (as root)";
    return false;
}

// A thread stopped while detaching: sent on where the tracer's changes,
// already put back, had it.
int SignalOnDetach(WineTraceSession* s, pid_t tid, int status) {
    const auto it = s->threads.find(tid);
    user_regs_struct regs;
    if (it == s->threads.end() || (status >> 16) != 0 || ptrace(PTRACE_GETREGS, tid, 0, &regs) != 0)
        return SignalToDeliver(status);
    const WineThread& t = it->second;
    const int sig = WSTOPSIG(status);
    const WineProcess& p = s->processes[t.tgid];
    if (sig == SIGSEGV && regs.rip == kCallReturn && !t.frames.empty())
        regs.rip = t.frames.back().realReturn;
    else if (sig == SIGSEGV && regs.rip == kCreateReturn && t.creating)
        regs.rip = t.createReturn;
    else if (sig == SIGTRAP && p.points.count(regs.rip - 1) != 0)
        regs.rip -= 1; // its instruction is back: do it
    else
        return SignalToDeliver(status);
    ptrace(PTRACE_SETREGS, tid, 0, &regs);
    return 0;
}

} // namespace

WineTraceSession* WineTraceStart(pid_t command, const std::vector<pid_t>& attach,
                                 std::vector<LibPlan> plans, std::string* why) {
    if (!ReturnsFault(why))
        return nullptr;
    auto* s = new WineTraceSession;
    s->plans = std::move(plans);
    if (command > 0) {
        s->command = command;
        if (!SeizeCommand(command, kOptions, why)) {
            delete s;
            return nullptr;
        }
        s->threads[command].tgid = command;
        s->processes[command].setUp = true; // it runs Wine only after its exec
        return s;
    }
    const auto added = [s](pid_t tid, pid_t tgid) { s->threads[tid].tgid = tgid; };
    for (const pid_t pid : attach) {
        if (!AttachTree(pid, kOptions, added, why)) {
            WineTraceStop(s);
            return nullptr;
        }
    }
    return s;
}

int WineTracePoll(WineTraceSession* s, int timeoutMs, NtSink sink, void* ctx) {
    // Over once no tracee is left, or the command has ended: what it left
    // behind (a wineserver, a service) is let go on untraced.
    return PollTracees(
        timeoutMs, [&](pid_t tid, int status) { return OnStop(s, tid, status, sink, ctx); },
        [&](pid_t tid, int status) { return OnEnd(s, tid, status, sink, ctx); },
        [s] { return s->threads.empty() || s->commandEnded; });
}

bool WineTraceCommandEnded(const WineTraceSession* s, int* status) {
    *status = s->commandStatus;
    return s->commandEnded;
}

void WineTraceStop(WineTraceSession* s) {
    // Every patched byte and every return address back, from a thread of
    // each process (its first may have ended already).
    std::unordered_map<pid_t, pid_t> threadOf;
    std::vector<pid_t> tids;
    for (const auto& [tid, t] : s->threads) {
        threadOf[t.tgid] = tid;
        tids.push_back(tid);
        for (const Frame& f : t.frames)
            PutBack(tid, f.call.entry_sp, f.call.wow == 0, kCallReturn, f.realReturn);
        if (t.creating)
            PutBack(tid, t.createSp, t.createWide, kCreateReturn, t.createReturn);
    }
    for (const auto& [tgid, p] : s->processes) {
        if (threadOf.count(tgid) == 0)
            continue;
        for (const auto& [at, bp] : p.points)
            TraceePatch(threadOf[tgid], at, bp.point->code, 1);
    }
    DetachAll(tids, [s](pid_t tid, int status) { return SignalOnDetach(s, tid, status); });
    for (auto& [tgid, p] : s->processes)
        Forget(p);
    delete s;
}
