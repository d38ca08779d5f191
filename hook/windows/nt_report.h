// What becomes of each NT record a Windows-view backend hands over: mapped
// to its IFS row, which goes to the output, or counted there as a call that
// became none. Processes' new programs, forks and ends only update the
// mapping.
#pragma once

#include "hook/trace_output.h"
#include "hook/windows/nt_map.h"

using NtSink = void (*)(const ntev& ev, void* ctx);

struct NtReporter {
    NtMapper mapper;
    TraceOutput* out = nullptr;
    IfsCall call;

    // A record read: its row, or its count (ctx: the NtReporter).
    static void TakeSink(const ntev& ev, void* ctx);
    // The watching ends: the rows still held go out.
    void Finish();
    // A record left unread at the end: counted as lost.
    static void UnreadSink(const ntev& ev, void* ctx);
};
