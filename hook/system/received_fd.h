// What a process's descriptor refers to, as /proc shows it now: for the
// opens both backends report, and for descriptors received over a socket.
#pragma once

#include <stdint.h>

#include "hook/system/syscall_event.h"

// The kind of descriptor fd of process pid (enum sysev_fd_kind).
uint8_t DescriptorKind(uint32_t pid, int64_t fd);

// A SYSEV_RECEIVE_FD record (ret the descriptor) completed from /proc:
// path1 its name, fd_kind, a0 1 when close-on-exec, a1 its position.
// Exact while the process is stopped (ptrace); read later, the descriptor
// may have been closed or replaced: then the name is what is there now, or
// empty.
void DescribeReceived(uint32_t pid, sysev* ev);
