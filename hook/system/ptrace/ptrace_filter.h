// The monitor's filter for the ptrace backend: the calls its seccomp filter
// stops at, and whether a call's exit is wanted once its entry is read.
#pragma once

#include <stdint.h>

#include <vector>

#include "trace/ifs_filter.h"
#include "hook/system/syscall_event.h"

struct SyscallDecode;
struct SyscallTable;

// Whether a watched call may be shown or is needed under f (its seccomp stop).
bool TracedFor(const IfsFilter& f, const SyscallDecode& d);

// The numbers of a table's watched calls that may be shown or are needed under f.
std::vector<uint16_t> TracedSyscallsFor(const IfsFilter& f, const SyscallTable& table);

// Whether the exit of a call, as read at its entry, may be shown or is needed.
bool PtraceCallWanted(const IfsFilter& f, const sysev& entry);
