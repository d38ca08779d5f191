#include "hook/system/ptrace/ptrace_backend.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/user.h>
#include <ucontext.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "hook/proc_text.h"
#include "hook/ptrace_tree.h"
#include "hook/trace_output.h"
#include "hook/system/process_root.h"
#include "hook/system/received_fd.h"
#include "hook/system/arch/syscall_decode.h"

namespace {

// The kernel's restart codes, which never reach the program.
constexpr int64_t kErestartSys = 512;
constexpr int64_t kErestartNoIntr = 513;
constexpr int64_t kErestartBlock = 516;

constexpr unsigned kOptions = PTRACE_O_TRACESYSGOOD | PTRACE_O_TRACEFORK | PTRACE_O_TRACEVFORK |
                              PTRACE_O_TRACECLONE | PTRACE_O_TRACEEXEC | PTRACE_O_TRACESECCOMP;

struct Tracee {
    pid_t tgid = 0;
    bool pending = false;                // a watched call is between its entry and its exit
    const SyscallTable* table = nullptr; // the pending call's architecture
    ExitRead exitRead;
    int64_t restart = 0;   // the call ended in this restart code: EINTR or made again
    bool stepping = false; // stepped into a signal handler to see what the call became
    sysev ev;
};

} // namespace

struct PtraceSession {
    bool seccomp = false;     // the command's tree: stops only at watched calls
    bool passThrough = false; // watching stopped: every stop resumed at once
    pid_t command = 0;
    bool commandEnded = false;
    int commandStatus = 0;
    std::unordered_map<pid_t, Tracee> tracees;
    std::unordered_set<pid_t> early;              // new tracees stopped before their parent's event
    std::unordered_map<pid_t, std::string> comms; // by process
    PtraceCounters counters;
    PtraceFollows follows = nullptr;
    PtraceFollows appends = nullptr;
    void* followsCtx = nullptr;
    PtraceWanted wanted = nullptr;
    void* wantedCtx = nullptr;
};

