// The seccomp filter of the ptrace backend: the watched calls stop for the
// tracer (SECCOMP_RET_TRACE), every other call runs untouched. The filter
// tells the architecture of each call: x86_64 and i386 (32-bit programs,
// int 0x80) each with their own numbers; x32 calls are not watched.
#pragma once

#include <linux/filter.h>

#include <functional>
#include <vector>

struct SyscallDecode;

// Which of the watched calls stop; every one when empty.
using TracedCall = std::function<bool(const SyscallDecode&)>;

// The filter's program: empty when the jumps of a table would not fit.
std::vector<sock_filter> TraceFilterProgram(const TracedCall& traced = nullptr);

// From now on the filter stops only at the watched calls that `traced`
// takes (the monitor's filter; set before the command starts).
void LimitTraceFilter(TracedCall traced);

// Installs the filter on the calling thread (before exec); 0 or an errno.
// Without root it first sets no_new_privs, as the kernel requires.
int InstallTraceFilter();
