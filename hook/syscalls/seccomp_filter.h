// The seccomp filter of the ptrace backend: the watched x86_64 calls stop
// for the tracer (SECCOMP_RET_TRACE), every other call runs untouched.
// 32-bit (i386 and x32) calls are not watched.
#pragma once

#include <stdint.h>

#include <vector>

// Installs the filter on the calling thread (before exec); 0 or an errno.
// Without root it first sets no_new_privs, as the kernel requires.
int InstallTraceFilter();

// From now on the filter stops only at these of the watched calls (set
// before the command starts; an empty list lets every call run).
void LimitTraceFilter(std::vector<uint16_t> numbers);
