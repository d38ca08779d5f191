#include "hook/syscalls/ptrace_backend.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "hook/syscalls/x86_64_syscalls.h"

namespace {

// The kernel's struct ptrace_syscall_info (linux/ptrace.h clashes with
// sys/ptrace.h).
struct SyscallInfo {
    uint8_t op;
    uint8_t pad[3];
    uint32_t arch;
    uint64_t instructionPointer;
    uint64_t stackPointer;
    union {
        struct {
            uint64_t nr;
            uint64_t args[6];
        } entry;
        struct {
            int64_t rval;
            uint8_t isError;
        } exit;
        struct {
            uint64_t nr;
            uint64_t args[6];
            uint32_t retData;
        } seccomp;
    };
};
constexpr uint8_t kInfoEntry = 1;
constexpr uint8_t kInfoExit = 2;
constexpr uint8_t kInfoSeccomp = 3;
constexpr uint32_t kArchX86_64 = 0xC000003E;

constexpr unsigned kOptions = PTRACE_O_TRACESYSGOOD | PTRACE_O_TRACEFORK | PTRACE_O_TRACEVFORK |
                              PTRACE_O_TRACECLONE | PTRACE_O_TRACEEXEC | PTRACE_O_TRACESECCOMP;

struct Tracee {
    pid_t tgid = 0;
    bool pending = false; // a watched call is between its entry and its exit
    sysev ev;
};

} // namespace

struct PtraceSession {
    bool seccomp = false; // the command's tree: stops only at watched calls
    pid_t command = 0;
    bool commandEnded = false;
    int commandStatus = 0;
    std::unordered_map<pid_t, Tracee> tracees;
    std::unordered_set<pid_t> early;              // new tracees stopped before their parent's event
    std::unordered_map<pid_t, std::string> comms; // by process
    PtraceCounters counters;
    PtraceFollows follows = nullptr;
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
        char text[SYSEV_COMM_SIZE + 1] = "";
        if (std::FILE* f = std::fopen(path, "r")) {
            if (std::fgets(text, sizeof text, f) == nullptr)
                text[0] = '\0';
            std::fclose(f);
        }
        text[strcspn(text, "\n")] = '\0';
        comm = text;
    }
    return comm;
}

pid_t TgidOf(pid_t tid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/status", tid);
    std::FILE* f = std::fopen(path, "r");
    if (f == nullptr)
        return tid;
    char line[256];
    pid_t tgid = tid;
    while (std::fgets(line, sizeof line, f) != nullptr) {
        if (std::sscanf(line, "Tgid: %d", &tgid) == 1)
            break;
    }
    std::fclose(f);
    return tgid;
}

bool ReadMemory(pid_t tid, uint64_t address, void* out, size_t size) {
    iovec local{out, size};
    iovec remote{reinterpret_cast<void*>(address), size};
    return process_vm_readv(tid, &local, 1, &remote, 1, 0) == static_cast<ssize_t>(size);
}

// Reads a NUL-terminated name, page by page so that a name near the end of
// its mapping reads too. Sets the cut or unreadable flag bit.
void ReadName(pid_t tid, uint64_t address, char* out, uint8_t* flags, uint8_t cutBit,
              uint8_t unreadableBit) {
    out[0] = '\0';
    size_t got = 0;
    while (got < SYSEV_PATH_SIZE - 1) {
        const uint64_t at = address + got;
        size_t chunk = 4096 - (at & 4095);
        if (chunk > SYSEV_PATH_SIZE - 1 - got)
            chunk = SYSEV_PATH_SIZE - 1 - got;
        if (!ReadMemory(tid, at, out + got, chunk)) {
            out[got] = '\0';
            if (got == 0)
                *flags |= unreadableBit;
            return;
        }
        if (std::memchr(out + got, '\0', chunk) != nullptr)
            return;
        got += chunk;
    }
    out[SYSEV_PATH_SIZE - 1] = '\0';
    *flags |= cutBit;
}

