// The fields of one IFS call record (event/ifs_call_rec.h, the program's view
// of the record) as talvek-hook fills them, a call trace gives them
// (trace/call_trace.h) and the stand-in driver's scenario writes them, and
// the one builder of the record's bytes from them.
//
// The values the fields take are named in event/ifs_vocab.h: the function
// codes (IfsFn), the ResType bits, the sub-function codes in ir_flags and the
// flag bits of ir_options and ir_length.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "event/ifs_vocab.h"

constexpr size_t kIfsCallPath1Max = 259;  // bytes of Path1 without its NUL
constexpr size_t kIfsCallPath2Max = 1023; // bytes of Path2 without its NUL
// The largest record the builder makes: Path2 at offset 400, with its NUL.
constexpr size_t kIfsCallRecMax = 400 + kIfsCallPath2Max + 1;

// talvek-hook's views cut both names at 259 bytes.
constexpr size_t kHookPath1Max = kIfsCallPath1Max;
constexpr size_t kHookPath2Max = 259;

struct IfsCall {
    uint32_t fsd = 0;      // FsdEntry
    int32_t func = 0;      // IFS function (IfsFn)
    int32_t drive = 0;     // 1 = A:, -1 a UNC name
    uint32_t resType = 0;  // kResType* bits
    uint32_t codePage = 0; // 0 ANSI, else OEM
    int32_t result = 0;    // 0 success, else the DOS error code

    // The request block: req, when not empty, is the whole block (116 bytes,
    // as the driver copied it); the named fields below are written over it.
    std::string req;
    uint32_t length = 0;  // ir_length (DIR: DirPathFlags in the top byte)
    uint8_t flags = 0;    // ir_flags (sub-function, open mode)
    uint16_t sfn = 0;     // ir_sfn
    uint32_t data = 0;    // ir_data
    uint16_t options = 0; // ir_options
    uint32_t fh = 0;      // ir_fh
    uint32_t pos = 0;     // ir_pos
    uint32_t aux2 = 0;    // ir_aux2

    std::string path1; // code page 949 bytes, at most kIfsCallPath1Max, no NUL
    std::string path2; // at most kIfsCallPath2Max, no NUL
};

// The IfsCallRec bytes of call: the record up to Path2, then Path2 with its
// NUL (401 to kIfsCallRecMax bytes); every byte no field sets is 0. False,
// with bytes unchanged, when a path is too long or req is neither empty nor
// 116 bytes.
bool BuildIfsCallRec(const IfsCall& call, std::vector<uint8_t>* bytes);

// Sets call->req to block (116 bytes) and the named request-block fields to
// the values the block holds at their offsets, so that the record built from
// call has block as its request block until a named field is changed.
void SetIfsCallReq(IfsCall* call, const std::string& block);