namespace {

void Resume(PtraceSession* s, pid_t tid, int sig) {
    ptrace(s->seccomp ? PTRACE_CONT : PTRACE_SYSCALL, tid, 0, sig);
}

const std::string& CommOf(PtraceSession* s, pid_t tgid, bool reread) {
    std::string& comm = s->comms[tgid];
    if (comm.empty() || reread) {
        char path[64];
        std::snprintf(path, sizeof path, "/proc/%d/comm", tgid);
        std::string text;
        ReadProcText(path, &text, SYSEV_COMM_SIZE + 1);
        comm = ParseProcComm(text.data(), text.size());
    }
    return comm;
}

// ---- What holds at the call, read while the tracee is stopped ----

std::string ProcName(pid_t tid, const char* what, int64_t fd = -1) {
    std::string name = "/proc/" + std::to_string(tid) + "/" + what;
    return fd >= 0 ? name + "/" + std::to_string(fd) : name;
}

constexpr uint64_t kResolveInRoot = 0x10; // openat2's RESOLVE_IN_ROOT

// Whether the folder that a name of the call lies in exists, resolved by the
// kernel as the call did: from the tracee's root, working folder or base
// descriptor (so that its links and mounts count).
bool NameFolderExists(pid_t tid, int32_t dirfd, const char* name, bool inRoot) {
    std::string n = name;
    while (n.size() > 1 && n.back() == '/')
        n.pop_back();
    const size_t slash = n.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : n.substr(0, slash + 1);
    const std::string base = !n.empty() && n[0] == '/' && !inRoot ? ProcName(tid, "root")
                             : dirfd == SYSEV_AT_FDCWD            ? ProcName(tid, "cwd")
                                                                  : ProcName(tid, "fd", dirfd);
    struct stat st;
    return stat((base + "/" + folder).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A failed call's missing name: whether its folders existed.
void NoteFolders(pid_t tid, sysev* ev) {
    if ((ev->flags & (SYSEV_PATH1_CUT | SYSEV_PATH2_CUT)) != 0 || ev->path1[0] == '\0')
        return;
    ev->state |= SYSEV_ST_FOLDERS;
    const bool inRoot = ev->call == SYSEV_OPEN && (ev->a[2] & kResolveInRoot) != 0;
    if (!NameFolderExists(tid, ev->fd, ev->path1, inRoot))
        ev->state |= SYSEV_ST_NO_FOLDER1;
    if (ev->call == SYSEV_RENAME && !NameFolderExists(tid, ev->fd2, ev->path2, false))
        ev->state |= SYSEV_ST_NO_FOLDER2;
}

// The name of a base descriptor that the caller does not follow, into path2,
// as the process sees it (/proc gives it from the hook's root).
void NoteBase(pid_t tid, sysev* ev) {
    std::string name;
    if (!ReadProcLink(ProcName(tid, "fd", ev->fd), &name))
        return;
    ev->state |= SYSEV_ST_BASE;
    if (!NameAsProcessSees(static_cast<uint32_t>(tid), &name)) {
        ev->state |= SYSEV_ST_BASE_OUTSIDE;
        return;
    }
    if (name.size() >= SYSEV_PATH_SIZE) {
        ev->state |= SYSEV_ST_BASE_CUT;
        return;
    }
    std::memcpy(ev->path2, name.c_str(), name.size() + 1);
}

bool SizeOf(pid_t tid, int32_t fd, uint64_t* size) {
    struct stat st;
    if (stat(ProcName(tid, "fd", fd).c_str(), &st) != 0)
        return false;
    *size = static_cast<uint64_t>(st.st_size);
    return true;
}

// The descriptor's position, from /proc/<tid>/fdinfo/<fd>.
bool PositionOf(pid_t tid, int32_t fd, uint64_t* pos) {
    std::string text;
    if (!ReadProcText(ProcName(tid, "fdinfo", fd).c_str(), &text, 4096))
        return false;
    const FdInfo info = ParseFdInfo(text.data(), text.size());
    *pos = info.pos;
    return info.hasPos;
}

void StartEvent(PtraceSession* s, pid_t tid, const Tracee& t, uint16_t call, sysev* ev) {
    std::memset(ev, 0, offsetof(sysev, path1));
    ev->path1[0] = ev->path2[0] = '\0';
    ev->pid = static_cast<uint32_t>(t.tgid);
    ev->tid = static_cast<uint32_t>(tid);
    ev->call = call;
    const std::string& comm = CommOf(s, t.tgid, false);
    std::memcpy(ev->comm, comm.c_str(), comm.size() < SYSEV_COMM_SIZE ? comm.size() + 1 : 0);
    ev->comm[SYSEV_COMM_SIZE - 1] = '\0';
}

// Whether a call acts only on its descriptor, with no name and no state
// beyond it (dup and fchdir change what later calls mean: not these).
bool OnDescriptorOnly(const sysev& ev) {
    switch (ev.call) {
    case SYSEV_READ:
    case SYSEV_WRITE:
    case SYSEV_LSEEK:
    case SYSEV_FSYNC:
    case SYSEV_FCNTL_LOCK:
    case SYSEV_FLOCK:
    case SYSEV_GETDENTS:
    case SYSEV_FSTATFS:
    case SYSEV_SYNCFS:
    case SYSEV_CLOSE:
        return true;
    case SYSEV_STAT:
    case SYSEV_UTIMENS:
        return ev.path1[0] == '\0' && (ev.flags & SYSEV_PATH1_UNREADABLE) == 0 &&
               (ev.call == SYSEV_UTIMENS || (ev.a[0] & AT_EMPTY_PATH) != 0);
    default:
        return false;
    }
}

ProcessMemory MemoryOf(pid_t tid) {
    return [tid](uint64_t address, void* out, size_t size) {
        return TraceeRead(tid, address, out, size);
    };
}

// A call's entry (seccomp stop, or syscall-entry stop): read it.
void OnEntry(PtraceSession* s, pid_t tid, Tracee& t, uint32_t arch, uint64_t nr,
             const uint64_t* args) {
    t.pending = false;
    t.restart = 0; // an interrupted call made again: this is its entry
    t.table = SyscallTableOf(arch);
    const SyscallDecode* d = t.table == nullptr ? nullptr : FindSyscallDecode(*t.table, nr);
    if (d == nullptr)
        return;
    if (d->extra == ArgExtra::ProcessName) {
        // Wine names its processes after their .exe this way.
        char name[SYSEV_COMM_SIZE] = "";
        if (args[0] == PR_SET_NAME && tid == t.tgid &&
            TraceeRead(tid, args[1], name, sizeof name - 1))
            s->comms[t.tgid] = name;
        return;
    }
    StartEvent(s, tid, t, SYSEV_NONE, &t.ev);
    t.pending = DecodeEntry(*t.table, *d, args, MemoryOf(tid), &t.ev, &t.exitRead);
    if (t.pending && s->wanted != nullptr && !s->wanted(t.ev, s->wantedCtx)) {
        t.pending = false;
        ++s->counters.unwanted;
    }
    if (!t.pending || s->follows == nullptr)
        return;
    sysev& ev = t.ev;
    const auto follows = [&](int32_t fd) { return s->follows(ev.pid, fd, s->followsCtx); };
    const bool copy = ev.call == SYSEV_COPY;
    if ((OnDescriptorOnly(ev) || ev.call == SYSEV_SETFD || copy) && !follows(ev.fd) &&
        (!copy || !follows(ev.fd2))) {
        t.pending = false;
        ++s->counters.skipped;
        return;
    }
    // What the call depends on, taken now: a base descriptor's name, the
    // size that a lock from the end or a whole-file clone counts from.
    const bool relative =
        ev.path1[0] != '/' || (ev.call == SYSEV_OPEN && (ev.a[2] & kResolveInRoot));
    const bool named = ev.path1[0] != '\0' || ev.call == SYSEV_FCHDIR;
    if (ev.fd >= 0 && named && relative && ev.call != SYSEV_RENAME && !follows(ev.fd))
        NoteBase(tid, &ev);
    const bool fromEnd = ev.call == SYSEV_FCNTL_LOCK && (ev.a[1] >> 16) == SEEK_END;
    if ((fromEnd || (copy && (ev.a[3] & SYSEV_COPY_WHOLE))) && SizeOf(tid, ev.fd, &ev.size))
        ev.state |= SYSEV_ST_SIZE;
}

// Descriptors received over a socket: one record each, with the name and
// kind the kernel gives them now, while the process is stopped. A message
// without descriptors is a call let run unread.
int OnReceived(PtraceSession* s, pid_t tid, const sysev& call, const std::vector<int32_t>& fds,
               SysevSink sink, void* ctx) {
    if (fds.empty()) {
        ++s->counters.skipped;
        return 0;
    }
    for (const int32_t fd : fds) {
        sysev ev = call;
        ev.ret = fd;
        DescribeReceived(static_cast<uint32_t>(tid), &ev);
        ++s->counters.seen;
        sink(ev, ctx);
    }
    return static_cast<int>(fds.size());
}

// A call's exit: complete and hand over the event.
int HandOver(PtraceSession* s, pid_t tid, Tracee& t, int64_t rval, SysevSink sink, void* ctx);

int OnExit(PtraceSession* s, pid_t tid, Tracee& t, int64_t rval, SysevSink sink, void* ctx) {
    if (!t.pending)
        return 0;
    t.pending = false;
    if (rval <= -kErestartSys && rval >= -kErestartBlock) {
        t.restart = rval; // the signal that interrupted it decides
        return 0;
    }
    return HandOver(s, tid, t, rval, sink, ctx);
}

// Whether the process has a handler for the signal (SigCgt).
bool Caught(pid_t tid, int sig) {
    std::string text;
    uint64_t mask = 0;
    if (!ReadProcText(ProcName(tid, "status").c_str(), &text, 4096) ||
        !ParseStatusMask(text.data(), text.size(), "SigCgt", &mask))
        return false;
    return sig >= 1 && sig <= 64 && ((mask >> (sig - 1)) & 1) != 0;
}

// A signal for a tracee whose call was interrupted. Without a handler the
// kernel makes the call again (its entry comes again) or the process ends;
// with one the program gets EINTR, unless the call is one the kernel makes
// again anyway (ERESTARTNOINTR) or by the handler's SA_RESTART: then the
// tracee steps into the handler, where the saved registers tell. Returns
// whether the tracee was resumed.
bool OnInterruptingSignal(PtraceSession* s, pid_t tid, Tracee& t, int sig, SysevSink sink,
                          void* ctx, int* events) {
    const int64_t code = -t.restart;
    if (!Caught(tid, sig) || code == kErestartNoIntr) {
        t.restart = 0;
        return false;
    }
    if (code == kErestartSys) {
        t.stepping = true;
        ptrace(PTRACE_SINGLESTEP, tid, 0, sig);
        return true;
    }
    t.restart = 0;
    *events += HandOver(s, tid, t, -EINTR, sink, ctx);
    return false;
}

// The first instruction of the handler: the interrupted call's result as the
// signal frame keeps it (-EINTR, or the call's number to make it again).
// The interrupted call's result as the signal frame saved it, read at the
// handler's entry. x86_64: the return address, then the ucontext. i386: with
// SA_SIGINFO the kernel points cx at the frame's ucontext (its sigcontext 20
// bytes in); without, the old frame has the return address and the signal
// number before its sigcontext, and cx is 0. eax is 44 bytes into an i386
// sigcontext.
bool SavedResult(pid_t tid, bool wide, int64_t* saved) {
    user_regs_struct regs;
    if (ptrace(PTRACE_GETREGS, tid, 0, &regs) != 0)
        return false;
    if (wide) {
        const size_t raxAt = sizeof(uint64_t) + offsetof(ucontext_t, uc_mcontext.gregs[REG_RAX]);
        return TraceeRead(tid, regs.rsp + raxAt, saved, sizeof *saved);
    }
    constexpr uint64_t kEaxInSigcontext = 44;
    const uint64_t ucontext = regs.rcx & 0xFFFFFFFFu;
    const uint64_t sigcontext = ucontext != 0 ? ucontext + 20 : (regs.rsp & 0xFFFFFFFFu) + 8;
    int32_t eax = 0;
    if (!TraceeRead(tid, sigcontext + kEaxInSigcontext, &eax, sizeof eax))
        return false;
    *saved = eax;
    return true;
}

int OnHandlerEntry(PtraceSession* s, pid_t tid, Tracee& t, SysevSink sink, void* ctx) {
    t.stepping = false;
    const int64_t code = t.restart;
    t.restart = 0;
    int64_t saved = 0;
    const bool wide = t.table == nullptr || t.table->wide;
    if (code == 0 || !SavedResult(tid, wide, &saved) || saved != -EINTR)
        return 0;
    return HandOver(s, tid, t, -EINTR, sink, ctx);
}

// Completes the call's record with its result and hands it over.
int HandOver(PtraceSession* s, pid_t tid, Tracee& t, int64_t rval, SysevSink sink, void* ctx) {
    sysev& ev = t.ev;
    ev.ret = rval;
    ev.ts_ns = NowNs();
    if (t.exitRead.what != ArgExtra::None) {
        std::vector<int32_t> received;
        DecodeExit(*t.table, t.exitRead, rval, MemoryOf(tid), &ev, &received);
        if (ev.call == SYSEV_RECEIVE_FD)
            return OnReceived(s, tid, ev, received, sink, ctx);
    }
    if (ev.call == SYSEV_OPEN && rval >= 0)
        ev.fd_kind = DescriptorKind(static_cast<uint32_t>(tid), rval);
    if (rval == -ENOENT)
        NoteFolders(tid, &ev);
    if (ev.call == SYSEV_WRITE && ev.a[3] == 0 && rval >= 0 && s->appends != nullptr &&
        s->appends(ev.pid, ev.fd, s->followsCtx) && PositionOf(tid, ev.fd, &ev.pos_after))
        ev.state |= SYSEV_ST_POS;
    ++s->counters.seen;
    if ((ev.flags & (SYSEV_PATH1_UNREADABLE | SYSEV_PATH2_UNREADABLE)) != 0)
        ++s->counters.lostPath;
    sink(ev, ctx);
    return 1;
}

int Emit(PtraceSession* s, pid_t tid, const Tracee& t, uint16_t call, int64_t ret, uint64_t a0,
         SysevSink sink, void* ctx) {
    sysev ev;
    StartEvent(s, tid, t, call, &ev);
    ev.ret = ret;
    ev.a[0] = a0;
    ev.ts_ns = NowNs();
    sink(ev, ctx);
    return 1;
}

// After PtracePassThrough: resumes the stop at once, reading nothing but what
// tells when the tree has ended (its new processes, an exec's former id).
void PassStop(PtraceSession* s, pid_t tid, int status) {
    const int sig = WSTOPSIG(status);
    const int event = status >> 16;
    Tracee& t = s->tracees[tid]; // a new process stopped before its parent's event: known now
    if (event == PTRACE_EVENT_FORK || event == PTRACE_EVENT_VFORK || event == PTRACE_EVENT_CLONE) {
        unsigned long child = 0;
        ptrace(PTRACE_GETEVENTMSG, tid, 0, &child);
        const pid_t newTid = static_cast<pid_t>(child);
        s->tracees[newTid];
        if (s->early.erase(newTid) != 0)
            ptrace(PTRACE_CONT, newTid, 0, 0);
    } else if (event == PTRACE_EVENT_EXEC) {
        unsigned long former = 0;
        ptrace(PTRACE_GETEVENTMSG, tid, 0, &former);
        if (static_cast<pid_t>(former) != tid)
            s->tracees.erase(static_cast<pid_t>(former));
    } else if (event == PTRACE_EVENT_STOP && IsGroupStop(sig)) {
        ptrace(PTRACE_LISTEN, tid, 0, 0); // a group stop: stay stopped
        return;
    }
    const bool stepped = sig == SIGTRAP && t.stepping;
    t.stepping = false;
    t.pending = false;
    const bool signal = event == 0 && sig != (SIGTRAP | 0x80) && !stepped;
    ptrace(PTRACE_CONT, tid, 0, signal ? sig : 0); // a signal for the tracee: deliver it
}

int OnStop(PtraceSession* s, pid_t tid, int status, SysevSink sink, void* ctx) {
    if (s->passThrough) {
        PassStop(s, tid, status);
        return 0;
    }
    const auto it = s->tracees.find(tid);
    if (it == s->tracees.end()) {
        s->early.insert(tid); // resumed once its parent's event names it
        return 0;
    }
    Tracee& t = it->second;
    const int sig = WSTOPSIG(status);
    const int event = status >> 16;
    int events = 0;
    if (sig == (SIGTRAP | 0x80) || (sig == SIGTRAP && event == PTRACE_EVENT_SECCOMP)) {
        SyscallInfo info;
        std::memset(&info, 0, sizeof info);
        if (ptrace(PTRACE_GET_SYSCALL_INFO, tid, sizeof info, &info) > 0) {
            if (info.op == kInfoSeccomp) {
                OnEntry(s, tid, t, info.arch, info.seccomp.nr, info.seccomp.args);
                // Stop again at the call's exit for its result.
                ptrace(t.pending ? PTRACE_SYSCALL : PTRACE_CONT, tid, 0, 0);
                return 0;
            }
            if (info.op == kInfoEntry)
                OnEntry(s, tid, t, info.arch, info.entry.nr, info.entry.args);
            else if (info.op == kInfoExit)
                events += OnExit(s, tid, t, info.exit.rval, sink, ctx);
        }
        Resume(s, tid, 0);
        return events;
    }
    if (sig == SIGTRAP && (event == PTRACE_EVENT_FORK || event == PTRACE_EVENT_VFORK ||
                           event == PTRACE_EVENT_CLONE)) {
        unsigned long child = 0;
        ptrace(PTRACE_GETEVENTMSG, tid, 0, &child);
        const pid_t newTid = static_cast<pid_t>(child);
        const pid_t newTgid = TgidOf(newTid);
        const bool thread = newTgid == t.tgid;
        s->tracees[newTid].tgid = thread ? t.tgid : newTid;
        if (!thread)
            s->comms[newTid] = CommOf(s, t.tgid, false);
        events += Emit(s, tid, t, SYSEV_FORK, newTid, thread ? 1 : 0, sink, ctx);
        if (s->early.erase(newTid) != 0)
            Resume(s, newTid, 0);
        Resume(s, tid, 0);
        return events;
    }
    if (sig == SIGTRAP && event == PTRACE_EVENT_EXEC) {
        unsigned long former = 0;
        ptrace(PTRACE_GETEVENTMSG, tid, 0, &former);
        if (static_cast<pid_t>(former) != tid)
            s->tracees.erase(static_cast<pid_t>(former)); // the leader's id went to this thread
        t.pending = false;
        CommOf(s, t.tgid, true);
        events += Emit(s, tid, t, SYSEV_EXEC, 0, 0, sink, ctx);
        Resume(s, tid, 0);
        return events;
    }
    if (event == PTRACE_EVENT_STOP) {
        if (IsGroupStop(sig))
            ptrace(PTRACE_LISTEN, tid, 0, 0); // a group stop: stay stopped
        else
            Resume(s, tid, 0);
        return 0;
    }
    if (sig == SIGTRAP && event == 0 && t.stepping) {
        events += OnHandlerEntry(s, tid, t, sink, ctx);
        Resume(s, tid, 0);
        return events;
    }
    if (t.restart != 0 && OnInterruptingSignal(s, tid, t, sig, sink, ctx, &events))
        return events;
    Resume(s, tid, sig); // a signal for the tracee: deliver it
    return events;
}

int OnEnd(PtraceSession* s, pid_t tid, int status, SysevSink sink, void* ctx) {
    if (tid == s->command) {
        s->commandEnded = true;
        s->commandStatus = status;
    }
    const auto it = s->tracees.find(tid);
    if (it == s->tracees.end())
        return 0;
    const Tracee t = it->second;
    s->tracees.erase(it);
    if (tid != t.tgid || s->passThrough)
        return 0;
    const int events = Emit(s, tid, t, SYSEV_EXIT, 0, 0, sink, ctx);
    s->comms.erase(t.tgid);
    return events;
}

// Detaches from every tracee: they run on.
void Detach(PtraceSession* s) {
    std::vector<pid_t> tids;
    for (const auto& [tid, t] : s->tracees)
        tids.push_back(tid);
    DetachAll(tids);
    s->tracees.clear();
}

} // namespace

PtraceSession* PtraceStart(pid_t command, const std::vector<pid_t>& attach, PtraceFollows follows,
                           void* followsCtx, std::string* why) {
    auto* s = new PtraceSession;
    s->follows = follows;
    s->followsCtx = followsCtx;
    if (command > 0) {
        s->seccomp = true;
        s->command = command;
        if (!SeizeCommand(command, kOptions | PTRACE_O_EXITKILL, why)) {
            delete s;
            return nullptr;
        }
        s->tracees[command].tgid = command;
        CommOf(s, command, true);
        return s;
    }
    const auto added = [s](pid_t tid, pid_t tgid) { s->tracees[tid].tgid = tgid; };
    for (pid_t pid : attach) {
        if (!AttachTree(pid, kOptions, added, why)) {
            Detach(s);
            delete s;
            return nullptr;
        }
        CommOf(s, pid, true);
    }
    return s;
}

int PtracePoll(PtraceSession* s, int timeoutMs, SysevSink sink, void* ctx) {
    return PollTracees(
        timeoutMs, [&](pid_t tid, int status) { return OnStop(s, tid, status, sink, ctx); },
        [&](pid_t tid, int status) { return OnEnd(s, tid, status, sink, ctx); },
        [s] { return s->tracees.empty(); });
}

bool PtraceCommandEnded(const PtraceSession* s, int* status) {
    *status = s->commandStatus;
    return s->commandEnded;
}

void PtraceSetAppends(PtraceSession* s, PtraceFollows appends) {
    s->appends = appends;
}

void PtraceSetWanted(PtraceSession* s, PtraceWanted wanted, void* ctx) {
    s->wanted = wanted;
    s->wantedCtx = ctx;
}

PtraceCounters PtraceGetCounters(const PtraceSession* s) {
    return s->counters;
}

void PtracePassThrough(PtraceSession* s) {
    if (!s->seccomp) {
        Detach(s); // no filter on attached processes: they run on untraced
        return;
    }
    s->passThrough = true;
}

void PtraceStop(PtraceSession* s) {
    if (s->seccomp) {
        for (auto& [tid, t] : s->tracees)
            kill(tid, SIGKILL);
        while (waitpid(-1, nullptr, __WALL) > 0) {
        }
    } else {
        Detach(s);
    }
    delete s;
}
