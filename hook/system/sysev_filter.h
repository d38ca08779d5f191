// What the filter (trace/ifs_filter.h) means for each Linux call, before it is
// mapped: which IFS functions the call can become (hook/system/sysev_map.h
// decides which one), how its raw result tells a failure, and whether the
// mapper needs to see it to follow descriptors, working folders and
// processes even when it is not shown. The backends leave out, before the
// output, the calls that can neither be shown nor are needed.
//
// Needed: opens, closes, dups and close_range while any function that acts
// on a descriptor is on (READ, WRITE, SEEK, CLOSE, FINDNEXT, ...); changes of
// folder and process events while any function is on. Without the
// descriptor functions, a name relative to a descriptor is resolved through
// /proc (the descriptor's open is not followed).
#pragma once

#include <stdint.h>

#include "trace/ifs_filter.h"

struct SysevCallFilter {
    uint32_t funcs;     // bit i: position i of IfsFuncTable
    bool zeroFails;     // a result of 0 is a failure too (the end of a folder listing)
    bool forDescriptor; // needed while a descriptor function is on
    bool forState;      // needed while any function is on
};

// For a call outside enum sysev_call: can become nothing, not needed.
const SysevCallFilter& SysevCallFilterOf(uint16_t call);

// Whether the call, mapped, may pass f by its function.
bool SysevMayShow(const IfsFilter& f, uint16_t call);

// Whether the call must reach the mapper under f, shown or not.
bool SysevNeeded(const IfsFilter& f, uint16_t call);

// Whether a call with this raw result (>= 0, or -errno) may pass f's result
// filter.
bool SysevResultMayShow(const IfsFilter& f, uint16_t call, int64_t ret);