// Fills ev from a watched call's entry; false when the call turns out not to
// be one (an fcntl that neither locks nor duplicates).
bool Decode(pid_t tid, uint64_t nr, const uint64_t* args, sysev* ev) {
    const SyscallDecode* d = FindSyscallDecode(nr);
    if (d == nullptr)
        return false;
    ev->call = d->call;
    ev->fd = d->fd == kArgCwd ? SYSEV_AT_FDCWD
             : d->fd >= 0     ? static_cast<int32_t>(args[d->fd])
                              : -1;
    ev->fd2 = d->fd2 == kArgCwd ? SYSEV_AT_FDCWD
              : d->fd2 >= 0     ? static_cast<int32_t>(args[d->fd2])
                                : -1;
    for (int i = 0; i < 4; ++i)
        ev->a[i] = d->a[i].arg >= 0 ? args[d->a[i].arg] : static_cast<uint64_t>(d->a[i].value);
    if (d->path1 >= 0) {
        // utimensat and futimesat take a null name for the descriptor itself.
        if (args[d->path1] == 0 && d->call == SYSEV_UTIMENS)
            ev->path1[0] = '\0';
        else
            ReadName(tid, args[d->path1], ev->path1, &ev->flags, SYSEV_PATH1_CUT,
                     SYSEV_PATH1_UNREADABLE);
    }
    if (d->path2 >= 0)
        ReadName(tid, args[d->path2], ev->path2, &ev->flags, SYSEV_PATH2_CUT,
                 SYSEV_PATH2_UNREADABLE);
    switch (d->extra) {
    case ArgExtra::None:
        break;
    case ArgExtra::Iovec:
    case ArgExtra::IovecAt:
    case ArgExtra::IovecAtMaybe: {
        iovec iov[64];
        const uint64_t count = args[2] < 64 ? args[2] : 64;
        if (count > 0 && ReadMemory(tid, args[1], iov, count * sizeof(iovec))) {
            ev->a[0] = reinterpret_cast<uint64_t>(iov[0].iov_base);
            for (uint64_t i = 0; i < count; ++i)
                ev->a[1] += iov[i].iov_len;
        }
        const bool at = d->extra == ArgExtra::IovecAt ||
                        (d->extra == ArgExtra::IovecAtMaybe && static_cast<int64_t>(args[3]) != -1);
        ev->a[2] = at ? args[3] : 0;
        ev->a[3] = at ? 1 : 0;
        break;
    }
    case ArgExtra::Fcntl: {
        const uint64_t cmd = args[1];
        if (cmd == F_DUPFD || cmd == F_DUPFD_CLOEXEC) {
            ev->call = SYSEV_DUP;
            ev->a[0] = static_cast<uint64_t>(-1);
        } else if (cmd == F_SETLK || cmd == F_SETLKW || cmd == F_OFD_SETLK || cmd == F_OFD_SETLKW) {
            struct flock lock;
            if (!ReadMemory(tid, args[2], &lock, sizeof lock))
                return false;
            ev->call = SYSEV_FCNTL_LOCK;
            ev->a[0] = cmd;
            ev->a[1] = static_cast<uint64_t>(static_cast<uint16_t>(lock.l_type)) |
                       static_cast<uint64_t>(static_cast<uint16_t>(lock.l_whence)) << 16;
            ev->a[2] = static_cast<uint64_t>(lock.l_start);
            ev->a[3] = static_cast<uint64_t>(lock.l_len);
        } else {
            return false;
        }
        break;
    }
    case ArgExtra::ProcessName:
        return false;
    case ArgExtra::OpenHow: {
        uint64_t how[2] = {0, 0}; // flags, mode
        ReadMemory(tid, args[2], how, sizeof how);
        ev->a[0] = how[0];
        ev->a[1] = how[1];
        break;
    }
    }
    return true;
}

uint8_t KindOfDescriptor(pid_t tid, int64_t fd) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/fd/%lld", tid, static_cast<long long>(fd));
    struct stat st;
    if (stat(path, &st) != 0)
        return SYSEV_FD_UNKNOWN;
    if (S_ISREG(st.st_mode))
        return SYSEV_FD_FILE;
    return S_ISDIR(st.st_mode) ? SYSEV_FD_DIR : SYSEV_FD_OTHER;
}

uint64_t Now() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000u + static_cast<uint64_t>(ts.tv_nsec);
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

