// Where the tracer puts its breakpoints in each Wine ntdll.so: the entry of
// every watched Nt* function and of NtCreateUserProcess, found in the file
// as the uprobes find them, with the first instruction each breakpoint
// covers decoded. Told once from the files, before anything is traced: a
// function missing, or an entry the tracer cannot step over, refuses the
// whole library with one line naming it.
#pragma once

#include <stdint.h>
#include <sys/types.h>

#include <string>
#include <vector>

#include "hook/windows/ptrace/entry_step.h"
#include "hook/windows/wine_libs.h"

constexpr uint16_t kCreateProcessCall = 0xFFFF; // NtCreateUserProcess: not a record of its own

struct PlannedBreakpoint {
    const char* function = "";
    uint16_t call = 0; // enum ntev_call, or kCreateProcessCall
    int index = 0;     // in NT_WATCHED_FUNCTIONS; -1 for NtCreateUserProcess
    uint64_t fileOffset = 0;
    EntryStep step;
    uint8_t code[16] = {}; // the instruction's bytes in the file
};

struct LibPlan {
    WineLib lib;
    uint64_t dev = 0; // the file, as a mapping names it (seen from any root)
    uint64_t ino = 0;
    std::vector<PlannedBreakpoint> points;
};

bool PlanBreakpoints(const std::vector<WineLib>& libs, std::vector<LibPlan>* plans,
                     std::string* why);
