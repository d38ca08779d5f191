// The ptrace backend of talvek-hook: follows one command's process tree
// (stopping only at the watched calls, through a seccomp filter) or attaches
// to running processes (stopping at every call, since a filter cannot be
// added to a running process). Fills the same sysev records as the eBPF
// backend, for x86_64 and i386 (32-bit) tracees; x32 calls are not watched.
#pragma once

#include <stdint.h>
#include <sys/types.h>

#include <string>
#include <vector>

#include "hook/system/syscall_event.h"

struct PtraceSession;

struct PtraceCounters {
    uint64_t seen = 0;     // watched calls completed
    uint64_t lostPath = 0; // names that could not be read
    uint64_t skipped = 0;  // calls on descriptors the caller does not follow
    uint64_t unwanted = 0; // calls let run because the filter does not want them
};

// Whether the caller reports calls on this descriptor of this process. A
// call that only acts on a descriptor (read, write, seek, close, ...) on one
// that it does not is let run at once: one stop instead of two.
using PtraceFollows = bool (*)(uint32_t pid, int32_t fd, void* ctx);

// Traces `command` (a child started held with the seccomp filter to come,
// released by this call) or attaches to each of `attach` with its threads
// and its descendants. nullptr and `why` when ptrace is refused; then
// nothing stays attached.
PtraceSession* PtraceStart(pid_t command, const std::vector<pid_t>& attach, PtraceFollows follows,
                           void* followsCtx, std::string* why);

// Which followed descriptors append (O_APPEND): their writes get the
// position after the call (SYSEV_ST_POS). Same context as `follows`.
void PtraceSetAppends(PtraceSession* s, PtraceFollows appends);

// Whether the exit of a call, as read at its entry, is wanted at all (the
// monitor's filter). A call that is not is let run at once, like a call on
// a descriptor that is not followed.
using PtraceWanted = bool (*)(const sysev& entry, void* ctx);
void PtraceSetWanted(PtraceSession* s, PtraceWanted wanted, void* ctx);

// Runs the tracees until events arrive or timeoutMs passes; hands each
// completed call to `sink`. Returns the number handed over, or -1 once no
// tracee is left.
int PtracePoll(PtraceSession* s, int timeoutMs, SysevSink sink, void* ctx);

// The command's wait status once it ended.
bool PtraceCommandEnded(const PtraceSession* s, int* status);

PtraceCounters PtraceGetCounters(const PtraceSession* s);

// Stops watching while the processes run on. Attached processes are
// detached. The command's tree stays traced: its seccomp filter makes every
// watched call stop for the tracer, and without a tracer the kernel fails
// those calls with ENOSYS, so a detach would break the program. Instead
// PtracePoll resumes every stop at once, reading and handing nothing, until
// the tree has ended (then -1).
void PtracePassThrough(PtraceSession* s);

// Detaches from attached processes (they run on); the command's tree, which
// cannot run without its tracer, is killed. Frees the session.
void PtraceStop(PtraceSession* s);
