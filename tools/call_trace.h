// The call-trace text format: one call record per line, read as bytes.
//
// Empty lines and lines whose first non-blank byte is '#' are skipped. A
// record line holds blank-separated key=value fields in any order, each key
// at most once; a field not given is 0, a path not given is empty.
//   func, drive, result     signed 32-bit: decimal with optional '-', or 0x hex
//   restype, codepage, fsd  unsigned 32-bit: decimal or 0x hex
//   length flags sfn data options fh pos aux2
//                           request-block fields (4, 1, 2, 4, 2, 4, 4, 4 bytes at
//                           record offsets 20, 24, 26, 40, 44, 52, 56, 60):
//                           decimal or 0x hex, the value must fit the width
//   req                     232 hex digits: the whole 116-byte request block,
//                           set before the named fields of the same line
//   path1, path2            the name's bytes, %HH standing for any byte (needed
//                           for blank, '%', bytes below 0x20 and 0x7F); no NUL;
//                           path1 at most 259 bytes, path2 at most 1023
//   pid                     optional: the id of the process that made the call,
//                           unsigned decimal (32 bits)
//   comm                    optional: that process's name, at most 64 bytes,
//                           %HH as in paths
// pid and comm are not part of the record: the stand-in driver ignores them,
// talvek-render --process shows them. talvek-hook writes both.
// Example: func=36 drive=3 restype=0x10 result=2 sfn=0x5A path1=C:\DATA\A.TXT
//          pid=4242 comm=notepad.exe func=36 drive=3 result=2 path1=C:\A.TXT
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string>
#include <string_view>
#include <vector>

constexpr size_t kTracePath1Max = 259;
constexpr size_t kTracePath2Max = 1023;
constexpr size_t kTraceRecordMax = 400 + kTracePath2Max + 1; // largest record a line can make

enum class TraceLineKind { Record, Skip, Error };

struct TraceLineResult {
    TraceLineKind kind;
    std::vector<uint8_t> record; // the IfsCallRec bytes (Record only), Path2 included with its NUL
    std::string error;           // "line N: field: what is wrong" (Error only)
    bool hasPid = false;         // pid= given (Record only)
    uint32_t pid = 0;
    std::string comm; // comm= bytes, escapes decoded (Record only)
};

// Reads one line (a trailing LF or CR LF is ignored). lineNumber only names
// the line in an error.
TraceLineResult ParseTraceLine(std::string_view line, int lineNumber);
