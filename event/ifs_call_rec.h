// The hook driver's record of one file-system call, as the program reads it.
// Little-endian; the driver fills and owns it, the program only reads it
// between delivery and hand-back.
#pragma once

#include <stddef.h>
#include <stdint.h>

constexpr int kIfsReqSize = 116; // copy of the IFS manager's request block
constexpr int kPath1Size = 260;  // Path1 holds its NUL within these bytes

struct IfsCallRec {
    uint32_t FsdEntry;        // not read
    int32_t Func;             // IFS function number
    int32_t Drive;            // 1 = A:
    uint32_t ResType;         // low byte: ResTypeFlags
    uint32_t CodePage;        // 0 ANSI, else OEM
    uint8_t Req[kIfsReqSize]; // request block copy, read through ReqU8/16/32
    int32_t Result;           // 0 success, else error code
    char Path1[kPath1Size];
    char Path2[1]; // NUL-terminated, as long as the driver made it
};

static_assert(offsetof(IfsCallRec, Func) == 4);
static_assert(offsetof(IfsCallRec, Drive) == 8);
static_assert(offsetof(IfsCallRec, ResType) == 12);
static_assert(offsetof(IfsCallRec, CodePage) == 16);
static_assert(offsetof(IfsCallRec, Req) == 20);
static_assert(offsetof(IfsCallRec, Result) == 136);
static_assert(offsetof(IfsCallRec, Path1) == 140);
static_assert(offsetof(IfsCallRec, Path2) == 400);

// Offsets of the request-block fields that the program reads, from the
// record's start.
enum IfsReqOffset : int {
    kOffLength = 20,    // ir_length, 4 bytes
    kOffDirFlags = 23,  // top byte of ir_length: DirPathFlags
    kOffFlags = 24,     // ir_flags, 1 byte
    kOffSfn = 26,       // ir_sfn, 2 bytes
    kOffData = 40,      // ir_data, 4 bytes
    kOffOptions = 44,   // low byte of ir_options
    kOffRwOptions = 45, // high byte of ir_options
    kOffFh = 52,        // ir_fh, 4 bytes
    kOffPos = 56,       // ir_pos, 4 bytes
    kOffAux2 = 60,      // ir_aux2, 4 bytes
};

// Little-endian readers of a request-block field at a record offset.
inline uint32_t RecU8(const IfsCallRec* rec, int off) {
    return reinterpret_cast<const uint8_t*>(rec)[off];
}
inline uint32_t RecU16(const IfsCallRec* rec, int off) {
    return RecU8(rec, off) | RecU8(rec, off + 1) << 8;
}
inline uint32_t RecU32(const IfsCallRec* rec, int off) {
    return RecU16(rec, off) | RecU16(rec, off + 2) << 16;
}