// A call's entry (seccomp stop, or syscall-entry stop): read it.
void OnEntry(PtraceSession* s, pid_t tid, Tracee& t, uint64_t nr, const uint64_t* args) {
    t.pending = false;
    const SyscallDecode* d = FindSyscallDecode(nr);
    if (d == nullptr)
        return;
    if (d->extra == ArgExtra::ProcessName) {
        // Wine names its processes after their .exe this way.
        char name[SYSEV_COMM_SIZE] = "";
        if (args[0] == PR_SET_NAME && tid == t.tgid &&
            ReadMemory(tid, args[1], name, sizeof name - 1))
            s->comms[t.tgid] = name;
        return;
    }
    StartEvent(s, tid, t, SYSEV_NONE, &t.ev);
    t.pending = Decode(tid, nr, args, &t.ev);
    if (t.pending && s->follows != nullptr && OnDescriptorOnly(t.ev) &&
        !s->follows(t.ev.pid, t.ev.fd, s->followsCtx)) {
        t.pending = false;
        ++s->counters.skipped;
    }
    if (t.pending && s->wanted != nullptr && !s->wanted(t.ev, s->wantedCtx)) {
        t.pending = false;
        ++s->counters.unwanted;
    }
}

// A call's exit: complete and hand over the event.
int OnExit(PtraceSession* s, pid_t tid, Tracee& t, int64_t rval, SysevSink sink, void* ctx) {
    if (!t.pending)
        return 0;
    t.pending = false;
    if (rval <= -512 && rval >= -516)
        return 0; // interrupted, to be restarted: its entry comes again
    sysev& ev = t.ev;
    ev.ret = rval;
    ev.ts_ns = Now();
    if (ev.call == SYSEV_OPEN && rval >= 0)
        ev.fd_kind = KindOfDescriptor(tid, rval);
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
    ev.ts_ns = Now();
    sink(ev, ctx);
    return 1;
}

int OnStop(PtraceSession* s, pid_t tid, int status, SysevSink sink, void* ctx) {
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
        if (ptrace(PTRACE_GET_SYSCALL_INFO, tid, sizeof info, &info) > 0 &&
            info.arch == kArchX86_64) {
            if (info.op == kInfoSeccomp) {
                OnEntry(s, tid, t, info.seccomp.nr, info.seccomp.args);
                // Stop again at the call's exit for its result.
                ptrace(t.pending ? PTRACE_SYSCALL : PTRACE_CONT, tid, 0, 0);
                return 0;
            }
            if (info.op == kInfoEntry)
                OnEntry(s, tid, t, info.entry.nr, info.entry.args);
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
        if (sig == SIGSTOP || sig == SIGTSTP || sig == SIGTTIN || sig == SIGTTOU)
            ptrace(PTRACE_LISTEN, tid, 0, 0); // a group stop: stay stopped
        else
            Resume(s, tid, 0);
        return 0;
    }
    Resume(s, tid, sig); // a signal for the tracee: deliver it
    return 0;
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
    if (tid != t.tgid)
        return 0;
    const int events = Emit(s, tid, t, SYSEV_EXIT, 0, 0, sink, ctx);
    s->comms.erase(t.tgid);
    return events;
}

bool Attach(PtraceSession* s, pid_t tid, pid_t tgid, std::string* why) {
    if (ptrace(PTRACE_SEIZE, tid, 0, kOptions) != 0) {
        if (why->empty()) {
            const int err = errno;
            *why = "cannot trace process " + std::to_string(tid) + ": " + strerror(err);
            if (err == EPERM)
                *why += "; ptrace needs the process's own user and kernel.yama.ptrace_scope "
                        "0 or 1, or root: sudo talvek-hook --pid N";
        }
        return false;
    }
    s->tracees[tid].tgid = tgid;
    ptrace(PTRACE_INTERRUPT, tid, 0, 0); // its first stop switches it to syscall stops
    return true;
}

// A process and its threads, then its children's trees.
bool AttachTree(PtraceSession* s, pid_t pid, std::string* why) {
    const std::string task = "/proc/" + std::to_string(pid) + "/task";
    DIR* d = opendir(task.c_str());
    if (d == nullptr) {
        *why = "no process " + std::to_string(pid);
        return false;
    }
    bool ok = true;
    while (const dirent* e = readdir(d)) {
        const pid_t tid = static_cast<pid_t>(atoi(e->d_name));
        if (tid > 0 && s->tracees.count(tid) == 0)
            ok = Attach(s, tid, pid, why) && ok;
        if (tid <= 0)
            continue;
        std::FILE* f = std::fopen((task + "/" + e->d_name + "/children").c_str(), "r");
        if (f == nullptr)
            continue;
        int child;
        while (ok && std::fscanf(f, "%d", &child) == 1)
            ok = AttachTree(s, child, why);
        std::fclose(f);
    }
    closedir(d);
    return ok;
}

