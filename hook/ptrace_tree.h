// What both ptrace backends (hook/system/ptrace/, hook/windows/ptrace/) do
// alike: read and write a stopped thread's memory, attach to a running
// process tree, wait for the next stop within a time, detach.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <functional>
#include <string>
#include <vector>

// size bytes of the thread's memory at address; false unless all were read.
bool TraceeRead(pid_t tid, uint64_t address, void* out, size_t size);

// Into writable memory (a stack); false unless all were written.
bool TraceeWrite(pid_t tid, uint64_t address, const void* in, size_t size);

// Into any mapped memory, read-only code included (/proc/PID/mem, which lets
// a tracer write where the thread itself may not; a private mapping gets
// its own copy of the page, the file stays as it is).
bool TraceePatch(pid_t tid, uint64_t address, const void* in, size_t size);

// The thread group (process) of a thread, from /proc; tid itself when unknown.
pid_t TgidOf(pid_t tid);

// Seizes the command (started held, not yet running) with the options;
// false and `why` (one line) when ptrace is refused.
bool SeizeCommand(pid_t command, unsigned options, std::string* why);

// Whether a PTRACE_EVENT_STOP of this signal is a group stop, in which the
// tracee stays (PTRACE_LISTEN).
bool IsGroupStop(int sig);

// Seizes each thread of pid and of its descendants with the options,
// interrupting each so that it stops once; added(tid, tgid) for each. false
// and `why` (one line) when one cannot be seized: the caller detaches the
// ones added.
bool AttachTree(pid_t pid, unsigned options, const std::function<void(pid_t, pid_t)>& added,
                std::string* why);

// Waiting for the tracees' stops for up to timeoutMs: a timer that ticks
// every few milliseconds until WaitEnd ends blocking waits, so that each
// stop costs one wait and the wait still ends in time (a tick that comes
// just before a wait begins is followed by another).
void WaitBegin(int timeoutMs);
// The next stop or end of any tracee (waitpid's tid and status). 0 once the
// time has passed or a signal came, -1 when no tracee is left.
pid_t WaitTracee(int* status);
void WaitEnd();

// The tracees' stops and ends for up to timeoutMs, by the deadline also
// while stops keep coming (so that the caller's output leaves and its
// signals are seen in time): onStop(tid, status) or onEnd(tid, status) for
// each, each returning the records it handed over, until done() says the
// watch is over. The records handed over, or -1 once there were none and
// the watch is over (no tracee left, or done()).
template <class OnStop, class OnEnd, class Done>
int PollTracees(int timeoutMs, OnStop onStop, OnEnd onEnd, Done done) {
    if (done())
        return -1;
    int events = 0;
    WaitBegin(timeoutMs);
    for (;;) {
        int status;
        const pid_t tid = WaitTracee(&status);
        if (tid <= 0) { // the time, a signal, or no tracee left
            events = tid < 0 && events == 0 ? -1 : events;
            break;
        }
        if (WIFSTOPPED(status))
            events += onStop(tid, status);
        else if (WIFEXITED(status) || WIFSIGNALED(status))
            events += onEnd(tid, status);
        if (done()) {
            events = events > 0 ? events : -1;
            break;
        }
    }
    WaitEnd();
    return events;
}

// The kernel's struct ptrace_syscall_info (linux/ptrace.h clashes with
// sys/ptrace.h): what PTRACE_GET_SYSCALL_INFO tells at a system-call stop.
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

// The signal a stopped thread is let go with on detaching: the one it
// stopped for, none for the tracer's own stops. A backend may first set
// the thread right (signalOf) and choose.
int SignalToDeliver(int status);

// Detaches the threads (they run on): each is interrupted, waited for and
// let go with signalOf(tid, status) (else SignalToDeliver); within two
// seconds.
void DetachAll(std::vector<pid_t> tids,
               const std::function<int(pid_t tid, int status)>& signalOf = nullptr);
