// The Windows view under ptrace: no root, no eBPF. The tracer follows the
// command's processes (or attaches to running ones) and, in each process
// that maps one of Wine's Unix ntdll.so libraries, puts a breakpoint (int3)
// on the entry of every watched Nt* function, as the uprobes of the eBPF
// side do:
//
//   - Until a Wine process has mapped ntdll.so, it stops at its system calls
//     and the tracer reads each executable mapping of a file; once every
//     breakpoint is in, and in every other process, it stops only at
//     breakpoints, new processes, exec and exit.
//   - At a breakpoint the tracer reads the arguments (hook/windows/nt_args.h),
//     keeps the real return address per thread and puts an address there
//     that no program can map (in the first page, below vm.mmap_min_addr): the function's
//     return faults there, and the tracer reads the result, hands the
//     record over and lets the thread go on at the real return address (as
//     the kernel's uretprobes do through a page of their own). The
//     breakpoint's own instruction is done by the tracer (entry_step.h), so
//     that no breakpoint is ever taken out while threads run.
//   - A call a thread makes inside another watched call (Wine's NtOpenFile
//     calls NtCreateFile) is not the program's and is not recorded, as the
//     eBPF side decides: by the stack pointer.
//
// Stopping puts every patched byte and every return address back, and
// detaches: the processes run on untraced. The tracer killed leaves its
// breakpoints in place: a traced Wine process then ends at its next file
// call (SIGTRAP), which the hook cannot prevent.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "hook/windows/nt_report.h"
#include "hook/windows/ptrace/breakpoint_plan.h"

struct WineTraceSession;

// Traces `command` (started held, released by the caller) or attaches to
// the trees of `attach`. nullptr and `why` (one line) when ptrace is refused
// or the return address cannot be made safe here; nothing stays attached.
WineTraceSession* WineTraceStart(pid_t command, const std::vector<pid_t>& attach,
                                 std::vector<LibPlan> plans, std::string* why);

// Runs the tracees until records arrive or timeoutMs passes, handing each
// record to sink. The number handed over, or -1 once no tracee is left or
// the command has ended (WineTraceStop then lets the others go).
int WineTracePoll(WineTraceSession* s, int timeoutMs, NtSink sink, void* ctx);

// The command's wait status once it ended.
bool WineTraceCommandEnded(const WineTraceSession* s, int* status);

// Puts back what the tracer changed and detaches; frees the session.
void WineTraceStop(WineTraceSession* s);