void DetachAll(PtraceSession* s) {
    // Each tracee must be stopped to be detached: interrupt, wait, detach.
    for (auto& [tid, t] : s->tracees)
        ptrace(PTRACE_INTERRUPT, tid, 0, 0);
    const uint64_t deadline = Now() + 2000000000u;
    while (!s->tracees.empty() && Now() < deadline) {
        int status;
        const pid_t tid = waitpid(-1, &status, __WALL | WNOHANG);
        if (tid < 0)
            break;
        if (tid == 0) {
            usleep(1000);
            continue;
        }
        if (!WIFSTOPPED(status)) {
            s->tracees.erase(tid);
            continue;
        }
        const int sig = WSTOPSIG(status);
        const bool signal = (status >> 16) == 0 && sig != SIGTRAP && sig != (SIGTRAP | 0x80);
        ptrace(PTRACE_DETACH, tid, 0, signal ? sig : 0);
        s->tracees.erase(tid);
    }
}

void OnAlarm(int) {}

} // namespace

PtraceSession* PtraceStart(pid_t command, const std::vector<pid_t>& attach, PtraceFollows follows,
                           void* followsCtx, std::string* why) {
    auto* s = new PtraceSession;
    s->follows = follows;
    s->followsCtx = followsCtx;
    if (command > 0) {
        s->seccomp = true;
        s->command = command;
        if (ptrace(PTRACE_SEIZE, command, 0, kOptions | PTRACE_O_EXITKILL) != 0) {
            *why = std::string("ptrace refused: ") + strerror(errno) +
                   "; allow tracing (kernel.yama.ptrace_scope, container seccomp) or run as root";
            delete s;
            return nullptr;
        }
        s->tracees[command].tgid = command;
        CommOf(s, command, true);
        return s;
    }
    for (pid_t pid : attach) {
        if (!AttachTree(s, pid, why)) {
            DetachAll(s);
            delete s;
            return nullptr;
        }
        CommOf(s, pid, true);
    }
    return s;
}

int PtracePoll(PtraceSession* s, int timeoutMs, SysevSink sink, void* ctx) {
    if (s->tracees.empty())
        return -1;
    static const bool alarmSet = [] {
        struct sigaction sa {};
        sa.sa_handler = OnAlarm; // no SA_RESTART: the alarm ends a wait
        return sigaction(SIGALRM, &sa, nullptr) == 0;
    }();
    (void)alarmSet;
    int events = 0;
    const uint64_t deadline = Now() + static_cast<uint64_t>(timeoutMs) * 1000000u;
    // Returns by the deadline also while stops keep coming, so that the
    // caller's output leaves and its signals are seen in time.
    do {
        int status;
        pid_t tid = waitpid(-1, &status, __WALL | WNOHANG);
        if (tid == 0) {
            const uint64_t now = Now();
            if (events > 0 || now >= deadline)
                return events;
            // Wait for the next stop, at most until the deadline (SIGALRM).
            const uint64_t left = deadline - now;
            itimerval timer{{0, 0},
                            {static_cast<time_t>(left / 1000000000u),
                             static_cast<suseconds_t>(left % 1000000000u / 1000u + 1)}};
            setitimer(ITIMER_REAL, &timer, nullptr);
            tid = waitpid(-1, &status, __WALL);
            timer = {};
            setitimer(ITIMER_REAL, &timer, nullptr);
        }
        if (tid < 0)
            return events > 0 ? events : (errno == ECHILD ? -1 : 0); // the time, or a signal
        if (WIFSTOPPED(status))
            events += OnStop(s, tid, status, sink, ctx);
        else if (WIFEXITED(status) || WIFSIGNALED(status))
            events += OnEnd(s, tid, status, sink, ctx);
        if (s->tracees.empty())
            return events > 0 ? events : -1;
    } while (Now() < deadline);
    return events;
}

bool PtraceCommandEnded(const PtraceSession* s, int* status) {
    *status = s->commandStatus;
    return s->commandEnded;
}

void PtraceSetWanted(PtraceSession* s, PtraceWanted wanted, void* ctx) {
    s->wanted = wanted;
    s->wantedCtx = ctx;
}

PtraceCounters PtraceGetCounters(const PtraceSession* s) {
    return s->counters;
}

void PtraceStop(PtraceSession* s) {
    if (s->seccomp) {
        for (auto& [tid, t] : s->tracees)
            kill(tid, SIGKILL);
        while (waitpid(-1, nullptr, __WALL) > 0) {
        }
    } else {
        DetachAll(s);
    }
    delete s;
}
