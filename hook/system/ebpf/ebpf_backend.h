// The eBPF backend of talvek-hook: the raw system-call tracepoints, for the
// file-related calls of the whole machine, filtered in the kernel to the watched process
// trees, delivered through a ring buffer as sysev records.
#pragma once

#include <stdint.h>
#include <sys/types.h>

#include <string>
#include <vector>

#include "hook/bpf/ebpf_common.h"
#include "hook/system/syscall_event.h"

struct EbpfSession;

struct EbpfCounters {
    uint64_t seen = 0;         // events taken from the ring buffer
    uint64_t lostRingFull = 0; // events the kernel side could not reserve (ring buffer
                               // full, or its tables of calls and processes full)
    uint64_t lostPath = 0;     // names that could not be read
};

// Loads and attaches the programs; nullptr and `why` when that fails, with
// nothing left loaded.
EbpfSession* EbpfStart(const EbpfWatch& watch, std::string* why);

// Adds a tree to watch after the start (the hook's own command, started
// blocked until this returns).
bool EbpfAddRoot(EbpfSession* s, pid_t pid);

// Hands every waiting event to `sink`; waits up to timeoutMs for the first
// (a few milliseconds at most once every watched tree has ended).
// Returns the number of events handed over, or -1 on a failure.
int EbpfPoll(EbpfSession* s, int timeoutMs, SysevSink sink, void* ctx);

EbpfCounters EbpfGetCounters(const EbpfSession* s);

// The descriptor of the kernel side's map of this name, or a negative errno.
int EbpfMapFd(const EbpfSession* s, const char* name);

// Detaches and frees everything.
void EbpfStop(EbpfSession* s);
