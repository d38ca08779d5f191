// The call-trace text format: one IFS call record (event/ifs_call_rec.h) per
// line, read as bytes. talvek-hook writes it (AppendTraceLine); the stand-in
// driver, talvek-render, the tests and the benchmarks read it
// (ParseTraceLine).
//
// Empty lines and lines whose first non-blank byte is '#' are skipped. The
// line "# end of trace" (kTraceEndLine, nothing else on it but a line end)
// says that the writer has finished: a reader that follows a growing trace
// takes it as the end of its input; any other reader skips it as it skips
// every '#' line. talvek-hook writes it last, and first the line
// "# view=windows" or "# view=system": whose names the trace holds (the
// Windows view's DOS names compare without regard to case, the system view's
// Linux names exactly; trace/trace_lookups.h). A last line without its line
// end is cut (the writer stopped inside it, a disk filled): readers report it
// and take no record from it; a reader following a growing trace waits for
// the rest instead. A
// record line holds fields of the form key=value, separated by blanks (space
// or tab), in any order, each key at most once; a trailing LF or CR LF ends
// the line. A field not given is 0, a path not given is empty. Numbers are
// decimal or hexadecimal with 0x (or 0X) before the digits.
//   func, drive, result     signed 32-bit: decimal with optional '-', or 0x hex
//                           (any 32-bit pattern)
//   restype, codepage, fsd  unsigned 32-bit
//   length flags sfn data options fh pos aux2
//                           request-block fields (4, 1, 2, 4, 2, 4, 4, 4 bytes at
//                           record offsets 20, 24, 26, 40, 44, 52, 56, 60):
//                           unsigned, the value must fit the width
//   req                     232 hex digits: the whole 116-byte request block,
//                           set before the named fields of the same line, which
//                           are written over it wherever they stand
//   path1, path2            the name's bytes, %HH standing for any byte (needed
//                           for blank, '%', bytes below 0x20 and 0x7F); no NUL;
//                           path1 at most 259 bytes, path2 at most 1023
//   pid                     optional: the id of the process that made the call,
//                           unsigned decimal or 0x hex (32 bits)
//   comm                    optional: that process's name, at most 64 bytes,
//                           %HH as in paths
// pid and comm are not part of the record: the stand-in driver ignores them,
// talvek-render --process shows them. talvek-hook writes both.
// A line's record is the fields' record as BuildIfsCallRec (trace/ifs_call.h)
// makes it: the record up to Path2 (400 bytes) followed by Path2 and its NUL,
// every byte no field sets 0.
// Example: func=36 drive=3 restype=0x10 result=2 sfn=0x5A path1=C:\DATA\A.TXT
//          pid=4242 comm=notepad.exe func=36 drive=3 result=2 path1=C:\A.TXT
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string>
#include <string_view>
#include <vector>

#include "trace/ifs_call.h"

enum class TraceLineKind { Record, Skip, Error };

// The line that marks a trace complete (without its line end).
constexpr std::string_view kTraceEndLine = "# end of trace";

// Whether a line (a trailing LF or CR LF is ignored) is kTraceEndLine.
bool IsTraceEndLine(std::string_view line);

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

// Appends the line of one call, LF-terminated, to out: pid= and comm= (up to
// its NUL, at most 64 bytes; left out when empty) first, then func= and
// drive=, then every other field of call that is not 0 or empty (with req=,
// every request-block field). Numbers: pid, func, drive and result in
// decimal, the others in 0x hex. Read back, the line gives the record that
// BuildIfsCallRec makes of call, whenever the builder accepts call and its
// paths hold no NUL byte.
void AppendTraceLine(const IfsCall& call, uint32_t pid, const char* comm, std::string* out);
