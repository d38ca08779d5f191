// The call-trace text format: one call record per line as blank-separated
// key=value fields (func, drive, result, restype, codepage, fsd, length,
// flags, sfn, data, options, fh, pos, aux2, req, path1, path2). Empty lines
// and lines starting with '#' are skipped.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string>
#include <string_view>
#include <vector>

constexpr size_t kTracePath2Max = 1023;
constexpr size_t kTraceRecordMax = 400 + kTracePath2Max + 1; // largest record a line can make

enum class TraceLineKind { Record, Skip, Error };

struct TraceLineResult {
    TraceLineKind kind;
    std::vector<uint8_t> record; // the IfsCallRec bytes (Record only), Path2 included with its NUL
    std::string error;           // "line N: field: what is wrong" (Error only)
};

TraceLineResult ParseTraceLine(std::string_view line, int lineNumber);
