#include "hook/ptrace_tree.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/ptrace.h>
#include <sys/time.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "hook/proc_text.h"
#include "hook/trace_output.h"

bool TraceeRead(pid_t tid, uint64_t address, void* out, size_t size) {
    iovec local{out, size};
    iovec remote{reinterpret_cast<void*>(address), size};
    return process_vm_readv(tid, &local, 1, &remote, 1, 0) == static_cast<ssize_t>(size);
}

bool TraceeWrite(pid_t tid, uint64_t address, const void* in, size_t size) {
    iovec local{const_cast<void*>(in), size};
    iovec remote{reinterpret_cast<void*>(address), size};
    return process_vm_writev(tid, &local, 1, &remote, 1, 0) == static_cast<ssize_t>(size);
}

bool TraceePatch(pid_t tid, uint64_t address, const void* in, size_t size) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/mem", tid);
    const int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = pwrite(fd, in, size, static_cast<off_t>(address)) == static_cast<ssize_t>(size);
    close(fd);
    return ok;
}

pid_t TgidOf(pid_t tid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/status", tid);
    std::string text;
    int32_t tgid = tid;
    if (ReadProcText(path, &text, 4096))
        ParseStatusTgid(text.data(), text.size(), &tgid);
    return tgid;
}

bool SeizeCommand(pid_t command, unsigned options, std::string* why) {
    if (ptrace(PTRACE_SEIZE, command, 0, options) == 0)
        return true;
    *why = std::string("ptrace refused: ") + strerror(errno) +
           "; allow tracing (kernel.yama.ptrace_scope, container seccomp) or run as root";
    return false;
}

bool IsGroupStop(int sig) {
    return sig == SIGSTOP || sig == SIGTSTP || sig == SIGTTIN || sig == SIGTTOU;
}

namespace {

bool Seize(pid_t tid, unsigned options, std::string* why) {
    if (ptrace(PTRACE_SEIZE, tid, 0, options) == 0) {
        ptrace(PTRACE_INTERRUPT, tid, 0, 0); // its first stop is where it is set up
        return true;
    }
    const int err = errno;
    *why = "cannot trace process " + std::to_string(tid) + ": " + strerror(err);
    if (err == EPERM)
        *why += "; ptrace needs the process's own user and kernel.yama.ptrace_scope "
                "0 or 1, or root: sudo talvek-hook --pid N";
    return false;
}

void OnAlarm(int) {}

} // namespace

bool AttachTree(pid_t pid, unsigned options, const std::function<void(pid_t, pid_t)>& added,
                std::string* why) {
    const std::string task = "/proc/" + std::to_string(pid) + "/task";
    DIR* d = opendir(task.c_str());
    if (d == nullptr) {
        *why = "no process " + std::to_string(pid);
        return false;
    }
    bool ok = true;
    while (const dirent* e = readdir(d)) {
        const pid_t tid = static_cast<pid_t>(atoi(e->d_name));
        if (tid <= 0 || !ok)
            continue;
        ok = Seize(tid, options, why);
        if (!ok)
            break;
        added(tid, pid);
        std::string text;
        if (!ReadProcText((task + "/" + e->d_name + "/children").c_str(), &text, 1 << 20))
            continue;
        for (const int32_t child : ParseProcChildren(text.data(), text.size()))
            ok = ok && AttachTree(child, options, added, why);
    }
    closedir(d);
    return ok;
}

namespace {

constexpr suseconds_t kTickUs = 5000;
uint64_t g_waitDeadline = 0;

} // namespace

void WaitBegin(int timeoutMs) {
    static const bool alarmSet = [] {
        struct sigaction sa {};
        sa.sa_handler = OnAlarm; // no SA_RESTART: the alarm ends a wait
        return sigaction(SIGALRM, &sa, nullptr) == 0;
    }();
    (void)alarmSet;
    g_waitDeadline = NowNs() + static_cast<uint64_t>(timeoutMs) * 1000000u;
    const itimerval timer{{0, kTickUs}, {0, kTickUs}};
    setitimer(ITIMER_REAL, &timer, nullptr);
}

pid_t WaitTracee(int* status) {
    if (NowNs() >= g_waitDeadline)
        return 0;
    const pid_t tid = waitpid(-1, status, __WALL);
    return tid < 0 ? (errno == ECHILD ? -1 : 0) : tid;
}

void WaitEnd() {
    const itimerval timer{};
    setitimer(ITIMER_REAL, &timer, nullptr);
}

int SignalToDeliver(int status) {
    const int sig = WSTOPSIG(status);
    const bool signal = (status >> 16) == 0 && sig != SIGTRAP && sig != (SIGTRAP | 0x80);
    return signal ? sig : 0;
}

void DetachAll(std::vector<pid_t> tids, const std::function<int(pid_t, int)>& signalOf) {
    for (const pid_t tid : tids)
        ptrace(PTRACE_INTERRUPT, tid, 0, 0);
    const uint64_t deadline = NowNs() + 2000000000u;
    while (!tids.empty() && NowNs() < deadline) {
        int status;
        const pid_t tid = waitpid(-1, &status, __WALL | WNOHANG);
        if (tid < 0)
            break;
        if (tid == 0) {
            usleep(1000);
            continue;
        }
        tids.erase(std::remove(tids.begin(), tids.end(), tid), tids.end());
        if (!WIFSTOPPED(status))
            continue;
        ptrace(PTRACE_DETACH, tid, 0, signalOf ? signalOf(tid, status) : SignalToDeliver(status));
    }
}
