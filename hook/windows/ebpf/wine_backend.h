// The Windows view's eBPF side: loads hook/windows/ebpf/talvek_wine.bpf.c,
// attaches its uprobes and uretprobes to the Nt* file functions of every
// Wine ntdll.so found, and hands the records of its ring buffer (struct
// ntev) to the caller.
#pragma once

#include <stdint.h>
#include <sys/types.h>

#include <string>
#include <vector>

#include "hook/bpf/ebpf_common.h"
#include "hook/windows/nt_event.h"
#include "hook/windows/nt_report.h"
#include "hook/windows/wine_libs.h"

struct WineSession;

// Loads and attaches; nullptr and `why` (one line: what is missing) when
// that fails, with nothing left attached.
WineSession* WineStart(const EbpfWatch& watch, const std::vector<WineLib>& libs, std::string* why);

// Adds a tree to watch after the start (the hook's own command).
bool WineAddRoot(WineSession* s, pid_t pid);

// Hands every waiting record to `sink`, as EbpfRingPoll does.
int WinePoll(WineSession* s, int timeoutMs, NtSink sink, void* ctx);

// Records the kernel side could not send (ring buffer or tables full).
uint64_t WineLostRingFull(const WineSession* s);

// Detaches and frees everything.
void WineStop(WineSession* s);
